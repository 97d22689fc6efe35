#pragma once

// The service's hosts, fixed at build time. The panel's page runs with the auth host's origin;
// the URL rules of sign-in, upload and external links each pick from these.
namespace service_hosts {

inline constexpr char kApex[] = "lumivo.example";
inline constexpr char kWww[] = "www.lumivo.example";
inline constexpr char kAuth[] = "auth.lumivo.example";
inline constexpr char kCdn[] = "cdn.lumivo.example";
// A dot followed by the apex host.
inline constexpr char kDomainSuffix[] = ".lumivo.example";
inline constexpr char kCloudStorage[] = "storage.googleapis.com";

}  // namespace service_hosts

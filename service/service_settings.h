#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The reference service's command line. It is a test and demo program, never shipped, so it
// takes options; the shipped programs take their hosts from compile-time constants only.
struct ServiceSettings {
    std::string address = "127.0.0.1";
    int port = 443;
    std::string certificate;  // PEM: the leaf, then any chain
    std::string key;          // PEM
    int64_t accessLifetimeSeconds = 3600;
    int64_t uploadUrlLifetimeSeconds = 300;
    uint64_t uploadLimitBytes = uint64_t{192} << 20;
    unsigned workers = 2;
    unsigned stallSeconds = 5;    // a request may stay half-sent this long (stall_guard)
    std::string recordDirectory;  // "" : nothing is recorded
};

inline constexpr char kServiceUsage[] =
    "usage: lumivo-service --cert FILE --key FILE [--listen ADDRESS:PORT]\n"
    "                      [--access-token-lifetime SECONDS] [--upload-url-lifetime SECONDS]\n"
    "                      [--upload-limit BYTES] [--workers N] [--stall-timeout SECONDS]\n"
    "                      [--record DIR]\n";

// None on a malformed command line.
std::optional<ServiceSettings> parseServiceSettings(int argc, char** argv);

#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Pre-signed storage URLs. The service signs method, path, content type and expiry with a key
// only it holds, so storage can take an upload that carries no other credential. Pure
// functions: any thread.
namespace upload_signature {

inline constexpr char kExpiresParameter[] = "X-Lumivo-Expires";
inline constexpr char kSignatureParameter[] = "X-Lumivo-Signature";

// Lower-case hex HMAC-SHA-256 over the four parts, each with its length.
std::string sign(const std::string& key, const std::string& method, const std::string& path,
                 const std::string& contentType, int64_t expires);

// What storage knows of a request once its headers are in, before any body byte is read.
struct StoragePut {
    std::string method;
    std::string path;
    std::string query;  // raw, without the "?"
    std::string contentType;
    std::optional<uint64_t> contentLength;  // none for a body of unknown length
};

// The status storage answers without reading the body, or 0 to accept it: 405 for another
// method, 400 for a URL without a well-formed expiry and signature, 403 when the signature
// doesn't match this method, path and content type, 410 past the expiry, 411 for a body of
// unknown length and 413 above `maxBytes`. A bad signature is reported before an expiry, so
// an expired forgery learns nothing about the key.
int judge(const std::string& key, const StoragePut& put, int64_t now, uint64_t maxBytes);

}  // namespace upload_signature

#include "service/upload_signature.h"

#include <glib.h>

#include <map>
#include <memory>

#include "service/query_text.h"

namespace upload_signature {

namespace {

bool isLowerHex(const std::string& text) {
    for (char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
            return false;
        }
    }
    return true;
}

// Comparison whose time doesn't depend on where the texts differ.
bool sameText(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) {
        return false;
    }
    unsigned char difference = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        difference |= static_cast<unsigned char>(a[i] ^ b[i]);
    }
    return difference == 0;
}

}  // namespace

std::string sign(const std::string& key, const std::string& method, const std::string& path,
                 const std::string& contentType, int64_t expires) {
    // Each part carries its length, so no part can slide into its neighbour.
    std::string message;
    for (const std::string& part : {method, path, contentType, std::to_string(expires)}) {
        message += std::to_string(part.size()) + ":" + part + "\n";
    }
    std::unique_ptr<gchar, decltype(&g_free)> digest(
        g_compute_hmac_for_data(G_CHECKSUM_SHA256, reinterpret_cast<const guchar*>(key.data()),
                                key.size(), reinterpret_cast<const guchar*>(message.data()),
                                message.size()),
        g_free);
    return digest ? std::string(digest.get()) : std::string();
}

int judge(const std::string& key, const StoragePut& put, int64_t now, uint64_t maxBytes) {
    if (put.method != "PUT") {
        return 405;
    }
    std::optional<std::map<std::string, std::string>> parameters = query_text::parse(put.query);
    if (!parameters || !parameters->count(kExpiresParameter) ||
        !parameters->count(kSignatureParameter)) {
        return 400;
    }
    std::optional<int64_t> expires = query_text::decimal(parameters->at(kExpiresParameter));
    const std::string& signature = parameters->at(kSignatureParameter);
    if (!expires || signature.size() != 64 || !isLowerHex(signature)) {
        return 400;
    }
    if (!sameText(signature, sign(key, put.method, put.path, put.contentType, *expires))) {
        return 403;
    }
    if (now > *expires) {
        return 410;
    }
    if (!put.contentLength) {
        return 411;
    }
    if (*put.contentLength > maxBytes) {
        return 413;
    }
    return 0;
}

}  // namespace upload_signature

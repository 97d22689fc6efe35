#include "service/reference_service.h"

#include <sys/random.h>

#include <cstdio>
#include <exception>
#include <optional>

#include "panel/service/service_hosts.h"
#include "service/query_text.h"
#include "service/stall_guard.h"
#include "service/upload_signature.h"

namespace {

// Every request of the API fits in this; only storage takes larger bodies.
constexpr uint64_t kApiBodyLimit = 64 * 1024;
// The origin of the panel's page, which calls the API from the auth host.
const std::string kPageOrigin = std::string("https://") + service_hosts::kAuth;

ReferenceService& serviceOf(gpointer data) {
    return *static_cast<ReferenceService*>(data);
}

}  // namespace

std::string randomHex(size_t bytes) {
    std::string random(bytes, '\0');
    size_t filled = 0;
    while (filled < bytes) {
        ssize_t got = getrandom(random.data() + filled, bytes - filled, 0);
        if (got <= 0) {
            std::abort();  // no entropy: no token may be handed out
        }
        filled += static_cast<size_t>(got);
    }
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    for (unsigned char c : random) {
        text += kHex[c >> 4];
        text += kHex[c & 15];
    }
    return text;
}

ReferenceService::ReferenceService(const ServiceSettings& settings)
    : settings_(settings),
      signingKey_(randomHex(32)),
      tokens_(TokenStore::Settings{"lumivo-panel", settings.accessLifetimeSeconds,
                                   "demo@lumivo.example", "lumivo-demo"},
              [] { return randomHex(24); }),
      record_(settings.recordDirectory),
      workers_(settings.workers, "lumivo-effects") {}

ReferenceService::~ReferenceService() {
    if (server_ != nullptr) {
        g_object_unref(server_);
    }
}

bool ReferenceService::start(std::string& error) {
    GError* failure = nullptr;
    GTlsCertificate* certificate = g_tls_certificate_new_from_files(
        settings_.certificate.c_str(), settings_.key.c_str(), &failure);
    if (certificate == nullptr) {
        error = failure != nullptr ? failure->message : "unreadable certificate";
        g_clear_error(&failure);
        return false;
    }
    server_ =
        soup_server_new("tls-certificate", certificate, "server-header", "lumivo-service", nullptr);
    g_object_unref(certificate);
    soup_server_add_early_handler(server_, nullptr, &ReferenceService::onHeaders, this, nullptr);
    soup_server_add_handler(server_, nullptr, &ReferenceService::onRequest, this, nullptr);
    stall_guard::watch(server_, settings_.stallSeconds);

    GSocketAddress* address =
        g_inet_socket_address_new_from_string(settings_.address.c_str(), settings_.port);
    if (address == nullptr) {
        error = "not an address: " + settings_.address;
        return false;
    }
    const bool listening =
        soup_server_listen(server_, address, SOUP_SERVER_LISTEN_HTTPS, &failure) != FALSE;
    g_object_unref(address);
    if (!listening) {
        error = failure != nullptr ? failure->message : "cannot listen";
        g_clear_error(&failure);
        return false;
    }
    return true;
}

void ReferenceService::onHeaders(SoupServer*, SoupServerMessage* message, const char*, GHashTable*,
                                 gpointer data) {
    HttpExchange exchange(message);
    try {
        serviceOf(data).judgeHeaders(exchange);
    } catch (const std::exception&) {
        exchange.replyError(500, "server_error", "The service failed.");
    }
    if (exchange.status() != 0) {
        // Refused before its body: none of it is kept, and the connection is not reused.
        soup_message_body_set_accumulate(soup_server_message_get_request_body(message), FALSE);
        exchange.setHeader("Connection", "close");
        serviceOf(data).finishExchange(exchange, 0);
    }
}

void ReferenceService::onRequest(SoupServer*, SoupServerMessage* message, const char*, GHashTable*,
                                 gpointer data) {
    HttpExchange exchange(message);
    try {
        serviceOf(data).serve(exchange);
    } catch (const std::exception&) {
        exchange.replyError(500, "server_error", "The service failed.");
    }
    serviceOf(data).finishExchange(exchange, soup_server_message_get_request_body(message)->length);
}

void ReferenceService::judgeHeaders(HttpExchange& exchange) {
    const std::string length = exchange.header("Content-Length");
    const bool chunked = exchange.header("Transfer-Encoding").find("chunked") != std::string::npos;
    std::optional<int64_t> bytes;
    if (!length.empty()) {
        bytes = query_text::decimal(length);
        if (!bytes) {
            exchange.replyError(400, "invalid_request", "The body's length is malformed.");
            return;
        }
    }
    if (exchange.host() == service_hosts::kCloudStorage) {
        upload_signature::StoragePut put{
            exchange.method(), exchange.path(), exchange.query(), exchange.header("Content-Type"),
            chunked ? std::nullopt : std::optional<uint64_t>(bytes.value_or(0))};
        if (int status =
                upload_signature::judge(signingKey_, put, now(), settings_.uploadLimitBytes)) {
            exchange.reply(status, "text/plain", "Refused.\n");
        } else {
            claimUpload(exchange);
        }
        return;
    }
    if (chunked) {
        exchange.replyError(411, "length_required", "The body must state its length.");
    } else if (bytes.value_or(0) > static_cast<int64_t>(kApiBodyLimit)) {
        exchange.replyError(413, "too_large", "The request is too large.");
    }
}

void ReferenceService::serve(HttpExchange& exchange) {
    if (exchange.header("Origin") == kPageOrigin) {
        exchange.setHeader("Access-Control-Allow-Origin", kPageOrigin);
        exchange.setHeader("Vary", "Origin");
    }
    if (exchange.method() == "OPTIONS") {
        exchange.setHeader("Access-Control-Allow-Methods", "GET, POST");
        exchange.setHeader("Access-Control-Allow-Headers", "Authorization, Content-Type");
        exchange.setHeader("Access-Control-Max-Age", "600");
        exchange.reply(204, "text/plain", "");
        return;
    }
    const std::string& host = exchange.host();
    if (host == service_hosts::kAuth) {
        serveAuth(exchange);
    } else if (host == service_hosts::kCloudStorage) {
        serveStorage(exchange);
    } else if (host == service_hosts::kCdn) {
        serveCdn(exchange);
    } else if (host == service_hosts::kWww || host == service_hosts::kApex) {
        serveWww(exchange);
    } else {
        exchange.reply(421, "text/plain", "This service does not serve that host.\n");
    }
}

void ReferenceService::finishExchange(HttpExchange& exchange, uint64_t bodyBytes) {
    // The query is left out: it holds upload signatures.
    std::fprintf(stderr, "lumivo-service: %s %s%s %d\n", exchange.method().c_str(),
                 exchange.host().c_str(), exchange.path().c_str(), exchange.status());
    if (record_.enabled()) {
        record_.request({{"method", exchange.method()},
                         {"host", exchange.host()},
                         {"path", exchange.path()},
                         {"contentType", exchange.header("Content-Type")},
                         {"bytes", bodyBytes},
                         {"status", exchange.status()}});
    }
}

int64_t ReferenceService::now() const {
    return g_get_real_time() / G_USEC_PER_SEC;
}

#pragma once

#include <libsoup/soup.h>

#include <cstdint>
#include <string>

#include "platform/linux/glib_main_queue.h"
#include "platform/worker_pool.h"
#include "service/creation_board.h"
#include "service/http_exchange.h"
#include "service/service_record.h"
#include "service/service_settings.h"
#include "service/storage_bucket.h"
#include "service/token_store.h"

// The reference service: every host of the service on one TLS listener, routed by the Host
// header. The auth host signs in, refreshes tokens and serves the creations API; the cloud
// storage host takes signed uploads; the CDN host serves results; the www host shows the
// account page. Effects run on a worker pool and report back on the main thread. Main thread
// only (the GLib default context); the object lives until the process ends.
class ReferenceService {
  public:
    explicit ReferenceService(const ServiceSettings& settings);
    ~ReferenceService();
    ReferenceService(const ReferenceService&) = delete;
    ReferenceService& operator=(const ReferenceService&) = delete;

    // Loads the certificate and listens; false with a reason in `error`.
    bool start(std::string& error);

  private:
    static void onHeaders(SoupServer*, SoupServerMessage*, const char*, GHashTable*, gpointer);
    static void onRequest(SoupServer*, SoupServerMessage*, const char*, GHashTable*, gpointer);
    void judgeHeaders(HttpExchange& exchange);
    void serve(HttpExchange& exchange);
    void finishExchange(HttpExchange& exchange, uint64_t bodyBytes);

    // One host each (auth_routes.cpp, storage_routes.cpp, public_routes.cpp).
    void serveAuth(HttpExchange& exchange);
    void serveSignIn(HttpExchange& exchange);
    void serveToken(HttpExchange& exchange);
    void serveCreationsApi(HttpExchange& exchange, const std::string& account);
    void serveUploadSlot(HttpExchange& exchange, const std::string& account);
    void serveNewCreation(HttpExchange& exchange, const std::string& account);
    void serveCreationState(HttpExchange& exchange, const std::string& account,
                            const std::string& id);
    // Refuses a signed PUT whose object is unknown or already took its one upload.
    void claimUpload(HttpExchange& exchange);
    void serveStorage(HttpExchange& exchange);
    void serveCdn(HttpExchange& exchange);
    void serveWww(HttpExchange& exchange);

    void startWork(const std::string& creationId, StorageBucket::Bytes upload,
                   const std::string& effect);
    int64_t now() const;

    ServiceSettings settings_;
    std::string signingKey_;
    TokenStore tokens_;
    StorageBucket bucket_;
    CreationBoard creations_;
    ServiceRecord record_;
    SoupServer* server_ = nullptr;
    // The queue outlives the workers: their last reports find it still there.
    GlibMainQueue mainQueue_;
    WorkerPool workers_;
};

// A fresh random token: `bytes` random bytes as lower-case hex.
std::string randomHex(size_t bytes);

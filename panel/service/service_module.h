#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "panel/bridge/page_caller.h"
#include "panel/bridge/panel_requests.h"
#include "panel/service/auth_service.h"
#include "panel/service/external_links.h"
#include "panel/service/upload_service.h"
#include "platform/http.h"
#include "platform/keychain.h"
#include "platform/task_queue.h"
#include "platform/url_opener.h"

// The page's service requests: sign-in, refresh, upload and external links. Main thread only.
// Owns its ports; destroying it abandons requests under way without answering them.
class ServiceModule final : public ServiceRequests {
  public:
    ServiceModule(PageCaller& page, TaskQueue& main, std::unique_ptr<Keychain> keychain,
                  std::unique_ptr<HttpTransport> http, std::unique_ptr<UrlOpener> opener,
                  std::function<double()> nowSeconds);
    ~ServiceModule() override;

    void handleUploadPut(const nlohmann::json& ackId, const nlohmann::json& url,
                         const nlohmann::json& contentType, const nlohmann::json& base64) override;
    void handleOpenExternal(const nlohmann::json& url) override;
    void handleAuthSave(const nlohmann::json& ackId, const nlohmann::json& message) override;
    void handleAuthRefresh(const nlohmann::json& ackId) override;
    void signOut(const nlohmann::json& ackId) override;

    int64_t authGeneration() const { return auth_.authGeneration(); }
    // The module's transport, for the panel's own transfers (FrameTransfers).
    HttpTransport& http() { return *http_; }

  private:
    // Declared first, destroyed last: its destructor joins the transport's thread after the
    // services that use it are gone.
    std::unique_ptr<HttpTransport> http_;
    std::unique_ptr<Keychain> keychain_;
    std::unique_ptr<UrlOpener> opener_;
    AuthService auth_;
    UploadService upload_;
    ExternalLinks links_;
};

// Seconds since 1970 from the system clock, with its fraction.
double systemNowSeconds();

// The module with the desktop's real parts: the Secret Service, libcurl and the default URL
// handler. Call on the main thread; `page` and `main` must outlive the module.
std::unique_ptr<ServiceModule> makeServiceModule(PageCaller& page, TaskQueue& main);

// The keychain item's address.
inline constexpr char kKeychainService[] = "com.lumivo.editor-plugins.affinity";
inline constexpr char kKeychainAccount[] = "oauth";

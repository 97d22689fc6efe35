#include "panel/service/service_module.h"

#include <chrono>

ServiceModule::ServiceModule(PageCaller& page, TaskQueue& main, std::unique_ptr<Keychain> keychain,
                             std::unique_ptr<HttpTransport> http, std::unique_ptr<UrlOpener> opener,
                             std::function<double()> nowSeconds)
    : http_(std::move(http)),
      keychain_(std::move(keychain)),
      opener_(std::move(opener)),
      auth_(page, main, *keychain_, *http_, std::move(nowSeconds)),
      upload_(page, *http_),
      links_(*opener_) {}

ServiceModule::~ServiceModule() = default;

void ServiceModule::handleUploadPut(const nlohmann::json& ackId, const nlohmann::json& url,
                                    const nlohmann::json& contentType,
                                    const nlohmann::json& base64) {
    upload_.handleUploadPut(ackId, url, contentType, base64);
}

void ServiceModule::handleOpenExternal(const nlohmann::json& url) {
    links_.handleOpenExternal(url);
}

void ServiceModule::handleAuthSave(const nlohmann::json& ackId, const nlohmann::json& message) {
    auth_.handleAuthSave(ackId, message);
}

void ServiceModule::handleAuthRefresh(const nlohmann::json& ackId) {
    auth_.handleAuthRefresh(ackId);
}

void ServiceModule::signOut(const nlohmann::json& ackId) {
    auth_.signOut(ackId);
}

double systemNowSeconds() {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

#include "panel/service/service_module.h"
#include "platform/linux/curl_http.h"
#include "platform/linux/gio_url_opener.h"
#include "platform/linux/libsecret_keychain.h"

std::unique_ptr<ServiceModule> makeServiceModule(PageCaller& page, TaskQueue& main) {
    return std::make_unique<ServiceModule>(
        page, main, std::make_unique<LibsecretKeychain>(kKeychainService, kKeychainAccount),
        std::make_unique<CurlHttp>(), std::make_unique<GioUrlOpener>(), &systemNowSeconds);
}

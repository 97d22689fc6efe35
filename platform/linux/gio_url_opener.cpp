#include "platform/linux/gio_url_opener.h"

#include <gio/gio.h>

void GioUrlOpener::openUri(const std::string& uri) {
    g_app_info_launch_default_for_uri_async(uri.c_str(), nullptr, nullptr, nullptr, nullptr);
}

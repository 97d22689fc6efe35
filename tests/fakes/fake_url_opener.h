#pragma once

#include <string>
#include <vector>

#include "platform/url_opener.h"

struct FakeUrlOpener final : UrlOpener {
    std::vector<std::string> opened;
    void openUri(const std::string& uri) override { opened.push_back(uri); }
};

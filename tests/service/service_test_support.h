#pragma once

#include <memory>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "fakes/fake_http.h"
#include "fakes/fake_keychain.h"
#include "fakes/fake_page_caller.h"
#include "fakes/fake_url_opener.h"
#include "fakes/manual_queue.h"
#include "panel/service/service_module.h"

// A service module over fakes, with the clock at `now` seconds.
struct ServiceFixture : ::testing::Test {
    FakePageCaller page;
    ManualQueue main;
    FakeKeychain* keychain = new FakeKeychain;
    FakeHttp* http = new FakeHttp;
    FakeUrlOpener* opener = new FakeUrlOpener;
    double now = 1'700'000'000.0;
    ServiceModule module{page,
                         main,
                         std::unique_ptr<Keychain>(keychain),
                         std::unique_ptr<HttpTransport>(http),
                         std::unique_ptr<UrlOpener>(opener),
                         [this] { return now; }};

    // The one page call made since the last look, after draining the main queue.
    nlohmann::json onlyAnswer(const char* name) {
        main.drain();
        auto calls = page.taken();
        EXPECT_EQ(calls.size(), 1u);
        if (calls.size() != 1) {
            return nullptr;
        }
        EXPECT_EQ(calls[0].name, name);
        return calls[0].arguments;
    }

    static nlohmann::json authAck(const nlohmann::json& ackId, bool ok, const std::string& text) {
        return nlohmann::json::array({ackId, ok, text});
    }
};

#pragma once

#include <optional>
#include <string>

#include "platform/keychain.h"

// A keychain that is one optional item. `refuseWrites` makes every write fail.
struct FakeKeychain final : Keychain {
    std::optional<std::string> item;
    bool refuseWrites = false;
    int writes = 0;
    int deletes = 0;

    bool keychainWrite(const std::string& data) override {
        ++writes;
        if (refuseWrites) {
            return false;
        }
        item = data;
        return true;
    }
    std::optional<std::string> keychainRead() override { return item; }
    void keychainDelete() override {
        ++deletes;
        item.reset();
    }
};

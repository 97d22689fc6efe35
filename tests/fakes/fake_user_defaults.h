#pragma once

#include <map>
#include <optional>
#include <string>
#include <variant>

#include "platform/user_defaults.h"

// User defaults as a map. One thread at a time.
struct FakeUserDefaults final : UserDefaults {
    std::map<std::string, std::variant<bool, std::string>> values;

    bool boolForKey(const std::string& key) override {
        auto it = values.find(key);
        return it != values.end() && std::holds_alternative<bool>(it->second) &&
               std::get<bool>(it->second);
    }
    void setBool(const std::string& key, bool value) override { values[key] = value; }
    std::optional<std::string> stringForKey(const std::string& key) override {
        auto it = values.find(key);
        if (it == values.end() || !std::holds_alternative<std::string>(it->second)) {
            return std::nullopt;
        }
        return std::get<std::string>(it->second);
    }
    void setString(const std::string& key, const std::string& value) override {
        values[key] = value;
    }
    void remove(const std::string& key) override { values.erase(key); }
};

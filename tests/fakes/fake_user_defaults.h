#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <variant>

#include "platform/user_defaults.h"

// User defaults as a map. Any thread.
class FakeUserDefaults final : public UserDefaults {
  public:
    using Value = std::variant<bool, std::string>;

    bool boolForKey(const std::string& key) override {
        std::lock_guard lock(mutex_);
        auto it = values.find(key);
        return it != values.end() && std::holds_alternative<bool>(it->second) &&
               std::get<bool>(it->second);
    }
    void setBool(const std::string& key, bool value) override {
        std::lock_guard lock(mutex_);
        values[key] = value;
    }
    std::optional<std::string> stringForKey(const std::string& key) override {
        std::lock_guard lock(mutex_);
        auto it = values.find(key);
        if (it == values.end() || !std::holds_alternative<std::string>(it->second)) {
            return std::nullopt;
        }
        return std::get<std::string>(it->second);
    }
    void setString(const std::string& key, const std::string& value) override {
        std::lock_guard lock(mutex_);
        values[key] = value;
    }
    void remove(const std::string& key) override {
        std::lock_guard lock(mutex_);
        values.erase(key);
    }

    std::map<std::string, Value> values;

  private:
    std::mutex mutex_;
};

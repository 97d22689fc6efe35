#pragma once

#include <optional>
#include <string>

// The panel's small per-user settings store, kept across runs. Any thread, concurrently; each
// call reads the store afresh and each change is written through at once. A store that can't
// be read reads as empty; a change that can't be written is lost.
class UserDefaults {
  public:
    virtual ~UserDefaults() = default;
    // False when absent or not a boolean.
    virtual bool boolForKey(const std::string& key) = 0;
    virtual void setBool(const std::string& key, bool value) = 0;
    // None when absent.
    virtual std::optional<std::string> stringForKey(const std::string& key) = 0;
    virtual void setString(const std::string& key, const std::string& value) = 0;
    virtual void remove(const std::string& key) = 0;
};

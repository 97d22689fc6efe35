#pragma once

#include <string>

#include "platform/user_defaults.h"

// UserDefaults in a key file, group [Defaults]. Every read loads the file afresh and every
// change loads, edits and replaces it atomically (write then rename), under one lock shared by
// every store of the process, so two threads never lose each other's change. Any thread.
class KeyfileUserDefaults final : public UserDefaults {
  public:
    explicit KeyfileUserDefaults(std::string path);

    // $XDG_CONFIG_HOME (else ~/.config)/com.lumivo.affinity-panel-host/defaults.ini
    static std::string defaultPath();

    bool boolForKey(const std::string& key) override;
    void setBool(const std::string& key, bool value) override;
    std::optional<std::string> stringForKey(const std::string& key) override;
    void setString(const std::string& key, const std::string& value) override;
    void remove(const std::string& key) override;

  private:
    std::string path_;
};

#pragma once

#include <optional>
#include <string>

// The user's keychain holding the one sign-in item of the panel. Main thread only; every call
// blocks until the keychain has answered (and may wait for the user to unlock it).
class Keychain {
  public:
    virtual ~Keychain() = default;
    // Stores the bytes as the item's data, creating the item or replacing the data of the
    // existing one. True when stored.
    virtual bool keychainWrite(const std::string& data) = 0;
    // The item's data; nothing when there is no item or it can't be read.
    virtual std::optional<std::string> keychainRead() = 0;
    // Removes the item; a missing item or a failure is not reported.
    virtual void keychainDelete() = 0;
};

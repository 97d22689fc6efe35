#pragma once

#include <string>

#include "platform/keychain.h"

// The sign-in item in the desktop's Secret Service (the login keyring), addressed by the
// attributes "service" and "account". Main thread only; calls block on the session bus, and
// a locked keyring may ask the user to unlock it first.
class LibsecretKeychain final : public Keychain {
  public:
    LibsecretKeychain(std::string service, std::string account);

    // Store-or-replace: the Secret Service replaces the data of an item with the same
    // attributes, which is the add-then-update of a generic password in one call.
    bool keychainWrite(const std::string& data) override;
    std::optional<std::string> keychainRead() override;
    void keychainDelete() override;

  private:
    std::string service_;
    std::string account_;
};

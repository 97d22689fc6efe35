#include <sys/stat.h>

#include <gtest/gtest.h>
#include <libsecret/secret.h>

#include <functional>
#include <memory>
#include <string>

#include "fakes/fake_keychain.h"
#include "fakes/fake_page_caller.h"
#include "fakes/manual_queue.h"
#include "panel/service/service_module.h"
#include "platform/linux/libsecret_keychain.h"
#include "service/test_processes.h"

namespace {

using namespace test_processes;

// gnome-keyring's Secret Service on this process's private bus, with a fresh login keyring
// unlocked by a password given on standard input.
class KeyringDaemon {
  public:
    static KeyringDaemon& get() {
        static KeyringDaemon daemon;
        return daemon;
    }
    bool ok() const { return ready_; }

  private:
    KeyringDaemon() {
        if (!PrivateBus::get().ok()) {
            return;
        }
        const std::string runtime = home_ / "run";
        mkdir(runtime.c_str(), 0700);
        setenv("HOME", home_.path().c_str(), 1);
        setenv("XDG_DATA_HOME", (home_ / "data").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home_ / "config").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        daemon_ = std::make_unique<ChildProcess>(
            "gnome-keyring-daemon",
            std::vector<std::string>{"--foreground", "--unlock", "--components=secrets"});
        daemon_->write("test-password");
        daemon_->closeInput();
        ready_ =
            waitUntil([] { return PrivateBus::get().nameHasOwner("org.freedesktop.secrets"); });
    }

    TempDir home_;  // outlives the daemon
    std::unique_ptr<ChildProcess> daemon_;
    bool ready_ = false;
};

// How many Secret Service items carry our service attribute and the given account.
size_t itemsFor(const char* account) {
    GHashTable* attributes = g_hash_table_new(g_str_hash, g_str_equal);
    g_hash_table_insert(attributes, const_cast<char*>("service"),
                        const_cast<char*>(kKeychainService));
    g_hash_table_insert(attributes, const_cast<char*>("account"), const_cast<char*>(account));
    GList* items = secret_service_search_sync(nullptr, nullptr, attributes, SECRET_SEARCH_ALL,
                                              nullptr, nullptr);
    const size_t count = g_list_length(items);
    g_list_free_full(items, g_object_unref);
    g_hash_table_unref(attributes);
    return count;
}

// One contract for the fake and the Secret Service, so the fake can't drift from the real one.
class KeychainContract : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        if (std::string(GetParam()) == "fake") {
            keychain_ = std::make_unique<FakeKeychain>();
            return;
        }
        ASSERT_TRUE(KeyringDaemon::get().ok()) << "the Secret Service did not start";
        keychain_ = std::make_unique<LibsecretKeychain>(kKeychainService, kKeychainAccount);
        keychain_->keychainDelete();
    }
    void TearDown() override {
        if (keychain_) {
            keychain_->keychainDelete();
        }
    }
    std::unique_ptr<Keychain> keychain_;
};

TEST_P(KeychainContract, StoresReplacesAndDeletesOneItem) {
    EXPECT_FALSE(keychain_->keychainRead());
    keychain_->keychainDelete();  // deleting a missing item is no error

    const std::string first =
        R"({"refreshToken":"r1","tokenEndpoint":"https:\/\/lumivo.example","clientId":""})";
    ASSERT_TRUE(keychain_->keychainWrite(first));
    EXPECT_EQ(keychain_->keychainRead(), first);

    const std::string second = std::string("binary\0data\xff", 12);
    ASSERT_TRUE(keychain_->keychainWrite(second));
    EXPECT_EQ(keychain_->keychainRead(), second);

    keychain_->keychainDelete();
    EXPECT_FALSE(keychain_->keychainRead());
}

INSTANTIATE_TEST_SUITE_P(Keychains, KeychainContract, ::testing::Values("fake", "secret-service"));

TEST(SecretServiceKeychain, OtherAccountsAreLeftAlone) {
    ASSERT_TRUE(KeyringDaemon::get().ok());
    LibsecretKeychain ours(kKeychainService, kKeychainAccount);
    LibsecretKeychain other(kKeychainService, "someone-else");
    ASSERT_TRUE(other.keychainWrite("theirs"));
    ASSERT_TRUE(ours.keychainWrite("ours"));
    ASSERT_TRUE(ours.keychainWrite("ours again"));
    EXPECT_EQ(itemsFor(kKeychainAccount), 1u);  // replaced, not added beside the first

    ours.keychainDelete();
    EXPECT_EQ(itemsFor(kKeychainAccount), 0u);
    EXPECT_EQ(other.keychainRead(), "theirs");
    other.keychainDelete();
}

}  // namespace

namespace {

TEST(ServiceModuleWithDesktopParts, SavesAndSignsOutThroughTheSecretService) {
    ASSERT_TRUE(KeyringDaemon::get().ok());
    FakePageCaller page;
    ManualQueue main;
    auto module = makeServiceModule(page, main);
    module->handleAuthSave("s", {{"tokenEndpoint", "https://auth.lumivo.example/oauth/token"},
                                 {"refreshToken", "rt"}});
    EXPECT_EQ(page.taken()[0].arguments, nlohmann::json::array({"s", true, ""}));
    EXPECT_EQ(itemsFor("oauth"), 1u);
    LibsecretKeychain keychain("com.lumivo.editor-plugins.affinity", "oauth");
    EXPECT_EQ(
        keychain.keychainRead(),
        R"({"clientId":"","refreshToken":"rt","tokenEndpoint":"https://auth.lumivo.example/oauth/token"})");

    module->signOut("o");
    EXPECT_EQ(page.taken()[0].arguments, nlohmann::json::array({"o", true, ""}));
    EXPECT_FALSE(keychain.keychainRead());
    EXPECT_EQ(module->authGeneration(), 2);
}

}  // namespace

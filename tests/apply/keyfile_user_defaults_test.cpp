#include "platform/linux/keyfile_user_defaults.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "plugin/temp_dir.h"

namespace {

TEST(KeyfileUserDefaultsTest, ValuesSurviveANewInstanceAndRemovalForgetsThem) {
    TempDir dir;
    const std::string path = dir.path() + "/nested/defaults.ini";
    {
        KeyfileUserDefaults defaults(path);
        EXPECT_FALSE(defaults.boolForKey("Flag"));
        EXPECT_EQ(defaults.stringForKey("Version"), std::nullopt);
        defaults.setBool("Flag", true);
        defaults.setString("Version", "");
        defaults.setString("Other", "a b\n=c;[d]");
    }
    KeyfileUserDefaults reopened(path);
    EXPECT_TRUE(reopened.boolForKey("Flag"));
    EXPECT_EQ(reopened.stringForKey("Version"), "");
    EXPECT_EQ(reopened.stringForKey("Other"), "a b\n=c;[d]");
    EXPECT_FALSE(reopened.boolForKey("Other")) << "a string is not a boolean";
    reopened.remove("Version");
    reopened.remove("Absent");
    EXPECT_EQ(KeyfileUserDefaults(path).stringForKey("Version"), std::nullopt);
    EXPECT_TRUE(KeyfileUserDefaults(path).boolForKey("Flag"));

    // An unreadable file reads as empty and is replaced on the next write.
    writeText(path, "\x01garbage [[[\n");
    KeyfileUserDefaults garbled(path);
    EXPECT_FALSE(garbled.boolForKey("Flag"));
    garbled.setBool("Flag", true);
    EXPECT_TRUE(KeyfileUserDefaults(path).boolForKey("Flag"));
}

TEST(KeyfileUserDefaultsTest, ChangesFromSeveralThreadsAreAllKept) {
    TempDir dir;
    KeyfileUserDefaults defaults(dir.path() + "/defaults.ini");
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&defaults, t] {
            for (int i = 0; i < 10; ++i) {
                defaults.setString("k" + std::to_string(t) + "_" + std::to_string(i), "v");
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    for (int t = 0; t < 4; ++t) {
        for (int i = 0; i < 10; ++i) {
            EXPECT_EQ(defaults.stringForKey("k" + std::to_string(t) + "_" + std::to_string(i)),
                      "v");
        }
    }
}

}  // namespace

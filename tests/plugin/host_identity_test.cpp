#include "plugin/host_identity.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "platform/linux/editor_programs.h"

namespace {

constexpr pid_t kSelf = 3000;
constexpr pid_t kEditor = 2000;  // the parent, running the editor
constexpr pid_t kOther = 1000;   // another editor process, not the parent

HostProcessFacts facts(const char* claim, bool parentIsEditor = true) {
    HostProcessFacts f;
    f.self = kSelf;
    f.parent = kEditor;
    f.editorPidClaim = claim;
    f.ownBundleIdentifier = "com.example.own";
    f.editorIdentifierOf = [parentIsEditor](pid_t pid) {
        return (pid == kEditor && parentIsEditor) || pid == kOther ? std::string(kGimpIdentifier)
                                                                   : std::string();
    };
    return f;
}

TEST(HostIdentity, TheEditorIsBelievedOnlyAsTheParentRunningAKnownEditorProgram) {
    struct Case {
        const char* claim;
        bool parentIsEditor;
        bool bridged;
    };
    const Case cases[] = {
        {"2000", true, true},
        {nullptr, true, false},  // no claim: a host that loads the filter itself
        {"2000", false, false},  // the parent runs some other program
        {"1000", true, false},   // an editor process, but not the parent
        {"3000", true, false},   // the bridge itself
        {"", true, false},       // malformed claims
        {" 2000", true, false},
        {"+2000", true, false},
        {"2000 ", true, false},
        {"02000x", true, false},
        {"-2000", true, false},
        {"4294969296", true, false},  // 2000 past 2^32
        {"0", true, false},
    };
    for (const Case& c : cases) {
        const HostIdentity host = identifyHost(facts(c.claim, c.parentIsEditor));
        const std::string label = c.claim ? c.claim : "(unset)";
        if (c.bridged) {
            EXPECT_EQ(host.pid, kEditor) << label;
            EXPECT_EQ(host.identifier, kGimpIdentifier) << label;
        } else {
            EXPECT_EQ(host.pid, kSelf) << label;
            EXPECT_EQ(host.identifier, "com.example.own") << label;
        }
    }
}

TEST(HostIdentity, AnOrphanedBridgeOrOneWithoutALookupIsItsOwnHost) {
    HostProcessFacts orphan = facts("2000");
    orphan.parent = 1;  // the editor quit; the bridge was handed to init
    EXPECT_EQ(identifyHost(orphan).pid, kSelf);
    HostProcessFacts blind = facts("2000");
    blind.editorIdentifierOf = nullptr;
    EXPECT_EQ(identifyHost(blind).pid, kSelf);
}

TEST(HostIdentity, EditorProgramsAreKnownByTheirExactInstalledPath) {
    EXPECT_EQ(editorProgramIdentifier("/usr/bin/gimp-2.10"), kGimpIdentifier);
    EXPECT_EQ(editorProgramIdentifier("/usr/bin/gimp-console-2.10"), kGimpIdentifier);
    EXPECT_EQ(editorProgramIdentifier("/usr/bin/gimp-3.0"), kGimp3Identifier);
    EXPECT_EQ(editorProgramIdentifier("/usr/local/bin/gimp-console-3.0"), kGimp3Identifier);
    for (const char* path : {"/usr/bin/gimp", "/home/user/bin/gimp-2.10", "/usr/bin/gimp-2.10/",
                             "/usr/bin/gimp-2.100", "gimp-2.10", "/usr/bin/gimp-3", ""}) {
        EXPECT_EQ(editorProgramIdentifier(path), "") << path;
    }
}

TEST(HostIdentity, ThisProcessClaimingItsParentIsStillItsOwnHost) {
    // The test runner is no editor, so the claim fails the check against /proc.
    const std::string parent = std::to_string(::getppid());
    ASSERT_EQ(::setenv(kEditorPidVariable, parent.c_str(), 1), 0);
    const HostIdentity host = currentHostIdentity();
    ::unsetenv(kEditorPidVariable);
    EXPECT_EQ(host.pid, ::getpid());
    EXPECT_EQ(host.identifier, "");
}

}  // namespace

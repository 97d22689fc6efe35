// The panel following its editor, against a process watch and a timer the test drives, with
// the real handler.
#include "panel/app/editor_follow.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "fakes/fake_one_shot_timer.h"
#include "fakes/fake_process_exits.h"
#include "panel_test_support.h"

namespace {

using nlohmann::json;

constexpr int32_t kEditor = 4100;
constexpr int32_t kNextEditor = 4200;

struct FollowRig : HandlerRig {
    FakeProcessExits exits;
    FakeOneShotTimer timer;
    EditorFollower follower{exits, timer, handler, window};

    FollowRig() { handler.setSession(&follower); }

    std::vector<json> editorGoneCalls() {
        drain();
        std::vector<json> calls;
        for (const auto& call : pageCalls()) {
            if (call.name == kEditorGoneCall) {
                calls.push_back(call.arguments);
            }
        }
        return calls;
    }
};

enum class Step {
    kEditorQuits,
    kPageBusy,     // the page's "busy" message, true
    kPageIdle,     // and false
    kDelayPasses,  // the close timer fires, if it is pending
    kNewEditor,    // a hand-off accepted from another editor process
    kSameEditor,   // another hand-off from the editor already followed
};

TEST(EditorFollow, WhatTheQuitOfTheEditorLeadsTo) {
    struct Case {
        const char* name;
        std::vector<Step> steps;
        int closed;
        size_t pageTold;
        bool frameReleased;
    };
    using S = Step;
    const std::vector<Case> cases = {
        {"the panel closes after the delay", {S::kEditorQuits, S::kDelayPasses}, 1, 1, true},
        {"busy before the quit holds it open",
         {S::kPageBusy, S::kEditorQuits, S::kDelayPasses},
         0,
         1,
         true},
        {"the delay starts afresh once the page is idle",
         {S::kPageBusy, S::kEditorQuits, S::kPageIdle, S::kDelayPasses},
         1,
         1,
         true},
        {"busy after the quit calls the close off",
         {S::kEditorQuits, S::kPageBusy, S::kDelayPasses},
         0,
         1,
         true},
        {"a new editor calls the close off",
         {S::kEditorQuits, S::kNewEditor, S::kDelayPasses},
         0,
         1,
         true},
        {"a new editor's quit is followed in turn",
         {S::kNewEditor, S::kEditorQuits, S::kDelayPasses},
         1,
         1,
         true},
        {"busy and idle while the editor runs change nothing",
         {S::kPageBusy, S::kPageIdle, S::kDelayPasses},
         0,
         0,
         false},
        {"a second hand-off from the same editor keeps the watch",
         {S::kSameEditor, S::kEditorQuits, S::kDelayPasses},
         1,
         1,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FollowRig rig;
        rig.follower.follow(kEditor);
        for (Step step : c.steps) {
            switch (step) {
                case S::kEditorQuits:
                    rig.exits.end();
                    break;
                case S::kPageBusy:
                case S::kPageIdle:
                    rig.post({{"type", "busy"}, {"busy", step == S::kPageBusy}});
                    break;
                case S::kDelayPasses:
                    rig.timer.fire();
                    break;
                case S::kNewEditor:
                    rig.follower.follow(kNextEditor);
                    break;
                case S::kSameEditor:
                    rig.follower.follow(kEditor);
                    break;
            }
        }
        EXPECT_EQ(rig.window->closed, c.closed);
        const std::vector<json> told = rig.editorGoneCalls();
        EXPECT_EQ(told.size(), c.pageTold);
        for (const json& arguments : told) {
            EXPECT_EQ(arguments, json::array({kEditorGoneCloseSeconds}));
        }
        EXPECT_EQ(rig.frame.empty(), c.frameReleased);
        EXPECT_EQ(rig.frame.rgba.empty(), c.frameReleased);
    }
}

TEST(EditorFollow, TheCloseWaitsTheWholeDelayAndOnlyAKnownEditorIsWatched) {
    FollowRig rig;
    rig.follower.follow(0);
    rig.follower.follow(-3);
    EXPECT_EQ(rig.exits.watches, 0);
    rig.follower.follow(kEditor);
    rig.follower.follow(kEditor);
    EXPECT_EQ(rig.exits.watches, 1);
    EXPECT_EQ(rig.exits.watched, kEditor);
    rig.exits.end();
    ASSERT_TRUE(rig.timer.pendingSeconds);
    EXPECT_EQ(*rig.timer.pendingSeconds, kEditorGoneCloseSeconds);
    EXPECT_EQ(rig.window->closed, 0);
}

TEST(EditorFollow, TheQuitOfAnEditorNoLongerServedIsIgnored) {
    FollowRig rig;
    rig.follower.follow(kEditor);
    ProcessExits::Ended formerEditorQuits = rig.exits.ended;
    rig.follower.follow(kNextEditor);
    formerEditorQuits();
    EXPECT_TRUE(rig.editorGoneCalls().empty());
    EXPECT_FALSE(rig.frame.empty());
    EXPECT_FALSE(rig.timer.pendingSeconds);
}

TEST(EditorFollow, AReleasedFrameExportsAsAFailureButAResultBeingSentStillArrives) {
    struct Apply final : ApplyRequests {
        std::vector<std::string> results;
        void handleApplyResult(const json&, std::string base64) override {
            results.push_back(std::move(base64));
        }
        void handleAccessibilityRepair(const json&) override {}
        void handleApplyResultFrom(const json&, ResultProducer) override {}
    } apply;
    FollowRig rig;
    rig.handler.setModules(&apply, nullptr, nullptr);
    rig.follower.follow(kEditor);
    rig.post({{"type", "apply-result-chunk"}, {"ackId", "r"}, {"chunk", "iVBO"}});
    rig.exits.end();
    rig.post({{"type", "apply-result-chunk"}, {"ackId", "r"}, {"chunk", "Rw=="}});
    rig.post({{"type", "apply-result"}, {"ackId", "r"}});
    EXPECT_EQ(apply.results, std::vector<std::string>{"iVBORw=="});

    rig.post({{"type", "export-frame"}, {"ackId", "e"}});
    rig.drain();
    const auto calls = rig.pageCalls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back().name, "__lumivoFrameAck");
    EXPECT_EQ(calls.back().arguments, json::array({"e", false, "PNG encode failed"}));
}

TEST(EditorFollow, OnlyABooleanBusyIsTakenFromThePage) {
    FollowRig rig;
    rig.follower.follow(kEditor);
    for (const json& busy : {json(1), json("true"), json(nullptr), json::array({true})}) {
        rig.post({{"type", "busy"}, {"busy", busy}});
    }
    rig.post({{"type", "busy"}});
    rig.exits.end();
    EXPECT_TRUE(rig.timer.pendingSeconds) << "no malformed message made the page busy";
}

}  // namespace

// Where the panel's window opens, and what the panel remembers of it, against a desktop and a
// window made of plain data.
#include "panel/app/panel_placement.h"

#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fakes/fake_user_defaults.h"
#include "panel/app/panel_window_place.h"

namespace {

constexpr ScreenRect kScreen{0, 0, 1920, 1080};
constexpr ScreenRect kSmallScreen{0, 0, 1280, 1024};
// A panel at the top of the screen takes 30 pixels off the work area.
constexpr ScreenRect kWorkArea{0, 30, 1920, 1050};

PlacementRequest request(std::vector<ScreenRect> areas, std::optional<ScreenRect> editor,
                         std::optional<ScreenRect> remembered = std::nullopt,
                         FrameExtents extents = {}) {
    PlacementRequest r;
    r.workAreas = std::move(areas);
    r.editor = editor;
    r.extents = extents;
    r.width = 440;
    r.height = 760;
    r.minimumWidth = 360;
    r.minimumHeight = 520;
    r.remembered = remembered;
    return r;
}

TEST(PanelPlacement, WhereThePanelOpens) {
    struct Case {
        const char* name;
        PlacementRequest request;
        ScreenRect placed;
    };
    const FrameExtents frame{2, 2, 28, 4};
    const std::vector<Case> cases = {
        {"right of the editor, level with its top",
         request({kScreen}, {{100, 50, 1000, 900}}),
         {1100, 50, 440, 760}},
        {"left of an editor at the right",
         request({kScreen}, {{900, 100, 1000, 900}}),
         {460, 100, 440, 760}},
        {"beside an editor taller than the rest of the screen, kept on screen",
         request({kScreen}, {{0, 600, 1200, 1000}}),
         {1200, 320, 440, 760}},
        {"inside the work area, not under the desktop's own panel",
         request({kWorkArea}, {{0, 0, 1000, 1080}}),
         {1000, 30, 440, 760}},
        {"over a maximised editor: at its right edge, from its top, clear of its status bar",
         request({kSmallScreen}, {{0, 0, 1280, 1024}}),
         {840, 0, 440, 760}},
        {"with no room on either side: the side that covers less",
         request({kSmallScreen}, {{300, 0, 900, 1024}}),
         {0, 0, 440, 760}},
        {"a sliver over the editor keeps the panel level with its top",
         request({kSmallScreen}, {{40, 30, 802, 924}}),
         {840, 30, 440, 760}},
        {"below a wide, short editor",
         request({kSmallScreen}, {{0, 0, 1280, 300}}),
         {840, 264, 440, 760}},
        {"on the monitor that holds the editor",
         request({kScreen, {1920, 0, 1280, 1024}}, {{1920, 0, 600, 800}}),
         {2520, 0, 440, 760}},
        {"the window manager's frame counted on both windows",
         request({kScreen}, {{100, 50, 1000, 900}}, std::nullopt, frame),
         {1100, 50, 440, 760}},
        {"the frame keeps a window beside a right-hand editor clear of it",
         request({kScreen}, {{1000, 50, 900, 900}}, std::nullopt, frame),
         {556, 50, 440, 760}},
        {"no editor: the centre of the primary monitor",
         request({kScreen, {1920, 0, 1280, 1024}}, std::nullopt),
         {740, 160, 440, 760}},
        {"no editor: where the user left it",
         request({kScreen}, std::nullopt, {{10, 20, 500, 600}}),
         {10, 20, 500, 600}},
        {"where the user left it, when that leaves the editor free",
         request({kScreen}, {{100, 50, 1000, 900}}, {{1300, 100, 500, 600}}),
         {1300, 100, 500, 600}},
        {"not where the user left it when that covers the editor",
         request({kScreen}, {{100, 50, 1000, 900}}, {{500, 100, 500, 600}}),
         {1100, 50, 500, 600}},
        {"where the user left it over a maximised editor: nothing covers it less",
         request({kSmallScreen}, {{0, 0, 1280, 1024}}, {{40, 200, 440, 760}}),
         {40, 200, 440, 760}},
        {"not on a monitor that is gone",
         request({kScreen}, {{100, 50, 1000, 900}}, {{2500, 100, 440, 760}}),
         {1100, 50, 440, 760}},
        {"a remembered size larger than the screen is cut to it",
         request({kSmallScreen}, std::nullopt, {{0, 0, 3000, 3000}}),
         {0, 0, 1280, 1024}},
        {"a remembered size below the least one grows to it",
         request({kScreen}, std::nullopt, {{50, 60, 100, 100}}),
         {50, 60, 360, 520}},
        {"nothing known of the screens: the remembered place as it was",
         request({}, std::nullopt, {{-50, 60, 500, 600}}),
         {-50, 60, 500, 600}},
        {"nothing known at all", request({}, std::nullopt), {0, 0, 440, 760}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ScreenRect placed = placePanel(c.request);
        EXPECT_EQ(placed, c.placed)
            << placed.x << "," << placed.y << " " << placed.width << "x" << placed.height;
    }
}

TEST(PanelPlacement, TheRememberedFrameIsReadBackOnlyWhenItIsFourSaneNumbers) {
    EXPECT_EQ(parsePanelFrame(formatPanelFrame({-12, 34, 560, 780})),
              (ScreenRect{-12, 34, 560, 780}));
    for (const char* text : {"", "1 2 3", "1 2 3 4 5", "1 2 3 x", "1 2 0 4", "1 2 3 -4",
                             "99999999999 0 10 10", "0 0 10 10 ", "0,0,10,10"}) {
        EXPECT_FALSE(parsePanelFrame(text)) << text;
    }
}

struct FakeDesktop final : DesktopWindows {
    std::vector<ScreenRect> areas{kScreen};
    std::map<int32_t, EditorWindow> editors;
    std::vector<ScreenRect> workAreas() override { return areas; }
    std::optional<EditorWindow> editorWindowOf(int32_t pid) override {
        auto found = editors.find(pid);
        return found == editors.end() ? std::nullopt : std::optional(found->second);
    }
};

struct FakeWindowFrame final : PanelWindowFrame {
    std::optional<ScreenRect> arranged;
    std::pair<int, int> minimum;
    std::vector<std::optional<uint64_t>> above;
    Changed changed;
    std::optional<ScreenRect> frame() override { return arranged; }
    void arrange(const ScreenRect& f, int minimumWidth, int minimumHeight) override {
        arranged = f;
        minimum = {minimumWidth, minimumHeight};
    }
    void stayAbove(std::optional<uint64_t> editor) override { above.push_back(editor); }
    void setChanged(Changed callback) override { changed = std::move(callback); }
};

TEST(PanelWindowPlacer, OpensBesideTheEditorAboveItAndRemembersWhereTheUserLeavesIt) {
    FakeDesktop desktop;
    desktop.editors[77] = {0x1200005, {100, 50, 1000, 900}, {}};
    desktop.editors[88] = {0x1400007, {0, 0, 800, 600}, {}};
    FakeWindowFrame window;
    FakeUserDefaults defaults;
    {
        PanelWindowPlacer placer(desktop, window, defaults);
        placer.placeAtStart(77);
        EXPECT_EQ(window.arranged, (ScreenRect{1100, 50, 440, 760}));
        EXPECT_EQ(window.minimum, (std::pair{kPanelMinimumWidth, kPanelMinimumHeight}));
        EXPECT_EQ(window.above, (std::vector<std::optional<uint64_t>>{0x1200005}));

        // The user moves and resizes it; a hand-off from another editor keeps it above that one.
        ASSERT_TRUE(window.changed);
        window.changed({1250, 80, 520, 700});
        EXPECT_EQ(defaults.stringForKey(kPanelFrameKey), "1250 80 520 700");
        placer.follow(88);
        placer.follow(99);  // an editor without a window found
        EXPECT_EQ(window.above.back(), std::optional<uint64_t>(0x1400007));
        EXPECT_EQ(window.above.size(), 2u);
    }
    {
        // The next run opens where the user left it; without an editor window, as a utility one.
        FakeWindowFrame next;
        PanelWindowPlacer placer(desktop, next, defaults);
        placer.placeAtStart(12345);
        EXPECT_EQ(next.arranged, (ScreenRect{1250, 80, 520, 700}));
        EXPECT_EQ(next.above, (std::vector<std::optional<uint64_t>>{std::nullopt}));
    }
    {
        // A stored place that can't be read is as good as none.
        defaults.setString(kPanelFrameKey, "garbage");
        FakeWindowFrame next;
        PanelWindowPlacer placer(desktop, next, defaults);
        placer.placeAtStart(0);
        EXPECT_EQ(next.arranged, (ScreenRect{740, 160, 440, 760}));
    }
}

}  // namespace

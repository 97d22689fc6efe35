#include "panel/app/apply_menu_search.h"

#include <gtest/gtest.h>

#include "fakes/fake_accessibility.h"

namespace {

using Node = std::shared_ptr<FakeAxNode>;

Node untitled() {
    return std::make_shared<FakeAxNode>();
}

// A chain of `levels` untitled elements below `top`; returns the lowest.
FakeAxNode* chain(FakeAxNode* top, int levels) {
    FakeAxNode* at = top;
    for (int i = 0; i < levels; ++i) {
        at = at->add(untitled());
    }
    return at;
}

class MenuSearchTest : public ::testing::Test {
  protected:
    void TearDown() override { EXPECT_EQ(ax.liveHandles(), 0) << "an element reference leaked"; }

    // The node that the search from the menu bar returns, or null; the handle is released.
    FakeAxNode* search() {
        auto app = untitled();
        app->menuBar = menuBar;
        ax.applications[42] = app;
        AxHandle found = locateLumivoMenuItem(ax, 42, {});
        return found ? FakeAccessibility::node(*found) : nullptr;
    }

    FakeAccessibility ax;
    Node menuBar = untitled();
};

TEST_F(MenuSearchTest, ItemInsideSameTitledSubmenuIsChosenOverTheSubmenuEntry) {
    FakeAxNode* filters = menuBar->add(FakeAxNode::titled("Filters"));
    FakeAxNode* submenu = filters->add(FakeAxNode::titled("Lumivo"));
    FakeAxNode* item = submenu->add(FakeAxNode::titled("Lumivo"));
    EXPECT_EQ(search(), item);
}

TEST_F(MenuSearchTest, TheLaterOfTwoMatchingChildrenWinsAndADeeperMatchBeatsIt) {
    FakeAxNode* submenu = chain(menuBar.get(), 1)->add(FakeAxNode::titled("Lumivo"));
    submenu->add(FakeAxNode::titled("Lumivo"));
    FakeAxNode* later = submenu->add(FakeAxNode::titled("Lumivo"));
    EXPECT_EQ(search(), later);

    FakeAxNode* below = chain(later, 2)->add(FakeAxNode::titled("Lumivo"));
    EXPECT_EQ(search(), below);
}

TEST_F(MenuSearchTest, TheFirstMatchInDepthFirstOrderEndsTheSearch) {
    FakeAxNode* first = chain(menuBar.get(), 3)->add(FakeAxNode::titled("Lumivo"));
    menuBar->add(FakeAxNode::titled("Lumivo"));
    EXPECT_EQ(search(), first);
}

TEST_F(MenuSearchTest, InsideAMenuItsOwnItemBeatsACopyInAnEarlierSubmenu) {
    FakeAxNode* filters = menuBar->add(FakeAxNode::titled("Filters"));
    FakeAxNode* recent = filters->add(FakeAxNode::titled("Recently Used"));
    FakeAxNode* copy = recent->add(FakeAxNode::titled("Lumivo"));
    filters->add(FakeAxNode::titled("Blur"))->add(FakeAxNode::titled("Gaussian Blur..."));
    FakeAxNode* own = filters->add(FakeAxNode::titled("Lumivo"));
    EXPECT_EQ(search(), own);

    filters->children.pop_back();  // a menu without an item of its own: the copy is found
    EXPECT_EQ(search(), copy);
}

TEST_F(MenuSearchTest, OuterSearchReachesNineLevelsBelowTheMenuBarAndNoFurther) {
    struct Case {
        int levelsAbove;  // untitled elements between the menu bar and the item
        bool found;
    };
    EXPECT_EQ(locateLumivoMenuItem(ax, 7, {}), nullptr);  // no such application
    menuBar = nullptr;
    EXPECT_EQ(search(), nullptr);  // no menu bar
    for (Case c : {Case{7, true}, Case{8, true}, Case{9, false}, Case{12, false}}) {
        menuBar = untitled();
        FakeAxNode* item = chain(menuBar.get(), c.levelsAbove)->add(FakeAxNode::titled("Lumivo"));
        EXPECT_EQ(search(), c.found ? item : nullptr) << "item at level " << c.levelsAbove + 1;
    }
}

TEST_F(MenuSearchTest, InnerSearchLooksFiveLevelsBelowTheFirstMatch) {
    struct Case {
        int levelsBetween;  // untitled elements between the first match and a deeper one
        bool deeperFound;
    };
    for (Case c : {Case{3, true}, Case{4, true}, Case{5, false}}) {
        menuBar = untitled();
        FakeAxNode* outer = menuBar->add(FakeAxNode::titled("Lumivo"));
        FakeAxNode* inner = chain(outer, c.levelsBetween)->add(FakeAxNode::titled("Lumivo"));
        EXPECT_EQ(search(), c.deeperFound ? inner : outer) << c.levelsBetween << " levels";
    }
}

TEST_F(MenuSearchTest, TitlesMatchExactlyAndUnreadableBranchesAreSkipped) {
    menuBar->add(FakeAxNode::titled("lumivo"));
    menuBar->add(FakeAxNode::titled("Lumivo "));
    FakeAxNode* broken = menuBar->add(untitled());
    broken->childrenReadFails = true;
    broken->children.push_back(FakeAxNode::titled("Lumivo"));
    EXPECT_EQ(search(), nullptr);

    FakeAxNode* item = menuBar->add(FakeAxNode::titled("Lumivo"));
    EXPECT_EQ(search(), item);
}

TEST(FramesTopFirstTest, TheDesktopsStackingOrderNamesTheFramesToSearch) {
    using Titles = std::vector<std::string>;
    using FrameTitles = std::vector<std::optional<std::string>>;
    const FrameTitles gimp = {"Toolbox", "[a] (imported)-1.0 – GIMP", std::nullopt,
                              "[b] (imported)-2.0 – GIMP"};
    struct Case {
        const char* what;
        FrameTitles frames;
        Titles windowsTopFirst;
        std::vector<size_t> order;
    };
    const Case cases[] = {
        {"b in front",
         gimp,
         {"[b] (imported)-2.0 – GIMP", "[a] (imported)-1.0 – GIMP", "Toolbox"},
         {3, 1, 0}},
        {"a in front, toolbox above b",
         gimp,
         {"[a] (imported)-1.0 – GIMP", "Toolbox", "[b] (imported)-2.0 – GIMP"},
         {1, 0, 3}},
        {"a window the tree doesn't show yet",
         gimp,
         {"Quit GIMP", "[a] (imported)-1.0 – GIMP"},
         {1}},
        {"two frames of one title name neither",
         {"x – GIMP", "x – GIMP", "y – GIMP"},
         {"x – GIMP", "y – GIMP"},
         {2}},
        {"two windows of one title name neither",
         {"x – GIMP", "y – GIMP"},
         {"x – GIMP", "y – GIMP", "x – GIMP"},
         {1}},
        {"titles match exactly", {"a – GIMP"}, {"A – GIMP", "a – GIMP "}, {}},
        {"no window manager or display", gimp, {}, {}},
        {"no frames", {}, {"[a] (imported)-1.0 – GIMP"}, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(framesTopFirst(c.frames, c.windowsTopFirst), c.order) << c.what;
    }
}

// Two image windows, each with its own menu bar and Filters > Lumivo, and a toolbox without
// a menu bar; the application's menu bar (what the search without the desktop finds) is a's.
class WindowMenuSearchTest : public MenuSearchTest {
  protected:
    void SetUp() override {
        app->add(FakeAxNode::titled("Toolbox"));
        aItem = imageWindow("a – GIMP");
        bItem = imageWindow("b – GIMP");
        app->menuBar = app->children[1]->menuBar;
        ax.applications[42] = app;
    }

    FakeAxNode* imageWindow(const std::string& title) {
        FakeAxNode* frame = app->add(FakeAxNode::titled(title));
        frame->menuBar = untitled();
        return frame->menuBar->add(FakeAxNode::titled("Filters"))
            ->add(FakeAxNode::titled("Lumivo"));
    }

    FakeAxNode* searchIn(const std::vector<std::string>& windowsTopFirst) {
        AxHandle found = locateLumivoMenuItem(ax, 42, windowsTopFirst);
        return found ? FakeAccessibility::node(*found) : nullptr;
    }

    Node app = untitled();
    FakeAxNode* aItem = nullptr;
    FakeAxNode* bItem = nullptr;
};

TEST_F(WindowMenuSearchTest, TheItemComesFromTheHighestStackedWindowWithAMenuBar) {
    EXPECT_EQ(searchIn({"b – GIMP", "a – GIMP"}), bItem);
    EXPECT_EQ(searchIn({"Toolbox", "b – GIMP", "a – GIMP"}), bItem) << "the toolbox has no menu";
    EXPECT_EQ(searchIn({"a – GIMP", "b – GIMP"}), aItem);
    // b's Filters menu lost its item (the plug-in is being registered again): a's is next.
    app->children[2]->menuBar->children[0]->children.clear();
    EXPECT_EQ(searchIn({"b – GIMP", "a – GIMP"}), aItem);
}

TEST_F(WindowMenuSearchTest, WhereNoWindowCanBeMatchedTheApplicationsMenuBarIsSearched) {
    EXPECT_EQ(searchIn({}), aItem);
    EXPECT_EQ(searchIn({"c – GIMP"}), aItem);
    app->childrenReadFails = true;
    EXPECT_EQ(searchIn({"b – GIMP"}), aItem);
}

}  // namespace

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
        AxHandle found = locateLumivoMenuItem(ax, 42);
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
    EXPECT_EQ(locateLumivoMenuItem(ax, 7), nullptr);  // no such application
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

}  // namespace

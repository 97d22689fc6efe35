#include "panel/app/apply_menu_search.h"

#include <algorithm>
#include <utility>

namespace {

constexpr int kLeafSearchMaxDepth = 8;
constexpr int kBranchSearchMaxDepth = 4;
// The children of the menu bar's entries (the menus themselves) are read at this depth.
constexpr int kOwnItemsFirstDepth = 1;

bool isTitledLumivo(Accessibility& ax, const AxElement& element) {
    std::optional<std::string> title = ax.title(element);
    return title && *title == kLumivoMenuTitle;
}

}  // namespace

AxHandle findLumivoMenuLeaf(Accessibility& ax, const AxElement& element, int depth) {
    if (depth > kLeafSearchMaxDepth) {
        return nullptr;
    }
    std::optional<std::vector<AxHandle>> children = ax.children(element);
    if (!children) {
        return nullptr;
    }
    // The first match ends the search: an item inside a same-titled submenu wins over the
    // submenu's own entry, and nothing after the matching child is looked at.
    auto refine = [&ax](AxHandle& match) {
        AxHandle deeper = deepestLumivoInBranch(ax, *match, 0);
        return deeper ? std::move(deeper) : std::move(match);
    };
    // Inside a menu, the menu's own items come before its submenus: an editor's list of
    // recently used filters (GIMP's Filters > Recently Used) repeats the filter's title in a
    // submenu listed earlier, and its entries are later reused for other filters.
    const bool insideMenu = depth >= kOwnItemsFirstDepth;
    if (insideMenu) {
        for (AxHandle& child : *children) {
            if (child && isTitledLumivo(ax, *child)) {
                return refine(child);
            }
        }
    }
    for (AxHandle& child : *children) {
        if (!child) {
            continue;
        }
        if (!insideMenu && isTitledLumivo(ax, *child)) {
            return refine(child);
        }
        if (AxHandle found = findLumivoMenuLeaf(ax, *child, depth + 1)) {
            return found;
        }
    }
    return nullptr;
}

AxHandle deepestLumivoInBranch(Accessibility& ax, const AxElement& element, int depth) {
    if (depth > kBranchSearchMaxDepth) {
        return nullptr;
    }
    std::optional<std::vector<AxHandle>> children = ax.children(element);
    if (!children) {
        return nullptr;
    }
    AxHandle best;
    for (AxHandle& child : *children) {
        if (!child) {
            continue;
        }
        // A match below a child beats the child's own title; a later child beats an earlier one.
        if (AxHandle deeper = deepestLumivoInBranch(ax, *child, depth + 1)) {
            best = std::move(deeper);
        } else if (isTitledLumivo(ax, *child)) {
            best = std::move(child);
        }
    }
    return best;
}

std::vector<size_t> framesTopFirst(const std::vector<std::optional<std::string>>& frameTitles,
                                   const std::vector<std::string>& windowTitlesTopFirst) {
    auto count = [](const auto& titles, const std::string& title) {
        return std::count_if(titles.begin(), titles.end(),
                             [&title](const auto& each) { return each && *each == title; });
    };
    std::vector<size_t> order;
    for (const std::string& title : windowTitlesTopFirst) {
        if (std::count(windowTitlesTopFirst.begin(), windowTitlesTopFirst.end(), title) != 1 ||
            count(frameTitles, title) != 1) {
            continue;
        }
        auto frame = std::find(frameTitles.begin(), frameTitles.end(), title);
        order.push_back(static_cast<size_t>(frame - frameTitles.begin()));
    }
    return order;
}

AxHandle locateLumivoMenuItem(Accessibility& ax, pid_t pid,
                              const std::vector<std::string>& windowTitlesTopFirst) {
    AxHandle application = ax.application(pid);
    if (!application) {
        return nullptr;
    }
    auto inMenuBarOf = [&ax](const AxElement& element) -> AxHandle {
        AxHandle menuBar = ax.menuBar(element);
        return menuBar ? findLumivoMenuLeaf(ax, *menuBar, 0) : nullptr;
    };
    std::optional<std::vector<AxHandle>> frames;
    if (!windowTitlesTopFirst.empty()) {
        frames = ax.children(*application);
    }
    if (frames) {
        std::vector<std::optional<std::string>> titles;
        for (const AxHandle& frame : *frames) {
            titles.push_back(frame ? ax.title(*frame) : std::nullopt);
        }
        for (size_t index : framesTopFirst(titles, windowTitlesTopFirst)) {
            if (AxHandle item = inMenuBarOf(*(*frames)[index])) {
                return item;
            }
        }
    }
    return inMenuBarOf(*application);
}

#include "panel/app/apply_menu_search.h"

#include <utility>

namespace {

constexpr int kLeafSearchMaxDepth = 8;
constexpr int kBranchSearchMaxDepth = 4;

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
    for (AxHandle& child : *children) {
        if (!child) {
            continue;
        }
        if (isTitledLumivo(ax, *child)) {
            // The first match ends the search: an item inside a same-titled submenu wins over
            // the submenu's own entry, and nothing after this child is looked at.
            AxHandle deeper = deepestLumivoInBranch(ax, *child, 0);
            return deeper ? std::move(deeper) : std::move(child);
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

AxHandle locateLumivoMenuItem(Accessibility& ax, pid_t pid) {
    AxHandle application = ax.application(pid);
    if (!application) {
        return nullptr;
    }
    AxHandle menuBar = ax.menuBar(*application);
    if (!menuBar) {
        return nullptr;
    }
    return findLumivoMenuLeaf(ax, *menuBar, 0);
}

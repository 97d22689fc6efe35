#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/accessibility.h"

// The search for the filter's menu item in the host editor's menu bar. Apply queue only (every
// call goes through Accessibility, which blocks). Returned handles are the caller's own.

inline constexpr char kLumivoMenuTitle[] = "Lumivo";

// The first element titled "Lumivo" in depth-first order below `element` (the menu bar at depth
// 0), refined by deepestLumivoInBranch; children are read at depths 0 to 8. Inside a menu
// (depth 1 and below) the menu's own items are looked at before any of its submenus, so
// Filters > Lumivo wins over Filters > Recently Used > Lumivo. Null when none.
AxHandle findLumivoMenuLeaf(Accessibility& ax, const AxElement& element, int depth);

// The deepest and last element titled "Lumivo" below `element` (depth 0); children are read at
// depths 0 to 4. Null when none.
AxHandle deepestLumivoInBranch(Accessibility& ax, const AxElement& element, int depth);

// The editor's top-level windows (its application element's children, titled `frameTitles`)
// that the titles of its windows on the desktop, `windowTitlesTopFirst`, name, in that order. A
// title borne by more than one window or frame names none of them: it can't say which.
std::vector<size_t> framesTopFirst(const std::vector<std::optional<std::string>>& frameTitles,
                                   const std::vector<std::string>& windowTitlesTopFirst);

// The "Lumivo" item to press for the picture the user works on. With several windows each with
// its own menu bar (one per image), each menu runs the filter on its own window's image: the
// menu bars of the windows framesTopFirst names are searched with findLumivoMenuLeaf first, the
// one the user worked in last first; where none of them has the item, the application's first
// menu bar is. Null when there is no application element or no match.
AxHandle locateLumivoMenuItem(Accessibility& ax, pid_t pid,
                              const std::vector<std::string>& windowTitlesTopFirst);

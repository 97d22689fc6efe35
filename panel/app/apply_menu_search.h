#pragma once

#include <sys/types.h>

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

// The application's menu bar searched with findLumivoMenuLeaf; null when there is no
// application element, no menu bar, or no match.
AxHandle locateLumivoMenuItem(Accessibility& ax, pid_t pid);

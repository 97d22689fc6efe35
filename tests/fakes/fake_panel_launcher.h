#pragma once

#include <string>
#include <vector>

#include "plugin/panel_launcher.h"

// Records each launch and answers with `outcome`. One thread.
struct FakePanelLauncher final : PanelLauncher {
    LaunchOutcome outcome;
    std::vector<std::vector<std::string>> runs;

    LaunchOutcome run(const std::vector<std::string>& arguments) override {
        runs.push_back(arguments);
        return outcome;
    }
};

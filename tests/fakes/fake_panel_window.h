#pragma once

#include "platform/panel_window.h"

// A window that counts what was asked of it.
struct FakePanelWindow final : PanelWindow {
    int presented = 0;
    int closed = 0;

    void present() override { ++presented; }
    void close() override { ++closed; }
};

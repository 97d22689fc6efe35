#pragma once

// The panel's one window. Main thread only; calls on a window that is gone do nothing.
class PanelWindow {
  public:
    virtual ~PanelWindow() = default;
    // Shows the window and brings it to the front, taking the focus from other applications.
    virtual void present() = 0;
    // Closes the window as the user would; the panel ends when its window closes.
    virtual void close() = 0;
};

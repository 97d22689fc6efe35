#pragma once

#include <functional>

#include "platform/user_question.h"

// The panel's one window. Main thread only; calls on a window that is gone do nothing.
class PanelWindow {
  public:
    using Answer = std::function<void(bool yes)>;

    virtual ~PanelWindow() = default;
    // Shows the window and brings it to the front, taking the focus from other applications.
    virtual void present() = 0;
    // Closes the window as the user would; the panel ends when its window closes.
    virtual void close() = 0;
    // Puts the question to the user in a dialog of the panel's own over the window, and returns
    // at once. `answer` runs exactly once, later, on the main thread: true only when the user
    // chose the "yes" button; any other end of the dialog is a no.
    virtual void ask(const UserQuestion& question, Answer answer) = 0;
};

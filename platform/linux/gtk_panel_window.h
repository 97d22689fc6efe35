#pragma once

#include <gtk/gtk.h>

#include "platform/panel_window.h"

// PanelWindow over a GtkWindow. Main thread only. Holds the window weakly.
class GtkPanelWindow final : public PanelWindow {
  public:
    explicit GtkPanelWindow(GtkWindow* window);
    ~GtkPanelWindow() override;
    GtkPanelWindow(const GtkPanelWindow&) = delete;
    GtkPanelWindow& operator=(const GtkPanelWindow&) = delete;

    void present() override;
    void close() override;
    // A modal GtkMessageDialog over the window (or on its own once the window is gone).
    void ask(const UserQuestion& question, Answer answer) override;

  private:
    GtkWindow* window_;
};

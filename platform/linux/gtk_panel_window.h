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

  private:
    GtkWindow* window_;
};

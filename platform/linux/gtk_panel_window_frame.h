#pragma once

#include <gtk/gtk.h>

#include "platform/panel_window_frame.h"

// PanelWindowFrame over the panel's GtkWindow. Keeping above the editor is the X11 transient
// hint (WM_TRANSIENT_FOR naming the editor's window), which window managers honour by keeping
// the panel above that window; without an editor window the panel is a utility window. A move
// or resize is reported once no other has followed for half a second. Main thread only. Holds
// the window weakly.
class GtkPanelWindowFrame final : public PanelWindowFrame {
  public:
    explicit GtkPanelWindowFrame(GtkWindow* window);
    ~GtkPanelWindowFrame() override;
    GtkPanelWindowFrame(const GtkPanelWindowFrame&) = delete;
    GtkPanelWindowFrame& operator=(const GtkPanelWindowFrame&) = delete;

    std::optional<ScreenRect> frame() override;
    void arrange(const ScreenRect& frame, int minimumWidth, int minimumHeight) override;
    void stayAbove(std::optional<uint64_t> editor) override;
    void setChanged(Changed changed) override;

  private:
    static gboolean onConfigure(GtkWidget*, GdkEvent*, gpointer self);
    static gboolean onSettled(gpointer self);

    GtkWindow* window_;
    gulong configureHandler_ = 0;
    guint settleSource_ = 0;
    std::optional<ScreenRect> reported_;
    Changed changed_;
};

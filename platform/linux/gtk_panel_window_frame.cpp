#include "platform/linux/gtk_panel_window_frame.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <gdk/gdkx.h>

#include <utility>

namespace {

constexpr guint kSettleMilliseconds = 500;

}  // namespace

GtkPanelWindowFrame::GtkPanelWindowFrame(GtkWindow* window) : window_(window) {
    if (window_ != nullptr) {
        g_object_add_weak_pointer(G_OBJECT(window_), reinterpret_cast<gpointer*>(&window_));
        configureHandler_ =
            g_signal_connect(window_, "configure-event", G_CALLBACK(onConfigure), this);
    }
}

GtkPanelWindowFrame::~GtkPanelWindowFrame() {
    if (settleSource_ != 0) {
        g_source_remove(settleSource_);
    }
    if (window_ != nullptr) {
        g_signal_handler_disconnect(window_, configureHandler_);
        g_object_remove_weak_pointer(G_OBJECT(window_), reinterpret_cast<gpointer*>(&window_));
    }
}

std::optional<ScreenRect> GtkPanelWindowFrame::frame() {
    if (window_ == nullptr || !gtk_widget_get_visible(GTK_WIDGET(window_))) {
        return std::nullopt;
    }
    ScreenRect frame;
    // With the default gravity: where the frame's top-left corner is, as gtk_window_move takes it.
    gtk_window_get_position(window_, &frame.x, &frame.y);
    gtk_window_get_size(window_, &frame.width, &frame.height);
    return frame;
}

void GtkPanelWindowFrame::arrange(const ScreenRect& frame, int minimumWidth, int minimumHeight) {
    if (window_ == nullptr) {
        return;
    }
    GdkGeometry geometry{};
    geometry.min_width = minimumWidth;
    geometry.min_height = minimumHeight;
    gtk_window_set_geometry_hints(window_, nullptr, &geometry, GDK_HINT_MIN_SIZE);
    gtk_window_set_position(window_, GTK_WIN_POS_NONE);
    gtk_window_set_default_size(window_, frame.width, frame.height);
    // Asked for by the program, which window managers honour as they would a user's choice.
    gtk_window_move(window_, frame.x, frame.y);
}

void GtkPanelWindowFrame::stayAbove(std::optional<uint64_t> editor) {
    if (window_ == nullptr) {
        return;
    }
    GtkWidget* widget = GTK_WIDGET(window_);
    if (!editor) {
        if (!gtk_widget_get_mapped(widget)) {
            gtk_window_set_type_hint(window_, GDK_WINDOW_TYPE_HINT_UTILITY);
        }
        return;
    }
    GdkDisplay* display = gtk_widget_get_display(widget);
    if (!GDK_IS_X11_DISPLAY(display)) {
        return;
    }
    // The hint names a window of another program, which GTK can't do for us: it lives on our
    // own X window, so that window must exist first.
    gtk_widget_realize(widget);
    GdkWindow* own = gtk_widget_get_window(widget);
    if (own == nullptr) {
        return;
    }
    gdk_x11_display_error_trap_push(display);
    XSetTransientForHint(GDK_DISPLAY_XDISPLAY(display), GDK_WINDOW_XID(own),
                         static_cast<Window>(*editor));
    gdk_x11_display_error_trap_pop_ignored(display);
}

void GtkPanelWindowFrame::setChanged(Changed changed) {
    changed_ = std::move(changed);
}

gboolean GtkPanelWindowFrame::onConfigure(GtkWidget*, GdkEvent*, gpointer self) {
    auto* frame = static_cast<GtkPanelWindowFrame*>(self);
    if (frame->settleSource_ != 0) {
        g_source_remove(frame->settleSource_);
    }
    frame->settleSource_ = g_timeout_add(kSettleMilliseconds, onSettled, frame);
    return FALSE;
}

gboolean GtkPanelWindowFrame::onSettled(gpointer self) {
    auto* frame = static_cast<GtkPanelWindowFrame*>(self);
    frame->settleSource_ = 0;
    std::optional<ScreenRect> now = frame->frame();
    if (now && now != frame->reported_ && frame->changed_) {
        frame->reported_ = now;
        try {
            frame->changed_(*now);
        } catch (...) {
            // Nothing may unwind into GLib.
        }
    }
    return G_SOURCE_REMOVE;
}

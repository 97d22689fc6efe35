#include "platform/linux/gtk_panel_window.h"

GtkPanelWindow::GtkPanelWindow(GtkWindow* window) : window_(window) {
    if (window_ != nullptr) {
        g_object_add_weak_pointer(G_OBJECT(window_), reinterpret_cast<gpointer*>(&window_));
    }
}

GtkPanelWindow::~GtkPanelWindow() {
    if (window_ != nullptr) {
        g_object_remove_weak_pointer(G_OBJECT(window_), reinterpret_cast<gpointer*>(&window_));
    }
}

void GtkPanelWindow::present() {
    if (window_ != nullptr) {
        gtk_widget_show_all(GTK_WIDGET(window_));
        gtk_window_present(window_);
    }
}

void GtkPanelWindow::close() {
    if (window_ != nullptr) {
        // As if the user closed it: the window's delete handler runs.
        gtk_window_close(window_);
    }
}

#include "platform/linux/gtk_panel_window.h"

#include <utility>

namespace {

// The answer a dialog still owes, held by its "response" handler. Whatever ends the dialog
// without a response (its destruction with the window) answers no, so the answer always comes.
struct PendingAnswer {
    PanelWindow::Answer answer;

    void give(bool yes) {
        PanelWindow::Answer once = std::move(answer);
        answer = nullptr;
        if (once) {
            try {
                once(yes);
            } catch (...) {
                // Nothing may unwind into GTK.
            }
        }
    }
};

void onResponse(GtkDialog* dialog, gint response, gpointer data) {
    static_cast<PendingAnswer*>(data)->give(response == GTK_RESPONSE_ACCEPT);
    gtk_widget_destroy(GTK_WIDGET(dialog));
}

}  // namespace

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

void GtkPanelWindow::ask(const UserQuestion& question, Answer answer) {
    GtkWidget* dialog = gtk_message_dialog_new(
        window_, static_cast<GtkDialogFlags>(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
        GTK_MESSAGE_QUESTION, GTK_BUTTONS_NONE, "%s", question.text.c_str());
    gtk_window_set_title(GTK_WINDOW(dialog), question.title.c_str());
    gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s",
                                             question.details.c_str());
    gtk_dialog_add_buttons(GTK_DIALOG(dialog), question.no.c_str(), GTK_RESPONSE_REJECT,
                           question.yes.c_str(), GTK_RESPONSE_ACCEPT, nullptr);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_REJECT);
    g_signal_connect_data(
        dialog, "response", G_CALLBACK(onResponse), new PendingAnswer{std::move(answer)},
        [](gpointer data, GClosure*) {
            auto* pending = static_cast<PendingAnswer*>(data);
            pending->give(false);
            delete pending;
        },
        static_cast<GConnectFlags>(0));
    gtk_widget_show_all(dialog);
    gtk_window_present(GTK_WINDOW(dialog));
}

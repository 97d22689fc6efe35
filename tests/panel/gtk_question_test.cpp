// The panel window's question dialog on a real display: its words and buttons, and exactly one
// answer however the dialog ends.
#include "platform/linux/gtk_panel_window.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const UserQuestion kQuestion{"Title?", "What changes.", "How to undo it.", "Do It", "Leave It"};

// The one open question dialog among the toplevel windows, or null.
GtkMessageDialog* openDialog() {
    GtkMessageDialog* found = nullptr;
    GList* windows = gtk_window_list_toplevels();
    for (GList* item = windows; item != nullptr; item = item->next) {
        if (GTK_IS_MESSAGE_DIALOG(item->data) && gtk_widget_get_visible(GTK_WIDGET(item->data))) {
            found = GTK_MESSAGE_DIALOG(item->data);
        }
    }
    g_list_free(windows);
    return found;
}

std::string property(GtkMessageDialog* dialog, const char* name) {
    gchar* value = nullptr;
    g_object_get(dialog, name, &value, nullptr);
    std::string text = value != nullptr ? value : "";
    g_free(value);
    return text;
}

TEST(GtkQuestion, TheDialogSaysWhatChangesAndEveryEndGivesOneAnswer) {
    ASSERT_TRUE(gtk_init_check(nullptr, nullptr)) << "needs a display";
    enum class End { yes, no, closed, windowGone };
    for (End end : {End::yes, End::no, End::closed, End::windowGone}) {
        GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_widget_show(window);
        GtkPanelWindow port(GTK_WINDOW(window));
        std::vector<bool> answers;
        port.ask(kQuestion, [&answers](bool yes) { answers.push_back(yes); });
        GtkMessageDialog* dialog = openDialog();
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(gtk_window_get_title(GTK_WINDOW(dialog)), std::string("Title?"));
        EXPECT_EQ(property(dialog, "text"), "What changes.");
        EXPECT_EQ(property(dialog, "secondary-text"), "How to undo it.");
        EXPECT_EQ(gtk_window_get_transient_for(GTK_WINDOW(dialog)), GTK_WINDOW(window));
        GtkWidget* yes =
            gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);
        GtkWidget* no = gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), GTK_RESPONSE_REJECT);
        ASSERT_TRUE(yes != nullptr && no != nullptr);
        EXPECT_EQ(gtk_button_get_label(GTK_BUTTON(yes)), std::string("Do It"));
        EXPECT_EQ(gtk_button_get_label(GTK_BUTTON(no)), std::string("Leave It"));
        EXPECT_TRUE(answers.empty()) << "nothing is answered before the user is";

        switch (end) {
            case End::yes:
                gtk_button_clicked(GTK_BUTTON(yes));
                break;
            case End::no:
                gtk_button_clicked(GTK_BUTTON(no));
                break;
            case End::closed:
                gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_DELETE_EVENT);
                break;
            case End::windowGone:
                break;
        }
        gtk_widget_destroy(window);
        while (gtk_events_pending()) {
            gtk_main_iteration();
        }
        EXPECT_EQ(answers, std::vector<bool>{end == End::yes});
        EXPECT_EQ(openDialog(), nullptr);
    }
}

}  // namespace

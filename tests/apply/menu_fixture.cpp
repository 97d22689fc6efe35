// A small GTK window with a menu bar, for the accessibility adapter's tests:
//   Filters > Lumivo > Lumivo   (a submenu bearing the item's title, as some editors nest them)
//   Edit > Greyed               (insensitive)
// Each activation of the inner item prints "activated" on standard output. Closing stdin ends it.
#include <gtk/gtk.h>
#include <unistd.h>

#include <cstdio>

namespace {

GtkWidget* addMenu(GtkWidget* shell, const char* label) {
    GtkWidget* entry = gtk_menu_item_new_with_label(label);
    GtkWidget* menu = gtk_menu_new();
    gtk_menu_item_set_submenu(GTK_MENU_ITEM(entry), menu);
    gtk_menu_shell_append(GTK_MENU_SHELL(shell), entry);
    return menu;
}

void onActivate(GtkMenuItem*, gpointer) {
    std::printf("activated\n");
    std::fflush(stdout);
}

gboolean onStdin(GIOChannel*, GIOCondition, gpointer) {
    gtk_main_quit();
    return G_SOURCE_REMOVE;
}

}  // namespace

int main(int argc, char** argv) {
    gtk_init(&argc, &argv);
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), "menu fixture");
    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    GtkWidget* bar = gtk_menu_bar_new();

    GtkWidget* filters = addMenu(bar, "Filters");
    GtkWidget* submenu = addMenu(filters, "Lumivo");
    GtkWidget* item = gtk_menu_item_new_with_label("Lumivo");
    g_signal_connect(item, "activate", G_CALLBACK(onActivate), nullptr);
    gtk_menu_shell_append(GTK_MENU_SHELL(submenu), item);

    GtkWidget* edit = addMenu(bar, "Edit");
    GtkWidget* greyed = gtk_menu_item_new_with_label("Greyed");
    gtk_widget_set_sensitive(greyed, FALSE);
    gtk_menu_shell_append(GTK_MENU_SHELL(edit), greyed);

    gtk_box_pack_start(GTK_BOX(box), bar, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), gtk_label_new("fixture"), TRUE, TRUE, 0);
    gtk_container_add(GTK_CONTAINER(window), box);
    gtk_widget_show_all(window);

    GIOChannel* in = g_io_channel_unix_new(STDIN_FILENO);
    g_io_add_watch(in, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR), onStdin, nullptr);
    gtk_main();
    g_io_channel_unref(in);
    return 0;
}

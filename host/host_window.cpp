#include "host/host_window.h"

#include <gtk/gtk.h>
#include <stdio.h>

#include <cstring>
#include <string>

#include "host/image_file.h"
#include "host/run_timings.h"

namespace {

struct WindowState {
    const HostOptions* options = nullptr;
    Document document;
    const std::vector<InstalledFilter>* filters = nullptr;
    GtkWidget* image = nullptr;
    RunTimings timings{false};
};

void showDocument(WindowState& state) {
    const Document& document = state.document;
    const bool alpha = document.channels == 4;
    GdkPixbuf* pixbuf =
        gdk_pixbuf_new(GDK_COLORSPACE_RGB, alpha, 8, static_cast<int>(document.width),
                       static_cast<int>(document.height));
    if (pixbuf == nullptr) {
        return;
    }
    const int stride = gdk_pixbuf_get_rowstride(pixbuf);
    guchar* pixels = gdk_pixbuf_get_pixels(pixbuf);
    const size_t used = size_t{document.width} * static_cast<size_t>(document.channels);
    for (uint32_t y = 0; y < document.height; ++y) {
        std::memcpy(pixels + static_cast<size_t>(stride) * y, document.row(y), used);
    }
    gtk_image_set_from_pixbuf(GTK_IMAGE(state.image), pixbuf);
    g_object_unref(pixbuf);
}

// The filter index travels as the menu item's data.
void onFilterChosen(GtkMenuItem* item, gpointer data) {
    auto* state = static_cast<WindowState*>(data);
    const auto index =
        static_cast<size_t>(GPOINTER_TO_UINT(g_object_get_data(G_OBJECT(item), "filter-index")));
    const InstalledFilter& filter = state->filters->at(index);
    RunTimings& timings = state->timings;
    timings.beginMemoryWindow();
    timings.mark("pressed");

    FilterRunWatch watch;
    if (timings.enabled()) {
        watch.onStep = [&timings](const char* step) { timings.mark(step); };
    }
    const int16 result =
        runFilter(filter.entry, state->document, state->options->selection, &watch);
    timings.reportMemory("filter");
    printf("filter result %d\n", static_cast<int>(result));
    fflush(stdout);
    if (watch.changed) {
        showDocument(*state);
        timings.mark("shown");
        if (!state->options->saveOnChange.empty() &&
            !savePng(state->options->saveOnChange, state->document)) {
            fprintf(stderr, "lumivo-host: cannot save %s\n", state->options->saveOnChange.c_str());
        }
    }
}

GtkWidget* buildMenuBar(WindowState& state) {
    GtkWidget* bar = gtk_menu_bar_new();
    GtkWidget* filtersItem = gtk_menu_item_new_with_label("Filters");
    GtkWidget* menu = gtk_menu_new();
    for (size_t i = 0; i < state.filters->size(); ++i) {
        GtkWidget* item = gtk_menu_item_new_with_label((*state.filters)[i].title.c_str());
        g_object_set_data(G_OBJECT(item), "filter-index", GUINT_TO_POINTER(i));
        g_signal_connect(item, "activate", G_CALLBACK(onFilterChosen), &state);
        gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
    }
    gtk_menu_item_set_submenu(GTK_MENU_ITEM(filtersItem), menu);
    gtk_menu_shell_append(GTK_MENU_SHELL(bar), filtersItem);
    return bar;
}

}  // namespace

int runHostWindow(const HostOptions& options, Document document,
                  const std::vector<InstalledFilter>& filters) {
    WindowState state;
    state.options = &options;
    state.document = std::move(document);
    state.filters = &filters;
    state.timings = RunTimings(options.timings);

    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    std::string title = "Lumivo Demo Host";
    if (!options.input.empty()) {
        title += " \u2014 " + options.input;
    }
    gtk_window_set_title(GTK_WINDOW(window), title.c_str());
    gtk_window_set_default_size(GTK_WINDOW(window), 800, 600);
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);

    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_box_pack_start(GTK_BOX(box), buildMenuBar(state), FALSE, FALSE, 0);
    GtkWidget* scroller = gtk_scrolled_window_new(nullptr, nullptr);
    state.image = gtk_image_new();
    gtk_container_add(GTK_CONTAINER(scroller), state.image);
    gtk_box_pack_start(GTK_BOX(box), scroller, TRUE, TRUE, 0);
    gtk_container_add(GTK_CONTAINER(window), box);
    showDocument(state);

    gtk_widget_show_all(window);
    gtk_main();
    return 0;
}

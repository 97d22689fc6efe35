#include "host/host_window.h"

#include <gtk/gtk.h>
#include <stdio.h>

#include <cstring>
#include <memory>
#include <string>

#include "host/image_file.h"
#include "host/run_timings.h"
#include "host/undo_history.h"

namespace {

struct DocumentTab {
    std::string path;
    Document document;
    UndoHistory history;
    GtkWidget* image = nullptr;
};

struct WindowState {
    const HostOptions* options = nullptr;
    const std::vector<InstalledFilter>* filters = nullptr;
    std::vector<std::unique_ptr<DocumentTab>> tabs;  // in the order they were opened
    GtkWidget* window = nullptr;
    GtkWidget* notebook = nullptr;
    GtkWidget* undoItem = nullptr;
    RunTimings timings{false};
};

size_t frontIndex(const WindowState& state) {
    const int page = gtk_notebook_get_current_page(GTK_NOTEBOOK(state.notebook));
    return page < 0 ? 0 : static_cast<size_t>(page);
}

std::string fileName(const std::string& path) {
    if (path.empty()) {
        return "Untitled";
    }
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void showDocument(DocumentTab& tab) {
    const Document& document = tab.document;
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
    gtk_image_set_from_pixbuf(GTK_IMAGE(tab.image), pixbuf);
    g_object_unref(pixbuf);
}

// Edit > Undo names the step it takes back, as editors do ("Undo Lumivo"), and is greyed out
// when the document in front has nothing to undo.
void showUndo(WindowState& state, size_t front) {
    const std::optional<std::string> next = state.tabs[front]->history.nextUndo();
    gtk_menu_item_set_label(GTK_MENU_ITEM(state.undoItem),
                            next ? ("Undo " + *next).c_str() : "Undo");
    gtk_widget_set_sensitive(state.undoItem, next.has_value());
}

void showTitle(WindowState& state, size_t front) {
    std::string title = "Lumivo Demo Host";
    if (!state.tabs[front]->path.empty()) {
        title += " \u2014 " + state.tabs[front]->path;
    }
    gtk_window_set_title(GTK_WINDOW(state.window), title.c_str());
}

// The document changed: shown, and saved when asked to.
void documentChanged(WindowState& state, size_t index) {
    DocumentTab& tab = *state.tabs[index];
    showDocument(tab);
    const std::string& saveOnChange = state.options->saveOnChange;
    if (saveOnChange.empty()) {
        return;
    }
    const std::string path = changedDocumentPath(saveOnChange, index);
    if (!savePng(path, tab.document)) {
        fprintf(stderr, "lumivo-host: cannot save %s\n", path.c_str());
    }
}

// The filter index travels as the menu item's data.
void onFilterChosen(GtkMenuItem* item, gpointer data) {
    auto* state = static_cast<WindowState*>(data);
    const auto index =
        static_cast<size_t>(GPOINTER_TO_UINT(g_object_get_data(G_OBJECT(item), "filter-index")));
    const InstalledFilter& filter = state->filters->at(index);
    const size_t front = frontIndex(*state);
    DocumentTab& tab = *state->tabs[front];
    RunTimings& timings = state->timings;
    timings.beginMemoryWindow();
    timings.mark("pressed");

    FilterRunWatch watch;
    if (timings.enabled()) {
        watch.onStep = [&timings](const char* step) { timings.mark(step); };
    }
    watch.beforeChange = [&tab, &filter] { tab.history.record(filter.title, tab.document); };
    const int16 result = runFilter(filter.entry, tab.document, state->options->selection, &watch);
    timings.reportMemory("filter");
    printf("filter result %d\n", static_cast<int>(result));
    fflush(stdout);
    if (watch.changed) {
        documentChanged(*state, front);
        timings.mark("shown");
        showUndo(*state, front);
    }
}

void onUndo(GtkMenuItem*, gpointer data) {
    auto* state = static_cast<WindowState*>(data);
    const size_t front = frontIndex(*state);
    DocumentTab& tab = *state->tabs[front];
    const std::optional<std::string> step = tab.history.nextUndo();
    if (!step || !tab.history.undo(tab.document)) {
        return;
    }
    printf("undo %s\n", step->c_str());
    fflush(stdout);
    documentChanged(*state, front);
    showUndo(*state, front);
}

void onWindowChosen(GtkMenuItem* item, gpointer data) {
    auto* state = static_cast<WindowState*>(data);
    const int page =
        static_cast<int>(GPOINTER_TO_UINT(g_object_get_data(G_OBJECT(item), "document-index")));
    gtk_notebook_set_current_page(GTK_NOTEBOOK(state->notebook), page);
}

void onPageSwitched(GtkNotebook*, GtkWidget*, guint page, gpointer data) {
    auto* state = static_cast<WindowState*>(data);
    showUndo(*state, page);
    showTitle(*state, page);
}

void onQuit(GtkMenuItem*, gpointer data) {
    gtk_widget_destroy(static_cast<WindowState*>(data)->window);
}

GtkWidget* addMenu(GtkWidget* bar, const char* title) {
    GtkWidget* item = gtk_menu_item_new_with_label(title);
    GtkWidget* menu = gtk_menu_new();
    gtk_menu_item_set_submenu(GTK_MENU_ITEM(item), menu);
    gtk_menu_shell_append(GTK_MENU_SHELL(bar), item);
    return menu;
}

GtkWidget* addItem(GtkWidget* menu, const std::string& label, GCallback chosen,
                   WindowState& state) {
    GtkWidget* item = gtk_menu_item_new_with_label(label.c_str());
    g_signal_connect(item, "activate", chosen, &state);
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
    return item;
}

GtkWidget* buildMenuBar(WindowState& state) {
    GtkWidget* bar = gtk_menu_bar_new();
    addItem(addMenu(bar, "File"), "Quit", G_CALLBACK(onQuit), state);
    state.undoItem = addItem(addMenu(bar, "Edit"), "Undo", G_CALLBACK(onUndo), state);
    GtkWidget* filters = addMenu(bar, "Filters");
    for (size_t i = 0; i < state.filters->size(); ++i) {
        GtkWidget* item =
            addItem(filters, (*state.filters)[i].title, G_CALLBACK(onFilterChosen), state);
        g_object_set_data(G_OBJECT(item), "filter-index", GUINT_TO_POINTER(i));
    }
    GtkWidget* windows = addMenu(bar, "Windows");
    for (size_t i = 0; i < state.tabs.size(); ++i) {
        GtkWidget* item =
            addItem(windows, fileName(state.tabs[i]->path), G_CALLBACK(onWindowChosen), state);
        g_object_set_data(G_OBJECT(item), "document-index", GUINT_TO_POINTER(i));
    }
    return bar;
}

}  // namespace

int runHostWindow(const HostOptions& options, std::vector<OpenDocument> documents,
                  const std::vector<InstalledFilter>& filters) {
    WindowState state;
    state.options = &options;
    state.filters = &filters;
    state.timings = RunTimings(options.timings);
    for (OpenDocument& opened : documents) {
        auto tab = std::make_unique<DocumentTab>();
        tab->path = std::move(opened.path);
        tab->document = std::move(opened.document);
        state.tabs.push_back(std::move(tab));
    }

    state.window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(state.window), 800, 600);
    g_signal_connect(state.window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);

    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_box_pack_start(GTK_BOX(box), buildMenuBar(state), FALSE, FALSE, 0);
    state.notebook = gtk_notebook_new();
    for (auto& tab : state.tabs) {
        GtkWidget* scroller = gtk_scrolled_window_new(nullptr, nullptr);
        tab->image = gtk_image_new();
        gtk_container_add(GTK_CONTAINER(scroller), tab->image);
        gtk_notebook_append_page(GTK_NOTEBOOK(state.notebook), scroller,
                                 gtk_label_new(fileName(tab->path).c_str()));
        showDocument(*tab);
    }
    gtk_box_pack_start(GTK_BOX(box), state.notebook, TRUE, TRUE, 0);
    gtk_container_add(GTK_CONTAINER(state.window), box);
    showUndo(state, 0);
    showTitle(state, 0);
    g_signal_connect(state.notebook, "switch-page", G_CALLBACK(onPageSwitched), &state);

    gtk_widget_show_all(state.window);
    gtk_main();
    return 0;
}

// lumivo-host: a small photo editor that loads filter plug-ins the way an editor does.

#include <gtk/gtk.h>
#include <stdio.h>

#include "host/filter_catalog.h"
#include "host/filter_driver.h"
#include "host/host_options.h"
#include "host/host_window.h"
#include "host/image_file.h"
#include "platform/bundle.h"

namespace {

constexpr int kUsageStatus = 2;
constexpr int kFailureStatus = 1;

std::string defaultPluginFolder() {
    const std::string bundle = mainBundlePath();
    const size_t slash = bundle.rfind('/');
    return slash == std::string::npos ? std::string(".") : bundle.substr(0, slash);
}

Document blankDocument(int channels) {
    Document document = makeDocument(640, 480, channels);
    std::fill(document.pixels.begin(), document.pixels.end(), 0xFF);
    return document;
}

int runHeadless(const HostOptions& options, const std::vector<InstalledFilter>& filters,
                Document& document) {
    for (const InstalledFilter& filter : filters) {
        if (filter.title != options.filterTitle) {
            continue;
        }
        const int16 result = runFilter(filter.entry, document, options.selection);
        printf("filter result %d\n", static_cast<int>(result));
        fflush(stdout);
        if (!savePng(options.output, document)) {
            fprintf(stderr, "lumivo-host: cannot write %s\n", options.output.c_str());
            return kFailureStatus;
        }
        return 0;
    }
    fprintf(stderr, "lumivo-host: no filter titled \"%s\"\n", options.filterTitle.c_str());
    return kFailureStatus;
}

}  // namespace

int main(int argc, char** argv) {
    std::optional<HostOptions> options = parseHostOptions(argc, argv);
    if (!options) {
        fputs(kHostUsage, stderr);
        return kUsageStatus;
    }
    const int channels = options->transparency ? 4 : 3;
    std::vector<OpenDocument> documents;
    for (const std::string& input : options->inputs) {
        std::optional<Document> opened = openImage(input, options->transparency);
        if (!opened) {
            fprintf(stderr, "lumivo-host: cannot open %s\n", input.c_str());
            return kFailureStatus;
        }
        documents.push_back(OpenDocument{input, std::move(*opened)});
    }
    if (documents.empty()) {
        documents.push_back(OpenDocument{"", blankDocument(channels)});
    }
    const std::string folder =
        options->pluginFolder.empty() ? defaultPluginFolder() : options->pluginFolder;
    const std::vector<InstalledFilter> filters = loadFilters(folder);

    if (options->headless) {
        return runHeadless(*options, filters, documents[0].document);
    }
    if (!gtk_init_check(&argc, &argv)) {
        fprintf(stderr, "lumivo-host: no display\n");
        return kFailureStatus;
    }
    return runHostWindow(*options, std::move(documents), filters);
}

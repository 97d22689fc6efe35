// lumivo-service: the reference service that the demo and the tests run. It is not part of
// either deliverable. It prints "READY" on standard output once it listens, and ends on
// SIGTERM or SIGINT.
#include <glib-unix.h>
#include <unistd.h>

#include <cstdio>
#include <optional>
#include <string>

#include "service/reference_service.h"

int main(int argc, char** argv) {
    std::optional<ServiceSettings> settings = parseServiceSettings(argc, argv);
    if (!settings) {
        std::fputs(kServiceUsage, stderr);
        return 2;
    }
    static ReferenceService service(*settings);
    std::string error;
    if (!service.start(error)) {
        std::fprintf(stderr, "lumivo-service: %s\n", error.c_str());
        return 1;
    }
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    auto quit = [](gpointer data) -> gboolean {
        g_main_loop_quit(static_cast<GMainLoop*>(data));
        return G_SOURCE_REMOVE;
    };
    g_unix_signal_add(SIGTERM, quit, loop);
    g_unix_signal_add(SIGINT, quit, loop);
    std::printf("READY %s:%d\n", settings->address.c_str(), settings->port);
    std::fflush(stdout);
    g_main_loop_run(loop);
    // Effects still under way are not waited for.
    std::fflush(nullptr);
    _exit(0);
}

#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gio/gio.h>

// Helpers for integration tests that run real desktop parts: child processes the test owns
// and a private session bus per test process. Test thread only.
namespace test_processes {

// Waits (iterating the default main context) until `done` holds or the deadline passes. This
// bounds a wait for another process; it is not a timing assertion.
inline bool waitUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        if (!g_main_context_iteration(nullptr, FALSE)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    return true;
}

// A child process with pipes to its standard input and output; terminated and reaped when the
// object goes.
class Child {
  public:
    static std::optional<Child> start(const std::vector<std::string>& argv) {
        std::vector<char*> args;
        for (const auto& arg : argv) {
            args.push_back(const_cast<char*>(arg.c_str()));
        }
        args.push_back(nullptr);
        Child child;
        GError* error = nullptr;
        const gboolean started = g_spawn_async_with_pipes(
            nullptr, args.data(), nullptr,
            static_cast<GSpawnFlags>(G_SPAWN_DO_NOT_REAP_CHILD | G_SPAWN_SEARCH_PATH), nullptr,
            nullptr, &child.pid_, &child.in_, &child.out_, nullptr, &error);
        g_clear_error(&error);
        if (!started) {
            return std::nullopt;
        }
        return child;
    }

    Child(Child&& other) noexcept { *this = std::move(other); }
    Child& operator=(Child&& other) noexcept {
        std::swap(pid_, other.pid_);
        std::swap(in_, other.in_);
        std::swap(out_, other.out_);
        std::swap(buffer_, other.buffer_);
        return *this;
    }
    ~Child() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
        closeInput();
        if (out_ >= 0) {
            close(out_);
        }
    }

    void write(const std::string& text) {
        if (::write(in_, text.data(), text.size()) < 0) {
            return;
        }
    }
    void closeInput() {
        if (in_ >= 0) {
            close(in_);
            in_ = -1;
        }
    }

    // One line of standard output, without its newline; nothing at the deadline or end.
    std::optional<std::string> readLine(
        std::chrono::milliseconds limit = std::chrono::seconds(20)) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        for (;;) {
            const auto newline = buffer_.find('\n');
            if (newline != std::string::npos) {
                std::string line = buffer_.substr(0, newline);
                buffer_.erase(0, newline + 1);
                return line;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                return std::nullopt;
            }
            pollfd fd{out_, POLLIN, 0};
            if (poll(&fd, 1, static_cast<int>(left.count())) <= 0) {
                continue;
            }
            char chunk[4096];
            const ssize_t got = read(out_, chunk, sizeof chunk);
            if (got <= 0) {
                return std::nullopt;
            }
            buffer_.append(chunk, static_cast<size_t>(got));
        }
    }

    GPid pid() const { return pid_; }

  private:
    Child() = default;
    GPid pid_ = 0;
    int in_ = -1;
    int out_ = -1;
    std::string buffer_;
};

inline std::string makeTempDir() {
    char pattern[] = "/tmp/lumivo-test-XXXXXX";
    const char* made = mkdtemp(pattern);
    return made ? made : "";
}

inline void removeTree(const std::string& dir) {
    if (dir.size() > 5) {
        std::string command = "rm -rf '" + dir + "'";
        if (std::system(command.c_str()) != 0) {
            return;
        }
    }
}

// A session bus of this test process alone, without service activation, made the process's
// session bus. It lives until the process ends; GLib's shared connection to it is kept from
// ending the process when the bus goes.
class PrivateBus {
  public:
    static PrivateBus& get() {
        static PrivateBus bus;
        return bus;
    }
    bool ok() const { return !address_.empty(); }
    const std::string& address() const { return address_; }
    const std::string& dir() const { return dir_; }

    bool nameHasOwner(const char* name) {
        GVariant* reply = g_dbus_connection_call_sync(
            connection_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
            "NameHasOwner", g_variant_new("(s)", name), G_VARIANT_TYPE("(b)"),
            G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr);
        gboolean owned = FALSE;
        if (reply != nullptr) {
            g_variant_get(reply, "(b)", &owned);
            g_variant_unref(reply);
        }
        return owned;
    }

  private:
    PrivateBus() {
        dir_ = makeTempDir();
        const std::string config = dir_ + "/bus.conf";
        std::ofstream(config) << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus "
                                 "Configuration 1.0//EN\" "
                                 "\"http://www.freedesktop.org/standards/dbus/1.0/"
                                 "busconfig.dtd\">\n"
                                 "<busconfig><type>session</type>"
                                 "<listen>unix:dir="
                              << dir_
                              << "</listen><policy context=\"default\">"
                                 "<allow send_destination=\"*\" eavesdrop=\"true\"/>"
                                 "<allow eavesdrop=\"true\"/><allow own=\"*\"/>"
                                 "</policy></busconfig>\n";
        daemon_ = Child::start(
            {"dbus-daemon", "--config-file=" + config, "--nofork", "--print-address=1"});
        if (!daemon_) {
            return;
        }
        auto address = daemon_->readLine();
        if (!address || address->empty()) {
            return;
        }
        setenv("DBUS_SESSION_BUS_ADDRESS", address->c_str(), 1);
        connection_ = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
        if (connection_ == nullptr) {
            return;
        }
        g_dbus_connection_set_exit_on_close(connection_, FALSE);
        address_ = *address;
    }

    std::string dir_;
    std::string address_;
    std::optional<Child> daemon_;
    GDBusConnection* connection_ = nullptr;
};

}  // namespace test_processes

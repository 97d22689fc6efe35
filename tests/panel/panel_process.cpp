#include "panel_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

extern char** environ;

ChildProcess::ChildProcess(const std::string& executable, const std::vector<std::string>& arguments,
                           const std::vector<std::string>& extraEnvironment, int collected) {
    int pipeFds[2];
    int inputFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0 || ::pipe2(inputFds, O_CLOEXEC) != 0) {
        return;
    }
    std::vector<char*> argp{const_cast<char*>(executable.c_str())};
    for (const auto& argument : arguments) {
        argp.push_back(const_cast<char*>(argument.c_str()));
    }
    argp.push_back(nullptr);
    std::vector<char*> envp;
    for (const auto& entry : extraEnvironment) {
        envp.push_back(const_cast<char*>(entry.c_str()));  // found before an inherited one
    }
    for (char** entry = environ; *entry != nullptr; ++entry) {
        envp.push_back(*entry);
    }
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], collected);
    posix_spawn_file_actions_adddup2(&actions, inputFds[0], STDIN_FILENO);
    if (posix_spawnp(&pid_, executable.c_str(), &actions, nullptr, argp.data(), envp.data()) != 0) {
        pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    ::close(inputFds[0]);
    input_ = inputFds[1];
    reader_ = std::thread([this, fd = pipeFds[0]] { readOutput(fd); });
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0 && !status_) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    closeInput();
    // The web engine's helpers may hold the pipe open a moment longer; the reader ends at EOF.
    if (reader_.joinable()) {
        reader_.join();
    }
}

void ChildProcess::write(const std::string& text) {
    if (::write(input_, text.data(), text.size()) < 0) {
        return;
    }
}

void ChildProcess::closeInput() {
    if (input_ >= 0) {
        ::close(input_);
        input_ = -1;
    }
}

void ChildProcess::readOutput(int fd) {
    char buffer[65536];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) {
        std::lock_guard lock(mutex_);
        partial_.append(buffer, static_cast<size_t>(n));
        for (size_t newline; (newline = partial_.find('\n')) != std::string::npos;) {
            lines_.push_back(partial_.substr(0, newline));
            partial_.erase(0, newline + 1);
        }
        changed_.notify_all();
    }
    ::close(fd);
    std::lock_guard lock(mutex_);
    if (!partial_.empty()) {
        lines_.push_back(partial_);
    }
    closed_ = true;
    changed_.notify_all();
}

std::optional<std::string> ChildProcess::readLine(std::chrono::milliseconds limit) {
    return await(limit, [this]() -> std::optional<std::string> {
        return read_ < lines_.size() ? std::optional(lines_[read_++]) : std::nullopt;
    });
}

std::optional<std::string> ChildProcess::waitForLine(const std::string& text,
                                                     std::chrono::seconds limit) {
    return await(limit, [&]() -> std::optional<std::string> {
        for (const auto& line : lines_) {
            if (line.find(text) != std::string::npos) {
                return line;
            }
        }
        return std::nullopt;
    });
}

std::optional<std::string> ChildProcess::await(
    std::chrono::milliseconds limit, const std::function<std::optional<std::string>()>& find) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    std::unique_lock lock(mutex_);
    for (;;) {
        if (auto line = find()) {
            return line;
        }
        if (closed_) {
            return std::nullopt;
        }
        // Woken by every new line; the short wait also notices a process that ended while one
        // of its helpers (the web engine's, say) still holds the pipe.
        changed_.wait_for(lock, std::chrono::milliseconds(200));
        auto now = std::chrono::steady_clock::now();
        if (now > deadline) {
            return find();
        }
        lock.unlock();
        bool alive = running();
        lock.lock();
        if (!alive) {
            // What the process wrote before it ended is read within moments.
            deadline = std::min(deadline, now + std::chrono::seconds(2));
        }
    }
}

bool ChildProcess::running() {
    if (pid_ <= 0 || status_) {
        return false;
    }
    int status = 0;
    pid_t done = ::waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return false;
    }
    return true;
}

std::optional<int> ChildProcess::waitForExit(std::chrono::seconds limit) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (running()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return status_;
}

std::vector<std::string> ChildProcess::lines() {
    std::lock_guard lock(mutex_);
    return lines_;
}

std::string ChildProcess::allOutput() {
    std::string out;
    for (const auto& line : lines()) {
        out += line + "\n";
    }
    return out;
}

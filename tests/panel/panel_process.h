#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// A program run as a child for a test (found on PATH when the name has no slash): its standard
// input a pipe, one of its outputs (standard error unless told) collected line by line. Killed
// and reaped when the object goes, if it is still running. Test thread only.
class ChildProcess {
  public:
    ChildProcess(const std::string& executable, const std::vector<std::string>& arguments,
                 const std::vector<std::string>& extraEnvironment = {},
                 int collected = STDERR_FILENO);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Above zero once started.
    pid_t pid() const { return pid_; }
    void write(const std::string& text);
    void closeInput();

    // The next line not returned before, waiting for it; none when the output ended, or the
    // limit passed, without one.
    std::optional<std::string> readLine(std::chrono::milliseconds limit = std::chrono::seconds(20));
    // The first line of all that contains `text`, waiting for it in the same way.
    std::optional<std::string> waitForLine(const std::string& text,
                                           std::chrono::seconds limit = std::chrono::seconds(60));
    // The exit status, waiting for the end; none when it did not end (normally) in time.
    std::optional<int> waitForExit(std::chrono::seconds limit = std::chrono::seconds(30));
    // Whether it still runs right now.
    bool running();
    std::vector<std::string> lines();
    std::string allOutput();

  private:
    void readOutput(int fd);
    std::optional<std::string> await(std::chrono::milliseconds limit,
                                     const std::function<std::optional<std::string>()>& find);

    pid_t pid_ = -1;
    int input_ = -1;
    std::optional<int> status_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> lines_;
    size_t read_ = 0;
    std::string partial_;
    bool closed_ = false;
    std::thread reader_;
};

// The panel program, its standard error collected.
using PanelProcess = ChildProcess;

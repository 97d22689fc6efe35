#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// The panel program run as a child for a test, its standard error collected line by line.
// Killed and reaped when the object goes, if it is still running. Test thread only.
class PanelProcess {
  public:
    PanelProcess(const std::string& executable, const std::vector<std::string>& arguments,
                 const std::vector<std::string>& extraEnvironment = {});
    ~PanelProcess();
    PanelProcess(const PanelProcess&) = delete;
    PanelProcess& operator=(const PanelProcess&) = delete;

    pid_t pid() const { return pid_; }

    // The first line of standard error that contains `text`, waiting for it to come; none when
    // the process ended, or the limit passed, without one.
    std::optional<std::string> waitForLine(const std::string& text,
                                           std::chrono::seconds limit = std::chrono::seconds(60));
    // The exit status, waiting for the end; none when it did not end (normally) in time.
    std::optional<int> waitForExit(std::chrono::seconds limit = std::chrono::seconds(30));
    // Whether it still runs right now.
    bool running();
    std::vector<std::string> lines();
    std::string allOutput();

  private:
    void readErrors(int fd);

    pid_t pid_ = -1;
    std::optional<int> status_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> lines_;
    std::string partial_;
    bool closed_ = false;
    std::thread reader_;
};

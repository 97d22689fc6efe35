// open <bundle> --args [argument...]
//
// Starts the bundle's executable (Contents/Linux/<Executable> of its Info.ini) with the given
// arguments, detached in a session of its own, so the caller never has to reap it. Exits 0 once
// the executable has been exec'd, non-zero when it could not be started.

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/bundle.h"

namespace {

constexpr int kUsageError = 2;
constexpr int kStartError = 1;

void writeAll(int fd, const void* data, size_t length) {
    const char* bytes = static_cast<const char*>(data);
    while (length > 0) {
        ssize_t n = ::write(fd, bytes, length);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;
        }
        bytes += n;
        length -= static_cast<size_t>(n);
    }
}

// The panel starts clean, as an application started by the desktop: no signal blocked or
// ignored from the host, standard streams on /dev/null (so nobody reading the host's output
// waits for the panel to end), no other descriptor of the host's but the report pipe (which
// closes on exec).
void resetInheritedState(int keepFd) {
    int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null >= 0) {
        ::dup2(null, STDIN_FILENO);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        if (null > STDERR_FILENO && null != keepFd) {
            ::close(null);
        }
    }
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    for (int signal = 1; signal < NSIG; ++signal) {
        if (signal != SIGKILL && signal != SIGSTOP) {
            ::signal(signal, SIG_DFL);
        }
    }
    if (keepFd > 3) {
        ::close_range(3, static_cast<unsigned>(keepFd - 1), 0);
    }
    ::close_range(static_cast<unsigned>(keepFd + 1), ~0U, 0);
}

// Runs in the grandchild: never returns. Reports the exec's error number through the pipe.
[[noreturn]] void execPanel(const std::string& executable, std::vector<char*>& argv, int report) {
    resetInheritedState(report);
    ::execv(executable.c_str(), argv.data());
    int error = errno;
    writeAll(report, &error, sizeof error);
    ::_exit(127);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || strcmp(argv[2], "--args") != 0) {
        fprintf(stderr, "usage: open <bundle> --args [argument...]\n");
        return kUsageError;
    }
    const std::string bundle = argv[1];
    std::optional<BundleInfo> info = readBundleInfo(bundle);
    if (!info || info->executable.empty() || info->executable.find('/') != std::string::npos ||
        info->executable == "." || info->executable == "..") {
        fprintf(stderr, "open: %s is not an application bundle\n", bundle.c_str());
        return kStartError;
    }
    const std::string executable = bundle + "/Contents/Linux/" + info->executable;

    std::vector<char*> childArgv;
    childArgv.push_back(const_cast<char*>(executable.c_str()));
    for (int i = 3; i < argc; ++i) {
        childArgv.push_back(argv[i]);
    }
    childArgv.push_back(nullptr);

    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        perror("open: pipe");
        return kStartError;
    }
    const pid_t middle = ::fork();
    if (middle < 0) {
        perror("open: fork");
        return kStartError;
    }
    if (middle == 0) {
        // The middle child leads a new session and leaves at once, so the panel is nobody's
        // child: init reaps it.
        ::close(pipeFds[0]);
        ::setsid();
        const pid_t panel = ::fork();
        if (panel < 0) {
            int error = errno;
            writeAll(pipeFds[1], &error, sizeof error);
            ::_exit(kStartError);
        }
        if (panel == 0) {
            execPanel(executable, childArgv, pipeFds[1]);
        }
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    int status = 0;
    while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }
    // The write end closes on exec, or with the grandchild's exit: then the read returns.
    int error = 0;
    ssize_t got = 0;
    do {
        got = ::read(pipeFds[0], &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    ::close(pipeFds[0]);
    if (got > 0) {
        fprintf(stderr, "open: cannot start %s: %s\n", executable.c_str(), strerror(error));
        return kStartError;
    }
    if (got < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        fprintf(stderr, "open: cannot start %s\n", executable.c_str());
        return kStartError;
    }
    return 0;
}

#include "panel/app/input_intake.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <new>
#include <system_error>

#include "imaging/png.h"
#include "plugin/spool.h"

std::atomic<int32_t> gHostPid{0};

namespace fs = std::filesystem;

int32_t hostPidFromArgument(const char* text) {
    errno = 0;
    long long value = std::strtoll(text, nullptr, 10);
    if (errno == ERANGE || value < std::numeric_limits<int32_t>::min() ||
        value > std::numeric_limits<int32_t>::max()) {
        return 0;
    }
    return static_cast<int32_t>(value);
}

std::optional<std::string> newestSpooledInput(const spool::Directory& directory) {
    std::optional<spool::Entry> newest = spool::newestFile(directory, spool::kInputPrefix);
    if (!newest) {
        return std::nullopt;
    }
    return std::move(newest->name);
}

void sweepInputs(const spool::Directory& directory) {
    spool::removeFiles(directory, spool::kInputPrefix);
}

FramePng decodeFramePng(std::vector<uint8_t> bytes) {
    png::DecodedFile decoded = png::decodeFile(bytes.data(), bytes.size());
    FramePng frame{std::move(decoded.image), nullptr,
                   picture_mark::find(bytes.data(), bytes.size()).mark};
    if (decoded.standsForEncode) {
        frame.file = std::make_shared<const std::vector<uint8_t>>(std::move(bytes));
    }
    return frame;
}

void loadInputFrame(PanelState& handler, const spool::Directory& directory, const std::string& name,
                    FrameSource source, FrameArrival arrival) {
    std::optional<std::vector<uint8_t>> bytes = spool::readWhole(directory, name);
    // The file is the panel's to remove once taken, readable or not.
    spool::removeFile(directory, name);
    if (!bytes) {
        return;
    }
    FramePng frame = decodeFramePng(std::move(*bytes));
    bytes.reset();
    if (frame.image.empty()) {
        return;
    }
    handler.retargetAtInput(std::move(frame.image), std::move(source), std::move(frame.file),
                            frame.mark, arrival);
}

std::string resolvedStandardPath(const std::string& path) {
    std::error_code error;
    fs::path resolved = fs::weakly_canonical(fs::path(path), error);
    if (error) {
        resolved = fs::absolute(fs::path(path), error).lexically_normal();
        if (error) {
            resolved = fs::path(path).lexically_normal();
        }
    }
    std::string text = resolved.string();
    while (text.size() > 1 && text.back() == '/') {
        text.pop_back();
    }
    return text;
}

namespace {

std::string parentOf(const std::string& path) {
    std::string parent = fs::path(path).parent_path().string();
    return parent.empty() ? std::string("/") : parent;
}

std::string lastComponentOf(const std::string& path) {
    return fs::path(path).filename().string();
}

}  // namespace

std::optional<spool::Directory> acceptedSpoolDirectory(const std::string& commandLine) {
    fs::path given = fs::path(commandLine).lexically_normal();
    if (given.filename().empty()) {
        given = given.parent_path();  // a trailing separator
    }
    const std::string name = given.filename().string();
    if (!given.is_absolute() || name.empty() || name == "." || name == "..") {
        return std::nullopt;
    }
    const std::string root = resolvedStandardPath(spool::root());
    if (resolvedStandardPath(given.parent_path().string()) != root) {
        return std::nullopt;
    }
    return std::move(spool::checkDirectory(root + "/" + name).directory);
}

SendObserver::SendObserver(std::string commandLineSpoolDirectory, LumivoPanelHandler& handler,
                           std::weak_ptr<PanelWindow> window, RunningApps& runningApps,
                           TaskQueue& intakeQueue)
    : commandLineSpoolDirectory_(std::move(commandLineSpoolDirectory)),
      handler_(handler),
      window_(std::move(window)),
      runningApps_(runningApps),
      intakeQueue_(intakeQueue) {}

void SendObserver::onSend(const ReceivedAnnouncement& announcement) {
    if (!announcement.input || announcement.input->empty()) {
        return;
    }
    const std::string inputPath = resolvedStandardPath(*announcement.input);
    const std::string inputDirectory = parentOf(inputPath);
    // The root is worked out afresh each time: a link on the way may have been changed.
    const std::string spoolRoot = parentOf(resolvedStandardPath(commandLineSpoolDirectory_));
    if (parentOf(inputDirectory) != spoolRoot) {
        return;
    }
    const fs::path name = fs::path(inputPath).filename();
    if (name.string().rfind(spool::kInputPrefix, 0) != 0 || name.extension() != ".png") {
        return;
    }
    // A sibling directory someone else controls is no place to take inputs from or put results.
    // The input is read and removed through the handle the check opened.
    spool::CheckedDirectory checked = spool::checkDirectory(inputDirectory);
    if (!checked.directory) {
        return;
    }
    auto directory = std::make_shared<const spool::Directory>(std::move(*checked.directory));

    handler_.setSpoolDirectory(inputDirectory);

    // Only a live process of the application the input came from is believed to be the host.
    if (announcement.hostPid && *announcement.hostPid > 0 &&
        *announcement.hostPid <= std::numeric_limits<int32_t>::max()) {
        auto pid = static_cast<int32_t>(*announcement.hostPid);
        std::optional<RunningApp> app = runningApps_.withPid(pid);
        if (app && !app->bundleIdentifier.empty() &&
            app->bundleIdentifier == lastComponentOf(inputDirectory)) {
            gHostPid.exchange(pid);
            if (follow_) {
                follow_(pid);
            }
        }
    }

    // An input sent without bringing the window forward is what the editor applied; any other is
    // a picture handed over.
    const bool activate = announcement.activate.value_or(true);
    const FrameArrival arrival = activate ? FrameArrival::kHandedOff : FrameArrival::kApplied;
    FrameSource source{gHostPid.load(), inputDirectory};
    intakeQueue_.post(
        [this, directory, name = name.string(), source = std::move(source), arrival]() mutable {
            loadInputFrame(handler_, *directory, name, std::move(source), arrival);
        });

    if (activate) {
        if (auto window = window_.lock()) {
            window->present();
        }
    }
}

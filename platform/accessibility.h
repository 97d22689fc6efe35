#pragma once

#include <sys/types.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

// What the menu search sees of another application's user interface, through the desktop's
// accessibility interface. Apply queue only: every call blocks on the other process.
// Failures are return values: an absent handle, an absent list, EnabledRead::kError, false.

// One element reference. Destroying the handle releases the reference; each handle that a call
// returns is the receiver's own. Handles of one Accessibility are only passed back to it.
class AxElement {
  public:
    virtual ~AxElement() = default;
};
using AxHandle = std::unique_ptr<AxElement>;

struct EnabledRead {
    enum Outcome {
        kError,   // the read failed
        kAbsent,  // the read succeeded with no value, or with one that isn't a boolean
        kValue,   // `value` holds the flag
    };
    Outcome outcome = kError;
    bool value = false;
};

class Accessibility {
  public:
    virtual ~Accessibility() = default;
    // The application element of the process; null when the process shows none.
    virtual AxHandle application(pid_t pid) = 0;
    // The application's menu bar; null when it has none or it can't be read.
    virtual AxHandle menuBar(const AxElement& application) = 0;
    // The children in order; none when the read fails.
    virtual std::optional<std::vector<AxHandle>> children(const AxElement& element) = 0;
    // The title; none when it is absent or not a string.
    virtual std::optional<std::string> title(const AxElement& element) = 0;
    virtual EnabledRead enabled(const AxElement& element) = 0;
    // Performs the element's press action; false when that fails.
    virtual bool press(const AxElement& element) = 0;
};

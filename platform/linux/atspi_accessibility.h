#pragma once

#include "platform/accessibility.h"
#include "platform/linux/atspi_bus.h"

// Accessibility over AT-SPI 2, spoken directly on a private connection to the accessibility
// bus. The application of a process is the desktop's child whose bus connection belongs to
// that process; its menu bar is the first descendant with the menu-bar role, breadth first;
// the title is the accessible name; enabled means both the sensitive and the enabled state;
// the press is the action named "click", chosen by name.
// Not libatspi: it shares one connection with the toolkit's accessibility bridge of this very
// process and dispatches that bridge's messages on whichever thread calls it, which is unsafe
// off the main thread. Apply queue only (one thread at a time); every call blocks on the
// other process, at most kCallTimeoutMs per round trip.
class AtspiAccessibility final : public Accessibility {
  public:
    static constexpr int kCallTimeoutMs = 5000;

    AxHandle application(pid_t pid) override;
    AxHandle menuBar(const AxElement& application) override;
    std::optional<std::vector<AxHandle>> children(const AxElement& element) override;
    std::optional<std::string> title(const AxElement& element) override;
    EnabledRead enabled(const AxElement& element) override;
    bool press(const AxElement& element) override;

  private:
    // The connection, opened on first use and again after it was lost; null when the bus
    // can't be reached.
    GDBusConnection* bus();
    // A method call's reply, or null on any error (the reply must match `replyType`).
    GVariant* call(const std::string& busName, const std::string& path, const char* interface,
                   const char* method, GVariant* parameters, const char* replyType);

    atspi_bus::ConnectionPtr connection_;
};

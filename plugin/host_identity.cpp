#include "plugin/host_identity.h"

#include <stdlib.h>
#include <unistd.h>

#include <charconv>
#include <cstdint>
#include <cstring>

#include "platform/bundle.h"
#include "platform/linux/editor_programs.h"
#include "platform/linux/proc_executable.h"

namespace {

// Decimal digits only, no sign, no spaces, a positive 32-bit value; else 0.
pid_t parseClaim(const char* text) {
    const size_t length = std::strlen(text);
    if (length == 0 || text[0] < '0' || text[0] > '9') {
        return 0;
    }
    int32_t value = 0;
    const auto [end, error] = std::from_chars(text, text + length, value);
    if (error != std::errc() || end != text + length || value <= 0) {
        return 0;
    }
    return static_cast<pid_t>(value);
}

}  // namespace

HostIdentity identifyHost(const HostProcessFacts& facts) {
    if (facts.editorPidClaim != nullptr && facts.parent > 0 && facts.editorIdentifierOf) {
        // The parent, not just any process: a bridge is started by its editor, and a parent
        // can't be swapped for another process while this one runs.
        const pid_t claimed = parseClaim(facts.editorPidClaim);
        if (claimed == facts.parent) {
            std::string identifier = facts.editorIdentifierOf(claimed);
            if (!identifier.empty()) {
                return HostIdentity{claimed, std::move(identifier)};
            }
        }
    }
    return HostIdentity{facts.self, facts.ownBundleIdentifier};
}

HostIdentity currentHostIdentity() {
    HostProcessFacts facts;
    facts.self = ::getpid();
    facts.parent = ::getppid();
    facts.editorPidClaim = ::getenv(kEditorPidVariable);
    facts.ownBundleIdentifier = mainBundleIdentifier();
    facts.editorIdentifierOf = [](pid_t pid) {
        return editorProgramIdentifier(processExecutable(pid));
    };
    return identifyHost(facts);
}

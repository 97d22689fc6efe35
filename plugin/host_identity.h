#pragma once

#include <sys/types.h>

#include <functional>
#include <string>

// Which editor the filter works for: the process whose menu the panel presses, and the
// identifier that names the editor's spool directory.
struct HostIdentity {
    pid_t pid = 0;
    std::string identifier;  // "" when there is none (the spool directory is "unknown-host")
};

// A bridge, a helper process that an editor starts to run the filter on its behalf, names its
// editor by setting this variable of its own environment to the editor's process id before it
// loads the filter. The claim is checked, never simply believed (identifyHost).
inline constexpr char kEditorPidVariable[] = "LUMIVO_EDITOR_PID";

// What identifyHost looks at; currentHostIdentity fills it in from the real process.
struct HostProcessFacts {
    pid_t self = 0;
    pid_t parent = 0;
    const char* editorPidClaim = nullptr;  // the variable's value; null when it is not set
    std::string ownBundleIdentifier;       // of the bundle enclosing this process's program
    // The identifier of the editor program a process runs (looked up by its /proc executable),
    // or "" when it runs none of the known editors.
    std::function<std::string(pid_t)> editorIdentifierOf;
};

// The claimed editor is believed only when the claim is exactly the decimal id of this
// process's parent and that parent runs a known editor program; the identifier is then the
// program's own, never anything the environment says. Otherwise the host is this process under
// its own bundle's identifier, as for every editor that loads the filter itself.
HostIdentity identifyHost(const HostProcessFacts& facts);

// identifyHost for this process. Any thread; reads the environment and /proc.
HostIdentity currentHostIdentity();

#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "imaging/pixel_buffer.h"
#include "plugin/filter_start.h"
#include "plugin/picture_mark.h"
#include "plugin/spool.h"

// What one filter run needs from outside. Borrowed for one call.
struct FilterRunContext {
    std::string spoolDirectory;
    std::function<double()> wallSeconds;  // seconds since 1970
    // sendInputToPanel with its ports bound: `file` is a PNG of the picture that `mark` marks.
    std::function<bool(const spool::Directory& directory, std::vector<uint8_t> file,
                       const PictureMark& mark, bool activate)>
        handOff;
    // Receives the reason when the run fails without a hand-off; may be empty.
    std::function<void(const std::string& reason)> reportFailure;
};

// A result file modified longer ago than this is never applied.
inline constexpr double kStaleResultSeconds = 900.0;

// One filter run: applies the newest fresh result file through `write` (0), or hands the input
// to the panel (1), or fails (2). A spool directory that checkDirectory refuses fails the run
// before anything is read, written or removed, and every file operation after the check goes
// through the handle it opened. A result marked for another picture than `mark` is left in the
// spool for that picture and the input is handed off instead; an unmarked one is applied. A
// result is removed before it is used and is not applied when it can't be removed, so no result
// is ever applied twice. Never waits for the panel.
// A run that applies a result lets the input's pixels go before it decodes the result, and
// passes a result file that holds exactly the output on to the panel as it is.
// Calling thread; blocks for the file work and the hand-off.
int filterInvoke(PixelBuffer input, const PictureMark& mark, const HostWrite& write,
                 const FilterRunContext& context);

// The filter run wired to this process: its host's spool directory, the real clock, bus,
// process table and launcher, the plug-in's own bundle.
int LumivoFilterInvoke(PixelBuffer input, const PictureMark& mark, const HostWrite& write);

#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "imaging/pixel_buffer.h"
#include "plugin/picture_mark.h"

// The editor a frame came from: the host process as the panel knew it when the frame arrived
// (0 or less when unknown) and the spool directory its input lay in.
struct FrameSource {
    int32_t hostPid = 0;
    std::string spoolDirectory;

    bool operator==(const FrameSource&) const = default;
};

// How a frame came to be the panel's, as the page is told with it (window.__lumivoFilterInfo's
// "arrival"): the editor handed its picture over (a Filters > Lumivo run, or a run that found
// the waiting result made from another picture), the editor applied a result and sent what its
// document now holds, or the panel installed the result it is about to have applied.
enum class FrameArrival { kHandedOff, kApplied, kResult };

struct FrameSize {
    uint32_t width = 0;
    uint32_t height = 0;
};

// PNG bytes kept with a frame because they decode to exactly its pixels (png::decodeFile's
// standsForEncode): an export sends them instead of encoding the frame again. Shared, since an
// export may still be sending them when the frame is replaced; null when there are none.
using FrameFile = std::shared_ptr<const std::vector<uint8_t>>;

// What background work needs of LumivoPanelHandler. Any thread.
class PanelState {
  public:
    virtual ~PanelState() = default;
    // Takes the frame's bytes over, installs it as the current frame under the frame lock, and
    // tells the page the new size later, on the main thread. The frame keeps the source of the
    // one it replaces: it is a result made for that editor. `file`, when given, holds exactly
    // the frame's pixels; the replaced frame's file goes with it.
    virtual void retargetAtFrame(PixelBuffer frame, FrameFile file) = 0;
    // The same for a frame that arrived from an editor as an input, with the mark its file
    // carried (none for a file without one) and how it arrived: handed over or applied.
    virtual void retargetAtInput(PixelBuffer frame, FrameSource source, FrameFile file,
                                 std::optional<PictureMark> mark, FrameArrival arrival) = 0;
    // How many frames an editor has handed over so far (FrameArrival::kHandedOff): a filter run
    // that hands its picture over instead of applying a waiting result shows here.
    virtual uint64_t handOffs() const = 0;
    // Whether the frame the page last exported came from another editor than the current frame:
    // a result made from it belongs to a document that is no longer the one in front.
    virtual bool lastExportIsFromAnotherSource() const = 0;
    // The mark of the picture a result made now belongs to: that of the frame the page last
    // exported (before any export, of the current frame). A frame installed as a result keeps
    // the mark of the frame it replaced. None when that frame came without a mark.
    virtual std::optional<PictureMark> resultMark() const = 0;
    // A whole copy of the current spool directory, safe against its replacement on the main
    // thread.
    virtual std::string spoolDirectory() const = 0;
    // The current frame's width and height, read under the frame lock.
    virtual FrameSize frameSize() const = 0;
};

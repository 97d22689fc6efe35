#include "plugin/filter_invoke.h"

#include <system_error>

#include "imaging/png.h"

namespace {

void report(const FilterRunContext& context, const std::string& reason) {
    if (context.reportFailure) {
        context.reportFailure(reason);
    }
}

// Whether a result file may be applied to the picture marked `mark`: it carries that mark, or
// none at all (a panel that marks nothing).
bool belongsTo(const std::vector<uint8_t>& file, const PictureMark& mark) {
    const picture_mark::Found found = picture_mark::find(file.data(), file.size());
    return !found.present || found.mark == mark;
}

}  // namespace

int filterInvoke(PixelBuffer input, const PictureMark& mark, const HostWrite& write,
                 const FilterRunContext& context) {
    spool::CheckedDirectory checked =
        spool::checkDirectory(context.spoolDirectory, spool::Missing::create);
    if (!checked.directory) {
        report(context, "spool directory refused: " + checked.refusal);
        return 2;
    }
    const spool::Directory& directory = *checked.directory;
    const double now = context.wallSeconds();
    spool::removeStaleTemporaries(directory, now);
    auto handOffInput = [&] {
        return context.handOff(directory, png::encode(input), mark, true) ? 1 : 2;
    };

    const std::optional<spool::Entry> newest = spool::newestFile(directory, spool::kResultPrefix);
    if (!newest) {
        return handOffInput();
    }
    const double modified = static_cast<double>(newest->modified.tv_sec) +
                            static_cast<double>(newest->modified.tv_nsec) / 1e9;
    if (modified - now < -kStaleResultSeconds) {
        spool::removeFiles(directory, spool::kResultPrefix);
        return handOffInput();
    }

    std::optional<std::vector<uint8_t>> bytes = spool::readWhole(directory, newest->name);
    // A result made from another picture (another document, or this one before it changed)
    // stays for the picture it belongs to; this picture goes to the panel as if none waited.
    if (bytes && !belongsTo(*bytes, mark)) {
        bytes.reset();
        return handOffInput();
    }

    // From here on only the input's size matters: its pixels go before the result is decoded.
    const uint32_t width = input.width;
    const uint32_t height = input.height;
    input = PixelBuffer{};

    // Result files are removed before the image is checked, so a bad file can't fail the next
    // run too; results that lost the newest-first contest go with it. One that can't be removed
    // is not applied at all: every later run would apply it again.
    const int kept = spool::removeFile(directory, newest->name);
    spool::removeFiles(directory, spool::kResultPrefix);
    if (kept != 0) {
        report(context, "result file " + directory.pathOf(newest->name) +
                            " can't be removed, so it is not applied: " +
                            std::generic_category().message(kept));
        return 2;
    }

    // A result of another size is fitted as it is decoded, never held at both sizes at once.
    // Bytes that hold exactly the result are kept to pass on; others go at once.
    png::DecodedFile result;
    if (bytes) {
        result = png::decodeCoverFile(bytes->data(), bytes->size(), width, height);
        if (!result.standsForEncode) {
            bytes.reset();
        }
    }
    if (result.image.empty() || result.image.width != width || result.image.height != height) {
        return 2;
    }
    // The panel gets the applied image in sRGB, so its file is made before the host's copy is
    // converted back; its mark is that of what the host then holds.
    std::vector<uint8_t> file = bytes ? std::move(*bytes) : png::encode(result.image);
    bytes.reset();
    const std::optional<PictureMark> written = write(std::move(result.image));
    if (!written) {
        return 2;
    }
    context.handOff(directory, std::move(file), *written, false);
    return 0;
}

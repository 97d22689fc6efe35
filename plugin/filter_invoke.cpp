#include "plugin/filter_invoke.h"

#include "imaging/png.h"

int filterInvoke(PixelBuffer input, PixelBuffer& output, const FilterRunContext& context) {
    spool::CheckedDirectory checked =
        spool::checkDirectory(context.spoolDirectory, spool::Missing::create);
    if (!checked.directory) {
        if (context.reportFailure) {
            context.reportFailure("spool directory refused: " + checked.refusal);
        }
        return 2;
    }
    const spool::Directory& directory = *checked.directory;
    const double now = context.wallSeconds();
    spool::removeStaleTemporaries(directory, now);

    const std::optional<spool::Entry> newest = spool::newestFile(directory, spool::kResultPrefix);
    if (!newest) {
        return context.handOff(directory, input, true, nullptr) ? 1 : 2;
    }
    const double modified = static_cast<double>(newest->modified.tv_sec) +
                            static_cast<double>(newest->modified.tv_nsec) / 1e9;
    if (modified - now < -kStaleResultSeconds) {
        spool::removeFiles(directory, spool::kResultPrefix);
        return context.handOff(directory, input, true, nullptr) ? 1 : 2;
    }

    // From here on only the input's size matters: its pixels go before the result is decoded.
    const uint32_t width = input.width;
    const uint32_t height = input.height;
    input = PixelBuffer{};

    // A result of another size is fitted as it is decoded, never held at both sizes at once.
    // Bytes that hold exactly the result are kept to pass on; others go at once.
    std::optional<std::vector<uint8_t>> bytes = spool::readWhole(directory, newest->name);
    png::DecodedFile result;
    if (bytes) {
        result = png::decodeCoverFile(bytes->data(), bytes->size(), width, height);
        if (!result.standsForEncode) {
            bytes.reset();
        }
    }
    // Result files are removed before the image is checked, so a bad file can't fail the next
    // run too; results that lost the newest-first contest go with it.
    spool::removeFiles(directory, spool::kResultPrefix);
    if (result.image.empty() || result.image.width != width || result.image.height != height) {
        return 2;
    }
    output = std::move(result.image);
    context.handOff(directory, output, false, bytes ? &*bytes : nullptr);
    return 0;
}

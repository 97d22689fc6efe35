#include "plugin/filter_invoke.h"

#include <sys/stat.h>

#include "imaging/png.h"
#include "plugin/spool.h"

int filterInvoke(PixelBuffer input, PixelBuffer& output, const FilterRunContext& context) {
    const std::string& directory = context.spoolDirectory;
    spool::createDirectory(directory);
    if (std::optional<std::string> refused = spool::checkDirectory(directory)) {
        if (context.reportFailure) {
            context.reportFailure("spool directory refused: " + *refused);
        }
        return 2;
    }
    spool::removeStaleTemporaries(directory, context.wallSeconds());

    const std::optional<std::string> newest = spool::newestFile(directory, spool::kResultPrefix);
    if (!newest) {
        return context.handOff(directory, input, true, nullptr) ? 1 : 2;
    }

    struct stat info {};
    if (::lstat(newest->c_str(), &info) == 0) {
        const double modified = static_cast<double>(info.st_mtim.tv_sec) +
                                static_cast<double>(info.st_mtim.tv_nsec) / 1e9;
        if (modified - context.wallSeconds() < -kStaleResultSeconds) {
            spool::removeFiles(directory, spool::kResultPrefix);
            return context.handOff(directory, input, true, nullptr) ? 1 : 2;
        }
    }

    // From here on only the input's size matters: its pixels go before the result is decoded.
    const uint32_t width = input.width;
    const uint32_t height = input.height;
    input = PixelBuffer{};

    // A result of another size is fitted as it is decoded, never held at both sizes at once.
    // Bytes that hold exactly the result are kept to pass on; others go at once.
    std::optional<std::vector<uint8_t>> bytes = spool::readWhole(*newest);
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

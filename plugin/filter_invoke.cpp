#include "plugin/filter_invoke.h"

#include <sys/stat.h>

#include "imaging/png.h"
#include "plugin/spool.h"

int filterInvoke(const PixelBuffer& input, PixelBuffer& output, const FilterRunContext& context) {
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
        return context.handOff(directory, input, true) ? 1 : 2;
    }

    struct stat info {};
    if (::lstat(newest->c_str(), &info) == 0) {
        const double modified = static_cast<double>(info.st_mtim.tv_sec) +
                                static_cast<double>(info.st_mtim.tv_nsec) / 1e9;
        if (modified - context.wallSeconds() < -kStaleResultSeconds) {
            spool::removeFiles(directory, spool::kResultPrefix);
            return context.handOff(directory, input, true) ? 1 : 2;
        }
    }

    PixelBuffer image;
    if (std::optional<std::vector<uint8_t>> bytes = spool::readWhole(*newest)) {
        image = png::decode(bytes->data(), bytes->size());
    }
    // Result files are removed before the image is checked, so a bad file can't fail the next
    // run too; results that lost the newest-first contest go with it.
    spool::removeFiles(directory, spool::kResultPrefix);
    if (image.empty()) {
        return 2;
    }
    if (image.width != input.width || image.height != input.height) {
        image = png::fitCover(image, input.width, input.height);
        if (image.empty() || image.width != input.width || image.height != input.height) {
            return 2;
        }
    }
    output = std::move(image);
    context.handOff(directory, output, false);
    return 0;
}

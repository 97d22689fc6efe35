#include <libdeflate.h>

#include "imaging/png_chunk_list.h"
#include "imaging/png_text.h"

namespace png {

TextLookup findText(const uint8_t* bytes, size_t length, std::string_view keyword,
                    size_t maxTextBytes) {
    TextLookup found;
    size_t chunks = 0;
    imaging::PngChunk only{};
    const bool whole = imaging::walkPngChunks(bytes, length, [&](const imaging::PngChunk& chunk) {
        if (!keyword.empty() && imaging::isTextOf(chunk, keyword)) {
            ++chunks;
            only = chunk;
        }
    });
    if (!whole || chunks == 0) {
        return found;
    }
    found.present = true;
    const size_t textBytes = only.length - keyword.size() - 1;
    if (chunks > 1 || textBytes > maxTextBytes) {
        return found;
    }
    // The checksum covers the type and the data.
    const uint8_t* typeAndData = bytes + only.offset + 4;
    if (libdeflate_crc32(0, typeAndData, size_t{only.length} + 4) !=
        imaging::readBigEndian32(typeAndData + 4 + only.length)) {
        return found;
    }
    const auto* text = reinterpret_cast<const char*>(only.data) + keyword.size() + 1;
    found.text.emplace(text, textBytes);
    return found;
}

}  // namespace png

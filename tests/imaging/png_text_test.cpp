#include "imaging/png_text.h"

#include <gtest/gtest.h>
#include <libdeflate.h>

#include <string>
#include <vector>

#include "imaging/png.h"
#include "test_images.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr char kKey[] = "com.example.mark";
constexpr size_t kMaxText = 64;

Bytes spliced(const Bytes& file, const std::string& text) {
    Bytes out;
    if (auto splice = png::spliceText(file.data(), file.size(), kKey, text)) {
        for (const auto& piece : splice->pieces()) {
            out.insert(out.end(), piece.begin(), piece.end());
        }
        EXPECT_EQ(out.size(), splice->size());
    }
    return out;
}

png::TextLookup lookUp(const Bytes& file) {
    return png::findText(file.data(), file.size(), kKey, kMaxText);
}

// The file with a tEXt chunk holding `data` put in just before its IEND.
Bytes withTextChunk(Bytes file, const std::string& data) {
    Bytes chunk;
    auto bigEndian = [&chunk](uint32_t value) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            chunk.push_back(uint8_t(value >> shift));
        }
    };
    bigEndian(uint32_t(data.size()));
    chunk.insert(chunk.end(), {'t', 'E', 'X', 't'});
    chunk.insert(chunk.end(), data.begin(), data.end());
    bigEndian(libdeflate_crc32(0, chunk.data() + 4, data.size() + 4));
    file.insert(file.end() - 12, chunk.begin(), chunk.end());
    return file;
}

const Bytes kPlain = png::encode(PixelBuffer{2, 1, {1, 2, 3, 255, 4, 5, 6, 255}});

}  // namespace

TEST(PngText, ASplicedTextIsFoundAndReplacedAndThePixelsAndTheFastPathStay) {
    EXPECT_FALSE(lookUp(kPlain).present);
    const Bytes marked = spliced(kPlain, "first");
    EXPECT_EQ(lookUp(marked).text, "first");
    const png::DecodedFile decoded = png::decodeFile(marked.data(), marked.size());
    EXPECT_EQ(decoded.image.rgba, png::decode(kPlain.data(), kPlain.size()).rgba);
    EXPECT_TRUE(decoded.standsForEncode) << "a file of the encoder's kind still stands for it";

    // Splicing again leaves one chunk of the keyword, wherever the old one was; other text and
    // whatever follows IEND stay as they were.
    const Bytes late = withTextChunk(kPlain, std::string(kKey) + '\0' + "late");
    Bytes trailing = withTextChunk(marked, std::string("Comment") + '\0' + "kept");
    trailing.insert(trailing.end(), {'t', 'a', 'i', 'l'});
    for (const Bytes& before : {marked, late, trailing}) {
        const Bytes again = spliced(before, "second");
        EXPECT_EQ(lookUp(again).text, "second");
        EXPECT_EQ(again.size(), before.size() - lookUp(before).text->size() + 6);
    }
    const Bytes again = spliced(trailing, "x");
    EXPECT_EQ(png::findText(again.data(), again.size(), "Comment", kMaxText).text, "kept");
    EXPECT_EQ(Bytes(again.end() - 16, again.end()), Bytes(trailing.end() - 16, trailing.end()));
}

TEST(PngText, TextThatIsAmbiguousDamagedOrTooLongIsPresentButNotRead) {
    const Bytes marked = spliced(kPlain, "words");
    Bytes damaged = marked;
    damaged[33 + 8 + sizeof kKey] ^= 1;  // a letter of the text, under the old checksum
    for (const Bytes& file : {withTextChunk(marked, std::string(kKey) + '\0' + "words"), damaged,
                              spliced(kPlain, std::string(kMaxText + 1, 'a'))}) {
        EXPECT_TRUE(lookUp(file).present);
        EXPECT_FALSE(lookUp(file).text);
    }
    // Only a tEXt chunk of exactly the keyword counts.
    EXPECT_FALSE(lookUp(withTextChunk(kPlain, std::string(kKey) + "s" + '\0' + "x")).present);
    EXPECT_FALSE(lookUp(withTextChunk(kPlain, kKey)).present);
}

TEST(PngText, OnlyAWholeChunkListOfAPngIsReadOrSplicedWithAKeywordAndTextItCanHold) {
    const Bytes marked = spliced(kPlain, "words");
    Bytes pastTheEnd = marked;
    pastTheEnd[33 + 3] = 0xFF;
    Bytes over2GiB = marked;
    over2GiB[33] = 0x80;
    Bytes headerSecond = marked;
    std::swap_ranges(headerSecond.begin() + 8, headerSecond.begin() + 33,
                     headerSecond.begin() + 33);
    for (const Bytes& file : {Bytes{}, Bytes(marked.begin() + 1, marked.end()),
                              Bytes(marked.begin(), marked.end() - 12), pastTheEnd, over2GiB,
                              headerSecond, testimg::writeJpeg({2, 2, Bytes(16, 9)}, false, 90)}) {
        EXPECT_FALSE(lookUp(file).present);
        EXPECT_FALSE(png::spliceText(file.data(), file.size(), kKey, "x"));
    }
    for (const std::string& keyword :
         {std::string(), std::string(80, 'k'), std::string(" lead"), std::string("two  spaces"),
          std::string("tab\there"), std::string("\x80\x9f")}) {
        EXPECT_FALSE(png::spliceText(kPlain.data(), kPlain.size(), keyword, "x")) << keyword;
    }
    EXPECT_TRUE(png::spliceText(kPlain.data(), kPlain.size(), "Latin-1 \xe9t\xe9", "x"));
    EXPECT_FALSE(png::spliceText(kPlain.data(), kPlain.size(), kKey, std::string("a\0b", 3)));
}

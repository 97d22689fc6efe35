// What the demo editor decides without its window: its command line, where a changed document
// is saved, and its undo steps.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/host_options.h"
#include "host/undo_history.h"

namespace {

std::optional<HostOptions> parse(std::vector<std::string> words) {
    words.insert(words.begin(), "lumivo-host");
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    return parseHostOptions(static_cast<int>(argv.size()), argv.data());
}

TEST(HostOptions, SeveralImagesOpenInTheWindowAndExactlyOneRunsHeadless) {
    struct Case {
        std::vector<std::string> words;
        bool parses;
        std::vector<std::string> inputs;
    };
    const Case cases[] = {
        {{}, true, {}},
        {{"--in", "a.png"}, true, {"a.png"}},
        {{"--in", "a.png", "--in", "b.png", "--save-on-change", "o.png"}, true, {"a.png", "b.png"}},
        {{"--in"}, false, {}},
        {{"--headless", "--filter", "Lumivo", "--in", "a.png", "--out", "o.png"}, true, {"a.png"}},
        {{"--headless", "--filter", "Lumivo", "--out", "o.png"}, false, {}},
        {{"--headless", "--filter", "L", "--in", "a.png", "--in", "b.png", "--out", "o"},
         false,
         {}},
    };
    for (const Case& c : cases) {
        const std::optional<HostOptions> options = parse(c.words);
        ASSERT_EQ(options.has_value(), c.parses) << c.words.size();
        if (options) {
            EXPECT_EQ(options->inputs, c.inputs);
        }
    }
}

TEST(HostOptions, EachDocumentIsSavedToAPathOfItsOwn) {
    const std::vector<std::pair<std::string, std::string>> second = {
        {"out/after.png", "out/after-2.png"},
        {"after", "after-2"},
        {"dir.d/after", "dir.d/after-2"},
    };
    for (const auto& [given, expected] : second) {
        EXPECT_EQ(changedDocumentPath(given, 0), given);
        EXPECT_EQ(changedDocumentPath(given, 1), expected);
    }
    EXPECT_EQ(changedDocumentPath("a.png", 2), "a-3.png");
}

Document solid(uint8_t value) {
    Document document = makeDocument(2, 1, 3);
    std::fill(document.pixels.begin(), document.pixels.end(), value);
    return document;
}

TEST(UndoHistory, TakesStepsBackNewestFirstAndKeepsOnlyTheLastFew) {
    UndoHistory history;
    Document document = solid(0);
    EXPECT_FALSE(history.nextUndo());
    EXPECT_FALSE(history.undo(document));
    EXPECT_TRUE(samePixels(document, solid(0))) << "nothing to undo leaves the document alone";

    // Each change keeps what the document held before it.
    for (uint8_t value = 1; value <= UndoHistory::kMaxSteps + 2; ++value) {
        history.record("Step " + std::to_string(value), document);
        document = solid(value);
    }
    for (size_t taken = 0; taken < UndoHistory::kMaxSteps; ++taken) {
        const auto value = static_cast<uint8_t>(UndoHistory::kMaxSteps + 2 - taken);
        EXPECT_EQ(history.nextUndo(), "Step " + std::to_string(value));
        ASSERT_TRUE(history.undo(document));
        EXPECT_TRUE(samePixels(document, solid(static_cast<uint8_t>(value - 1))));
    }
    // The two oldest steps went when the bound was reached.
    EXPECT_FALSE(history.nextUndo());
    EXPECT_FALSE(history.undo(document));
    EXPECT_TRUE(samePixels(document, solid(2)));
}

}  // namespace

#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "host/document.h"

// The undo steps of one document: what it held before each change, with the name of the step
// (the filter's title), newest last. A few steps are kept, as an editor bounds its undo memory:
// a step of a 24-megapixel document holds 72 MB. Main thread only.
class UndoHistory {
  public:
    static constexpr size_t kMaxSteps = 5;

    // The document before a change named `name`; the oldest step goes beyond kMaxSteps.
    void record(std::string name, Document before);
    // The name of the step undo takes back; none when there is nothing to undo.
    std::optional<std::string> nextUndo() const;
    // Puts back what `document` held before the newest step and forgets that step; false, with
    // the document untouched, when there is nothing to undo.
    bool undo(Document& document);

  private:
    struct Step {
        std::string name;
        Document before;
    };
    std::vector<Step> steps_;
};

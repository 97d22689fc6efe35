#pragma once

#include <functional>
#include <optional>

#include "host/document.h"
#include "plugin/filter_record.h"

// A rectangle of the document, in pixels.
struct Selection {
    uint32_t x = 0;
    uint32_t y = 0;
    uint32_t width = 0;
    uint32_t height = 0;
};

// The record's rectangles are 16-bit: a document or area larger than this on a side can't be
// described to a plug-in.
inline constexpr uint32_t kMaxFilterSide = 30000;

// What a caller may learn of one run.
struct FilterRunWatch {
    // When set, hears each step as it happens, for a benchmark's clock: "start" (the start call
    // begins), "buffers" and "buffers-filled" (the editor fills the areas the plug-in asked
    // for), "start-returned", "written-back" (the start call's output is in the document) and
    // "finished".
    std::function<void(const char* step)> onStep;
    // When set, called once, just before the run first changes a pixel of the document, while
    // the document still holds what it held before the run: an editor keeps that for its undo.
    // Runs that change nothing (a hand-off) never call it, so they copy nothing.
    std::function<void()> beforeChange;
    // Set by the run: whether the plug-in's output changed any pixel of the document.
    bool changed = false;
};

// Runs one filter over the document (or the selection) the way an editor does: prepare,
// start, continue while the plug-in asks for an area, finish. The plug-in's output is written
// into the document as it hands it back. Returns the first non-zero result code, else 0.
// Main thread only; one run at a time.
int16 runFilter(PluginMainProc entry, Document& document, std::optional<Selection> selection,
                FilterRunWatch* watch = nullptr);

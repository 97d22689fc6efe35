#pragma once

#include <cstdint>
#include <vector>

#include "imaging/pixel_buffer.h"
#include "plugin/filter_record.h"

// Pixel and profile exchange with the host through the filter record. The calling thread of
// PluginMain only; the record's pointers are the host's and are trusted to cover the area.

// 4 with editable transparency (filter case 4 or 5), else 3; lowered to the record's planes.
int16 planeCountFor(const FilterRecord& record);

// The width x height pixels at inData, rows inRowBytes apart (either sign), as RGBA; with three
// planes alpha is 255. The buffer must already be sized width x height.
void copyFromHost(const FilterRecord& record, int16 planeCount, PixelBuffer& buffer);

// Writes the buffer's pixels to outData, rows outRowBytes apart; with three planes alpha is
// dropped. Bytes outside the planes and past the buffer's width are left alone.
void copyBufferToHost(const PixelBuffer& buffer, int16 planeCount, FilterRecord& record);

// A copy of the document's RGB ICC profile, or empty when the host offers none, it is shorter
// than an ICC header, or it is not an RGB profile.
std::vector<uint8_t> fetchProfile(const FilterRecord& record);

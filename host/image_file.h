#pragma once

#include <optional>
#include <string>

#include "host/document.h"

// Opening and saving documents as an editor does: the file's own pixels, untouched by colour
// management, and its embedded ICC profile (iCCP of a PNG, APP2 of a JPEG). Any thread.

// A PNG or JPEG as a document with 4 channels (withAlpha) or 3 (alpha dropped); none when the
// file can't be read.
std::optional<Document> openImage(const std::string& path, bool withAlpha);

// Writes the document as an 8-bit PNG, RGB or RGBA by its channels, with its profile.
bool savePng(const std::string& path, const Document& document);

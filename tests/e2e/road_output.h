#pragma once

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "imaging/png.h"

// Reading what a run of scripts/round-trip.sh left behind. Test thread only.
inline std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline PixelBuffer readPng(const std::string& path) {
    const std::string bytes = readText(path);
    return png::decode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

// The GIMPs whose bridge this build has, as scripts/round-trip.sh's --editor names them.
inline std::vector<std::string> gimpEditors() {
    std::vector<std::string> editors;
    std::istringstream list(LUMIVO_GIMP_EDITORS);
    for (std::string editor; std::getline(list, editor, ',');) {
        editors.push_back(editor);
    }
    return editors;
}

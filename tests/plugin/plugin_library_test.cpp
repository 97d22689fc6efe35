// LumivoFilter.so as a host sees it.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include "lumivo_test_paths.h"
#include "plugin/filter_record.h"

namespace {

const std::string kLibrary = std::string(LUMIVO_BUNDLE_DIR) + "/Contents/Linux/LumivoFilter.so";

OSErr failingAdvance() {
    return -108;
}

}  // namespace

TEST(PluginLibrary, ExportsOnlyPluginMainAndAnswersBadCallsSafely) {
    void* library = ::dlopen(kLibrary.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << ::dlerror();
    auto entry = reinterpret_cast<PluginMainProc>(::dlsym(library, "PluginMain"));
    ASSERT_NE(entry, nullptr);
    for (const char* hidden : {"LumivoFilterInvoke",
                               "_Z18LumivoFilterInvoke11PixelBufferRK11PictureMarkRKSt8functionIF"
                               "St8optionalIS0_ES_EE",
                               "_ZN3png6encodeERK11PixelBuffer", "_ZN5spool4rootEv"}) {
        EXPECT_EQ(::dlsym(library, hidden), nullptr) << hidden;
    }

    int16 result = 1;
    entry(filterSelectorAbout, nullptr, nullptr, &result);
    EXPECT_EQ(result, filterBadParameters);
    FilterRecord record{};
    entry(filterSelectorAbout, &record, nullptr, nullptr);  // nowhere to answer: no crash

    record.imageMode = plugInModeRGBColor;
    record.planes = 3;
    record.filterRect = Rect{0, 0, 2, 2};
    record.advanceState = &failingAdvance;
    entry(filterSelectorStart, &record, nullptr, &result);
    EXPECT_EQ(result, -108);
    EXPECT_EQ(record.inHiPlane, 2);
    ::dlclose(library);
}

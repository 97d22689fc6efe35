// The tile API is deprecated in 2.10 in favour of GEGL buffers; it is used on purpose (see the
// header), so its deprecation warnings are switched off for this file only.
#define GIMP_DISABLE_DEPRECATION_WARNINGS
#include "gimp/gimp2/gimp2_bridge_host.h"

#include <libgimp/gimp.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "gimp/atk_bridge_check.h"

namespace {

constexpr char kHandoffDataKey[] = "plug-in-lumivo-handoff";

struct DrawableDetach {
    void operator()(GimpDrawable* drawable) const { gimp_drawable_detach(drawable); }
};
using DrawablePtr = std::unique_ptr<GimpDrawable, DrawableDetach>;

struct ObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};

// Moves the target's area a band of tile rows at a time, so at most one band is held twice:
// from the drawable into a document, or from a const document into the drawable's shadow,
// which GIMP merges later. False when the document does not match the target.
template <typename DocumentType>
bool moveArea(GimpDrawable* drawable, const BridgeTarget& target, DocumentType& document) {
    constexpr bool toShadow = std::is_const_v<DocumentType>;
    const LayerArea& area = target.area;
    if (document.width != static_cast<uint32_t>(area.width) ||
        document.height != static_cast<uint32_t>(area.height) ||
        document.channels != target.channels) {
        return false;
    }
    GimpPixelRgn region;
    gimp_pixel_rgn_init(&region, drawable, area.x, area.y, area.width, area.height, toShadow,
                        toShadow);
    // Enough tiles for one band across the whole width, twice over for the shadow.
    gimp_tile_cache_ntiles(2 * (static_cast<gulong>(area.width) / gimp_tile_width() + 1));
    const auto bandRows = static_cast<int32_t>(gimp_tile_height());
    const size_t rowBytes = static_cast<size_t>(area.width) * static_cast<size_t>(target.channels);
    std::vector<guchar> band(rowBytes * static_cast<size_t>(bandRows));
    for (int32_t top = 0; top < area.height; top += bandRows) {
        const int32_t rows = std::min(bandRows, area.height - top);
        if constexpr (!toShadow) {
            gimp_pixel_rgn_get_rect(&region, band.data(), area.x, area.y + top, area.width, rows);
        }
        for (int32_t r = 0; r < rows; ++r) {
            guchar* bandRow = band.data() + rowBytes * static_cast<size_t>(r);
            if constexpr (toShadow) {
                std::memcpy(bandRow, document.row(static_cast<uint32_t>(top + r)), rowBytes);
            } else {
                std::memcpy(document.row(static_cast<uint32_t>(top + r)), bandRow, rowBytes);
            }
        }
        if constexpr (toShadow) {
            gimp_pixel_rgn_set_rect(&region, band.data(), area.x, area.y + top, area.width, rows);
        }
    }
    return true;
}

}  // namespace

BridgeTarget Gimp2BridgeHost::target() {
    BridgeTarget target;
    target.area.image = image_;
    target.area.drawable = drawable_;
    gint x = 0, y = 0, width = 0, height = 0;
    if (gimp_drawable_mask_intersect(drawable_, &x, &y, &width, &height)) {
        target.area.x = x;
        target.area.y = y;
        target.area.width = width;
        target.area.height = height;
    }
    target.hasSelection = !gimp_selection_is_empty(image_);
    target.isGroup = gimp_item_is_group(drawable_);
    target.isRgb8 = gimp_image_base_type(image_) == GIMP_RGB &&
                    gimp_image_get_precision(image_) == GIMP_PRECISION_U8_GAMMA &&
                    gimp_drawable_is_rgb(drawable_);
    target.channels = gimp_drawable_bpp(drawable_);
    return target;
}

bool Gimp2BridgeHost::readArea(const BridgeTarget& target, Document& document) {
    DrawablePtr drawable(gimp_drawable_get(drawable_));
    if (!drawable || !moveArea(drawable.get(), target, document)) {
        return false;
    }
    // No profile of its own means GIMP's built-in sRGB: nothing to convert.
    std::unique_ptr<GimpColorProfile, ObjectUnref> profile(gimp_image_get_color_profile(image_));
    if (profile) {
        gsize length = 0;
        const guint8* bytes = gimp_color_profile_get_icc_profile(profile.get(), &length);
        if (bytes != nullptr) {
            document.iccProfile.assign(bytes, bytes + length);
        }
    }
    return true;
}

bool Gimp2BridgeHost::writeArea(const BridgeTarget& target, const Document& document) {
    DrawablePtr drawable(gimp_drawable_get(drawable_));
    if (!drawable || !moveArea(drawable.get(), target, document)) {
        return false;
    }
    // GIMP masks the merge by the selection and keeps the old pixels for undo.
    const LayerArea& area = target.area;
    gimp_image_undo_group_start(image_);
    gimp_drawable_flush(drawable.get());
    gimp_drawable_merge_shadow(drawable_, TRUE);
    gimp_drawable_update(drawable_, area.x, area.y, area.width, area.height);
    gimp_image_undo_group_end(image_);
    gimp_displays_flush();
    return true;
}

void Gimp2BridgeHost::tell(const std::string& message) {
    gimp_message(message.c_str());
}

std::optional<LayerArea> Gimp2BridgeHost::lastHandoff() {
    LayerArea area;
    if (gimp_get_data_size(kHandoffDataKey) != static_cast<gint>(sizeof area) ||
        !gimp_get_data(kHandoffDataKey, &area)) {
        return std::nullopt;
    }
    return area;
}

void Gimp2BridgeHost::rememberHandoff(const LayerArea& area) {
    gimp_set_data(kHandoffDataKey, &area, sizeof area);
}

bool Gimp2BridgeHost::onAccessibilityBus() {
    if (gtkModulesLoadAtkBridge(::getenv("GTK_MODULES"))) {
        return true;
    }
    // A desktop setting may load the module without the variable; GIMP is this run's parent.
    const std::string maps = "/proc/" + std::to_string(::getppid()) + "/maps";
    gchar* text = nullptr;
    gsize length = 0;
    if (!g_file_get_contents(maps.c_str(), &text, &length, nullptr)) {
        return false;
    }
    const bool loaded = mapsShowAtkBridge(std::string_view(text, length));
    g_free(text);
    return loaded;
}

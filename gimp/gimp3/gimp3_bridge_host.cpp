#include "gimp/gimp3/gimp3_bridge_host.h"

#include <cstring>
#include <memory>

namespace {

// Not persistent: the record lasts as long as GIMP's session, as the hand-off it describes.
constexpr char kHandoffParasite[] = "plug-in-lumivo-handoff";

struct ObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
using BufferPtr = std::unique_ptr<GeglBuffer, ObjectUnref>;

struct ParasiteFree {
    void operator()(GimpParasite* parasite) const { gimp_parasite_free(parasite); }
};
using ParasitePtr = std::unique_ptr<GimpParasite, ParasiteFree>;

// The drawable's pixel format, when it is the one the target describes.
const Babl* formatFor(GimpDrawable* drawable, const BridgeTarget& target,
                      const Document& document) {
    const LayerArea& area = target.area;
    if (drawable == nullptr || document.width != static_cast<uint32_t>(area.width) ||
        document.height != static_cast<uint32_t>(area.height) ||
        document.channels != target.channels) {
        return nullptr;
    }
    const Babl* format = gimp_drawable_get_format(drawable);
    if (format == nullptr || babl_format_get_bytes_per_pixel(format) != target.channels) {
        return nullptr;
    }
    return format;
}

}  // namespace

BridgeTarget Gimp3BridgeHost::target() {
    BridgeTarget target;
    GimpDrawable* drawable = drawables_ != nullptr ? drawables_[0] : nullptr;
    if (drawable == nullptr) {
        return target;
    }
    GimpItem* item = GIMP_ITEM(drawable);
    target.area.image = gimp_image_get_id(image_);
    target.area.drawable = gimp_item_get_id(item);
    gint x = 0, y = 0, width = 0, height = 0;
    if (gimp_drawable_mask_intersect(drawable, &x, &y, &width, &height)) {
        target.area.x = x;
        target.area.y = y;
        target.area.width = width;
        target.area.height = height;
    }
    target.hasSelection = !gimp_selection_is_empty(image_);
    target.isGroup = gimp_item_is_group(item);
    target.isRgb8 = gimp_image_get_base_type(image_) == GIMP_RGB &&
                    gimp_image_get_precision(image_) == GIMP_PRECISION_U8_NON_LINEAR &&
                    gimp_drawable_is_rgb(drawable);
    target.channels = gimp_drawable_get_bpp(drawable);
    target.severalLayers = drawables_[1] != nullptr;
    return target;
}

bool Gimp3BridgeHost::readArea(const BridgeTarget& target, Document& document) {
    GimpDrawable* drawable = drawables_[0];
    const Babl* format = formatFor(drawable, target, document);
    BufferPtr buffer(format != nullptr ? gimp_drawable_get_buffer(drawable) : nullptr);
    if (!buffer) {
        return false;
    }
    const LayerArea& area = target.area;
    const GeglRectangle rect{area.x, area.y, area.width, area.height};
    gegl_buffer_get(buffer.get(), &rect, 1.0, format, document.row(0),
                    static_cast<gint>(document.rowBytes), GEGL_ABYSS_NONE);
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

bool Gimp3BridgeHost::writeArea(const BridgeTarget& target, const Document& document) {
    GimpDrawable* drawable = drawables_[0];
    const Babl* format = formatFor(drawable, target, document);
    BufferPtr shadow(format != nullptr ? gimp_drawable_get_shadow_buffer(drawable) : nullptr);
    if (!shadow) {
        return false;
    }
    const LayerArea& area = target.area;
    const GeglRectangle rect{area.x, area.y, area.width, area.height};
    gegl_buffer_set(shadow.get(), &rect, 0, format, document.row(0),
                    static_cast<gint>(document.rowBytes));
    gegl_buffer_flush(shadow.get());
    // GIMP masks the merge by the selection and keeps the old pixels for undo.
    gimp_image_undo_group_start(image_);
    gimp_drawable_merge_shadow(drawable, TRUE);
    gimp_drawable_update(drawable, area.x, area.y, area.width, area.height);
    gimp_image_undo_group_end(image_);
    gimp_displays_flush();
    return true;
}

void Gimp3BridgeHost::tell(const std::string& message) {
    gimp_message(message.c_str());
}

std::optional<LayerArea> Gimp3BridgeHost::lastHandoff() {
    ParasitePtr parasite(gimp_get_parasite(kHandoffParasite));
    if (!parasite) {
        return std::nullopt;
    }
    guint32 size = 0;
    gconstpointer data = gimp_parasite_get_data(parasite.get(), &size);
    LayerArea area;
    if (data == nullptr || size != sizeof area) {
        return std::nullopt;
    }
    std::memcpy(&area, data, sizeof area);
    return area;
}

void Gimp3BridgeHost::rememberHandoff(const LayerArea& area) {
    ParasitePtr parasite(gimp_parasite_new(kHandoffParasite, 0, sizeof area, &area));
    if (parasite) {
        gimp_attach_parasite(parasite.get());
    }
}

#include "Platform/Graphics/detail/RepeatedFill.hpp"

#include <cmath>
#include <utility>

namespace dv::gfx::detail {

namespace {
// Larger coverages are not kept: the fill is rasterised again instead.
constexpr double MAX_COVERAGE_PIXELS = 1 << 24;
} // namespace

RepeatedFill::~RepeatedFill() { forgetCoverage(); }

void RepeatedFill::forgetCoverage() {
    if (coverage_) cairo_surface_destroy(coverage_);
    coverage_ = nullptr;
}

RepeatedFill::Key RepeatedFill::keyOf(cairo_t* cr, std::vector<double> path) {
    Key key;
    key.path = std::move(path);
    key.rule = cairo_get_fill_rule(cr);
    key.antialias = cairo_get_antialias(cr);
    key.tolerance = cairo_get_tolerance(cr);
    cairo_clip_extents(cr, &key.clip[0], &key.clip[1], &key.clip[2], &key.clip[3]);
    cairo_surface_t* target = cairo_get_target(cr);
    cairo_surface_get_device_offset(target, &key.device[0], &key.device[1]);
    cairo_surface_get_device_scale(target, &key.device[2], &key.device[3]);
    // Only pictures of pixels keep a coverage (a vector target must get the path itself), and
    // only fills laid over them, which change no pixel the path leaves out.
    key.keeps = cairo_surface_get_type(target) == CAIRO_SURFACE_TYPE_IMAGE && cairo_get_operator(cr) == CAIRO_OPERATOR_OVER;
    return key;
}

void RepeatedFill::forget() {
    forgetCoverage();
    last_ = {};  // no fill has an empty path
}

bool RepeatedFill::lay(cairo_t* cr, const Key& key) {
    if (!coverage_ || !key.keeps || !(key == last_)) return false;
    cairo_new_path(cr);
    // The mask's device offset puts its pixels where the target's are.
    cairo_mask_surface(cr, coverage_, 0, 0);
    ++reused_;
    return true;
}

void RepeatedFill::fill(cairo_t* cr, Key key) {
    const auto extents = [cr] {
        std::array<double, 4> box;
        cairo_fill_extents(cr, &box[0], &box[1], &box[2], &box[3]);
        return box;
    };
    if (!key.keeps || !(key == last_)) return fill(cr, std::move(key), cairo_fill, extents);
    cairo_path_t* path = cairo_copy_path(cr);
    fill(cr, std::move(key), [&](cairo_t* on) {
        if (on != cr) {
            cairo_new_path(on);
            cairo_append_path(on, path);
        }
        cairo_fill(on);
    }, extents);
    cairo_path_destroy(path);
}

void RepeatedFill::fill(cairo_t* cr, Key key, const std::function<void(cairo_t*)>& fillOn,
                        const std::function<std::array<double, 4>()>& reach) {
    if (!key.keeps) return fillOn(cr);
    if (!(key == last_)) {
        forgetCoverage();
        last_ = std::move(key);
        return fillOn(cr);
    }
    if (lay(cr, key)) return;
    // The mask's pixels are the target's own over what the fill can reach within the clip, so
    // that its coverage is reckoned on the same device grid as the fill's.
    const std::array<double, 4> extents = reach();
    const double sx = key.device[2], sy = key.device[3];
    const double dx0 = std::fmax(extents[0], key.clip[0]) * sx + key.device[0];
    const double dy0 = std::fmax(extents[1], key.clip[1]) * sy + key.device[1];
    const double dx1 = std::fmin(extents[2], key.clip[2]) * sx + key.device[0];
    const double dy1 = std::fmin(extents[3], key.clip[3]) * sy + key.device[1];
    if (!(dx1 > dx0 && dy1 > dy0)) return cairo_new_path(cr);  // nothing within the clip
    if (!((dx1 - dx0) * (dy1 - dy0) <= MAX_COVERAGE_PIXELS)) return fillOn(cr);
    x_ = static_cast<int>(std::floor(dx0));
    y_ = static_cast<int>(std::floor(dy0));
    const int w = static_cast<int>(std::ceil(dx1)) - x_, h = static_cast<int>(std::ceil(dy1)) - y_;
    cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A8, w, h);
    cairo_surface_set_device_offset(mask, key.device[0] - x_, key.device[1] - y_);
    cairo_surface_set_device_scale(mask, sx, sy);
    cairo_t* m = cairo_create(mask);
    cairo_set_fill_rule(m, key.rule);
    cairo_set_antialias(m, key.antialias);
    cairo_set_tolerance(m, key.tolerance);
    fillOn(m);
    const bool made = cairo_status(m) == CAIRO_STATUS_SUCCESS && cairo_surface_status(mask) == CAIRO_STATUS_SUCCESS;
    cairo_destroy(m);
    if (!made) {
        cairo_surface_destroy(mask);
        return fillOn(cr);
    }
    coverage_ = mask;
    lay(cr, key);
}

} // namespace dv::gfx::detail

#include "Platform/Graphics/detail/RepeatedFill.hpp"

#include <cmath>

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

void RepeatedFill::fill(cairo_t* cr) {
    // Only pictures of pixels keep a coverage (a vector target must get the path itself), and
    // only fills laid over them, which change no pixel the path leaves out.
    cairo_surface_t* target = cairo_get_target(cr);
    if (cairo_surface_get_type(target) != CAIRO_SURFACE_TYPE_IMAGE || cairo_get_operator(cr) != CAIRO_OPERATOR_OVER)
        return cairo_fill(cr);
    cairo_path_t* path = cairo_copy_path(cr);
    if (path->status != CAIRO_STATUS_SUCCESS) {
        cairo_path_destroy(path);
        hasLast_ = false;
        forgetCoverage();
        return cairo_fill(cr);
    }
    Key key;
    // The kind of each part and its points: the rest of a part's header is not set.
    key.path.reserve(static_cast<std::size_t>(path->num_data) * 2);
    for (int i = 0; i < path->num_data; i += path->data[i].header.length) {
        key.path.push_back(static_cast<double>(path->data[i].header.type));
        for (int k = 1; k < path->data[i].header.length; ++k) {
            key.path.push_back(path->data[i + k].point.x);
            key.path.push_back(path->data[i + k].point.y);
        }
    }
    key.rule = cairo_get_fill_rule(cr);
    key.antialias = cairo_get_antialias(cr);
    key.tolerance = cairo_get_tolerance(cr);
    cairo_clip_extents(cr, &key.clip[0], &key.clip[1], &key.clip[2], &key.clip[3]);
    cairo_surface_get_device_offset(target, &key.device[0], &key.device[1]);
    cairo_surface_get_device_scale(target, &key.device[2], &key.device[3]);
    if (!hasLast_ || !(key == last_)) {
        cairo_path_destroy(path);
        forgetCoverage();
        last_ = std::move(key);
        hasLast_ = true;
        return cairo_fill(cr);
    }
    if (!coverage_) {
        // The mask's pixels are the target's own over what the fill can reach within the clip,
        // so that its coverage is reckoned on the same device grid as the fill's.
        double fx0, fy0, fx1, fy1;
        cairo_fill_extents(cr, &fx0, &fy0, &fx1, &fy1);
        const double sx = key.device[2], sy = key.device[3];
        const double dx0 = std::fmax(fx0, key.clip[0]) * sx + key.device[0];
        const double dy0 = std::fmax(fy0, key.clip[1]) * sy + key.device[1];
        const double dx1 = std::fmin(fx1, key.clip[2]) * sx + key.device[0];
        const double dy1 = std::fmin(fy1, key.clip[3]) * sy + key.device[1];
        if (!(dx1 > dx0 && dy1 > dy0)) {  // nothing within the clip
            cairo_path_destroy(path);
            cairo_new_path(cr);
            return;
        }
        if (!((dx1 - dx0) * (dy1 - dy0) <= MAX_COVERAGE_PIXELS)) {
            cairo_path_destroy(path);
            return cairo_fill(cr);
        }
        x_ = static_cast<int>(std::floor(dx0));
        y_ = static_cast<int>(std::floor(dy0));
        const int w = static_cast<int>(std::ceil(dx1)) - x_, h = static_cast<int>(std::ceil(dy1)) - y_;
        cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A8, w, h);
        cairo_surface_set_device_offset(mask, key.device[0] - x_, key.device[1] - y_);
        cairo_surface_set_device_scale(mask, sx, sy);
        cairo_t* m = cairo_create(mask);
        cairo_append_path(m, path);
        cairo_set_fill_rule(m, key.rule);
        cairo_set_antialias(m, key.antialias);
        cairo_set_tolerance(m, key.tolerance);
        cairo_fill(m);
        cairo_destroy(m);
        if (cairo_surface_status(mask) == CAIRO_STATUS_SUCCESS) coverage_ = mask;
        else cairo_surface_destroy(mask);
    }
    cairo_path_destroy(path);
    if (!coverage_) return cairo_fill(cr);
    cairo_new_path(cr);
    // The mask's device offset puts its pixels where the target's are.
    cairo_mask_surface(cr, coverage_, 0, 0);
    ++reused_;
}

} // namespace dv::gfx::detail

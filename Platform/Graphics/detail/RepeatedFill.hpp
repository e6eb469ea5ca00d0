#pragma once
// A board can hold the same heavy shape many times over (an element copied again and again, or
// stacked copies of one long freehand stroke), and each fill of it costs cairo every edge on
// every row it crosses: a hundred copies of a 100,000-point stroke took 17 s at 1024 pixels.
// The last heavy fill drawn on a picture is remembered; when the next one has the same path (as
// cairo holds it, point for point), fill rule, antialiasing, tolerance, clip and device space,
// its coverage is rasterised once more into a mask and kept, and that fill and every later one
// like it lay the kept coverage over the picture with their own source. cairo's coverage of a
// path depends on nothing else, so only the blending of a pixel, done by the mask instead of by
// cairo's spans, can round a level the other way.
#include <cairo.h>

#include <cstddef>
#include <vector>

namespace dv::gfx::detail {

class RepeatedFill {
public:
    RepeatedFill() = default;
    RepeatedFill(const RepeatedFill&) = delete;
    RepeatedFill& operator=(const RepeatedFill&) = delete;
    ~RepeatedFill();

    /// Fills the path on `cr` with its source, fill rule and antialiasing, and clears the path,
    /// as cairo_fill does. The matrix of `cr` must be the identity. Fills of other operators
    /// than OVER, on targets other than images, or reaching more than 2^24 pixels are left to
    /// cairo_fill.
    void fill(cairo_t* cr);

    /// Fills drawn from a kept coverage so far.
    std::size_t reused() const { return reused_; }

private:
    struct Key {
        std::vector<double> path;  // the kind of each part, then its points
        cairo_fill_rule_t rule = CAIRO_FILL_RULE_WINDING;
        cairo_antialias_t antialias = CAIRO_ANTIALIAS_DEFAULT;
        double tolerance = 0;
        double clip[4] = {0, 0, 0, 0};
        double device[4] = {0, 0, 0, 0};  // the target's offset and scale
        bool operator==(const Key&) const = default;
    };
    void forgetCoverage();

    Key last_;
    bool hasLast_ = false;
    cairo_surface_t* coverage_ = nullptr;  // over the whole pixels the fill reaches in the clip, from (x_, y_)
    int x_ = 0, y_ = 0;
    std::size_t reused_ = 0;
};

} // namespace dv::gfx::detail

#pragma once
// A board can hold the same heavy shape many times over (an element copied again and again, or
// stacked copies of one long freehand stroke), and each fill of it costs cairo every edge on
// every row it crosses: a hundred copies of a 100,000-point stroke took 17 s at 1024 pixels.
// The last heavy fill drawn on a picture is remembered; when the next one has the same path
// (point for point, as its caller spells it out), fill rule, antialiasing, tolerance, clip and
// device space, its coverage is rasterised once more into a mask and kept, and every later fill
// like it lays the kept coverage over the picture with its own source, without its path being
// made. cairo's coverage of a path depends on nothing else, so only the blending of a pixel,
// done by the mask instead of by cairo's spans, can round a level the other way.
#include <cairo.h>

#include <array>
#include <cstddef>
#include <functional>
#include <vector>

namespace dv::gfx::detail {

class RepeatedFill {
public:
    /// What decides a fill's coverage: the path, and the state of the context it is filled on.
    struct Key {
        std::vector<double> path;  // whatever numbers spell the path out, in device space
        cairo_fill_rule_t rule = CAIRO_FILL_RULE_WINDING;
        cairo_antialias_t antialias = CAIRO_ANTIALIAS_DEFAULT;
        double tolerance = 0;
        double clip[4] = {0, 0, 0, 0};
        double device[4] = {0, 0, 0, 0};  // the target's offset and scale
        bool keeps = false;  // laid over a picture of pixels: a fill whose coverage can be kept
        bool operator==(const Key&) const = default;
    };

    RepeatedFill() = default;
    RepeatedFill(const RepeatedFill&) = delete;
    RepeatedFill& operator=(const RepeatedFill&) = delete;
    ~RepeatedFill();

    /// The key of a fill of `path` on `cr`, whose matrix must be the identity and whose fill
    /// rule, antialiasing, tolerance and operator are those of the fill.
    static Key keyOf(cairo_t* cr, std::vector<double> path);

    /// Lays the kept coverage over `cr` with its source, and clears its path, when the coverage
    /// was kept for a fill of `key`; false, drawing nothing, otherwise.
    bool lay(cairo_t* cr, const Key& key);

    /// Fills the path on `cr`, the one `key` spells out, with its source, and clears the path,
    /// as cairo_fill does; when the last fill had the same key, its coverage is kept for the
    /// next. Fills of other operators than OVER, on targets other than images, or reaching more
    /// than 2^24 pixels are left to cairo_fill.
    void fill(cairo_t* cr, Key key);

    /// The same for a fill not made on `cr` as a path: `fillOn` fills it, with the source set
    /// on the context it is given, which is `cr` or a mask whose user space is that of `cr`;
    /// `extents` gives, when the coverage is to be kept, a box (x0, y0, x1, y1 in the user
    /// space of `cr`) holding everything it can reach.
    void fill(cairo_t* cr, Key key, const std::function<void(cairo_t*)>& fillOn,
              const std::function<std::array<double, 4>()>& extents);

    /// The next fill is taken as unlike the last one.
    void forget();

    /// Fills drawn from a kept coverage so far.
    std::size_t reused() const { return reused_; }

private:
    void forgetCoverage();

    Key last_;
    cairo_surface_t* coverage_ = nullptr;  // over the whole pixels the fill reaches in the clip, from (x_, y_)
    int x_ = 0, y_ = 0;
    std::size_t reused_ = 0;
};

} // namespace dv::gfx::detail

#include "Platform/Graphics/detail/DashedStroke.hpp"

#include <algorithm>
#include <cmath>
#include <optional>

namespace dv::gfx::detail {

namespace {

// cairo ends a dash element once less than half a grid step of it is left.
constexpr double DASH_EPSILON = 1.0 / 512;

// An odd list repeats once more, so that on and off elements alternate.
std::vector<double> alternating(const std::vector<double>& lengths) {
    std::vector<double> out = lengths;
    if (out.size() % 2) out.insert(out.end(), lengths.begin(), lengths.end());
    return out;
}

double sum(const std::vector<double>& lengths) {
    double total = 0;
    for (double l : lengths) total += l;
    return total;
}

// Where in the pattern a walk along the stroke is, stepped the way cairo steps it.
class DashWalk {
public:
    explicit DashWalk(const DashPattern& dash) : lengths_(alternating(dash.lengths)), period_(sum(lengths_)) {
        offset_ = std::fmod(dash.offset, period_);
        if (offset_ < 0) offset_ += period_;
    }

    double period() const { return period_; }
    std::size_t elements() const { return lengths_.size(); }
    bool on() const { return on_; }
    double remain() const { return remain_; }

    // Every subpath starts the pattern afresh at the offset.
    void start() {
        index_ = 0;
        on_ = true;
        double offset = offset_;
        while (offset > 0 && offset >= lengths_[index_]) {
            offset -= lengths_[index_];
            next();
        }
        remain_ = lengths_[index_] - offset;
    }

    // One step of at most what is left of the current element.
    void step(double length) {
        remain_ -= length;
        if (remain_ < DASH_EPSILON) {
            next();
            remain_ += lengths_[index_];
        }
    }

    // Moves on by any finite length without stepping through the periods in between.
    void skip(double length) {
        if (length < remain_) {
            remain_ -= length;
            return;
        }
        length -= remain_;
        next();
        remain_ = lengths_[index_];
        length = std::fmod(length, period_);
        for (std::size_t guard = 0; length >= remain_ && guard < 2 * lengths_.size(); ++guard) {
            length -= remain_;
            next();
            remain_ = lengths_[index_];
        }
        remain_ = std::max(remain_ - length, 0.0);
    }

private:
    void next() {
        index_ = (index_ + 1) % lengths_.size();
        on_ = !on_;
    }

    std::vector<double> lengths_;
    double period_;
    double offset_ = 0;
    std::size_t index_ = 0;
    bool on_ = true;
    double remain_ = 0;
};

// Open polylines being built along the walk; one that is still open when a closed subpath
// ends joins the one that began at its start, as cairo joins the last dash to the first.
class Runs {
public:
    explicit Runs(std::vector<Polyline>& out) : out_(out) {}

    void beginSubpath() {
        open_ = false;
        head_.reset();
    }

    void extend(Vec2 from, Vec2 to, bool atSubpathStart) {
        if (!open_) {
            if (atSubpathStart) head_ = out_.size();
            out_.push_back({{from}, false});
            open_ = true;
        }
        out_.back().points.push_back(to);
    }

    void end() { open_ = false; }

    void endSubpath(bool closed) {
        if (closed && open_ && head_) {
            if (*head_ + 1 == out_.size()) {
                out_.back().closed = true;
            } else {
                std::vector<Vec2>& first = out_[*head_].points;
                out_.back().points.insert(out_.back().points.end(), first.begin() + 1, first.end());
                first.clear();
            }
        }
        end();
    }

private:
    std::vector<Polyline>& out_;
    bool open_ = false;
    std::optional<std::size_t> head_;
};

// Calls `segment(a, b)` for every segment of a subpath, the closing one included.
template <typename F>
void forEachSegment(const Polyline& line, F&& segment) {
    const auto& p = line.points;
    for (std::size_t i = 1; i < p.size(); ++i) segment(p[i - 1], p[i]);
    if (line.closed && p.size() > 1) segment(p.back(), p.front());
}

} // namespace

double LinearMap::userLength(double dx, double dy) const {
    if (dx == 0 && dy == 0) return 0;
    // Inverted as cairo inverts: the adjugate times the reciprocal of the determinant. Where an
    // entry overflows (a determinant among the subnormals), cairo measures every length as NaN
    // and its dasher never ends, whatever the direction.
    const double r = 1 / (a * d - b * c);
    const double ia = d * r, ib = -b * r, ic = -c * r, id = a * r;
    if (!(std::isfinite(ia) && std::isfinite(ib) && std::isfinite(ic) && std::isfinite(id))) return HUGE_VAL;
    const double length = std::hypot(ia * dx + ic * dy, ib * dx + id * dy);
    return std::isfinite(length) ? length : HUGE_VAL;
}

double dashSteps(const std::vector<Polyline>& path, const LinearMap& map, const DashPattern& dash) {
    const std::vector<double> lengths = alternating(dash.lengths);
    const double period = sum(lengths);
    if (!(period > 0)) return 0;
    const double perLength = static_cast<double>(lengths.size()) / period;
    double steps = 0;
    for (const Polyline& line : path)
        forEachSegment(line, [&](Vec2 a, Vec2 b) {
            if (a.x == b.x && a.y == b.y) return;
            if (!(std::fabs(b.x - a.x) < GUARD_LIMIT && std::fabs(b.y - a.y) < GUARD_LIMIT)) steps = HUGE_VAL;
            // A length cairo cannot measure never runs out, however long the dashes (a pattern
            // whose sum overflows has no period to divide it by).
            const double user = map.userLength(b.x - a.x, b.y - a.y);
            steps += std::isfinite(user) ? user * perLength + 1 : HUGE_VAL;
        });
    return steps;
}

DashedPieces dashWithin(const std::vector<Polyline>& path, const LinearMap& map, const DashPattern& dash,
                        double x0, double y0, double x1, double y1, std::size_t maxDashes) {
    DashedPieces pieces;
    DashWalk walk(dash);
    if (!(walk.period() > 0)) return pieces;
    Runs dashes(pieces.dashes), averaged(pieces.averaged);
    double steps = 0;
    for (const Polyline& line : path) {
        walk.start();
        dashes.beginSubpath();
        averaged.beginSubpath();
        bool atStart = true;
        auto pass = [&](double length) {
            dashes.end();
            averaged.end();
            if (std::isfinite(length)) walk.skip(length);
            atStart = false;
        };
        forEachSegment(line, [&](Vec2 a, Vec2 b) {
            if (a.x == b.x && a.y == b.y) return;
            const double user = map.userLength(b.x - a.x, b.y - a.y);
            double t0, t1;
            if (!clipParameters(a, b, x0, y0, x1, y1, t0, t1)) return pass(user);
            if (t0 > 0) pass(user * t0);
            const Vec2 from = lerp(a, b, t0), to = lerp(a, b, t1);
            const double inside = user * (t1 - t0);
            const double devicePeriod = walk.period() * std::hypot(b.x - a.x, b.y - a.y) / user;
            const double needed = inside / walk.period() * static_cast<double>(walk.elements()) + 1;
            if (!std::isfinite(user) || devicePeriod < DASH_GRAIN || steps + needed > static_cast<double>(maxDashes)) {
                dashes.end();
                averaged.extend(from, to, atStart);
                if (std::isfinite(inside)) walk.skip(inside);
            } else {
                averaged.end();
                steps += needed;
                // Cutting the segment at the window leaves rounding in `inside`: a last sliver
                // of it would start a dash that is not there.
                double left = inside;
                while (left > inside * 1e-12) {
                    const double length = std::min(walk.remain(), left);
                    const double done = inside - left;
                    left -= length;
                    if (walk.on())
                        dashes.extend(lerp(from, to, done / inside), lerp(from, to, (inside - left) / inside),
                                      atStart && done == 0);
                    walk.step(length);
                    if (!walk.on()) dashes.end();
                }
                walk.skip(left);
            }
            atStart = false;
            if (t1 < 1) pass(user * (1 - t1));
        });
        dashes.endSubpath(line.closed);
        averaged.endSubpath(line.closed);
    }
    return pieces;
}

double dashCoverage(const DashPattern& dash, double lineWidth, LineCap cap) {
    const std::vector<double> lengths = alternating(dash.lengths);
    const double period = sum(lengths);
    if (!(period > 0)) return 1;
    // A cap adds to the dash it ends at most the gap up to the next dash; a round one, about the
    // share of its square that its disc fills.
    const double capShare = cap == LineCap::butt ? 0 : cap == LineCap::square ? 1 : 9 * 3.141592653589793 / 32;
    double stroked = 0;
    for (std::size_t i = 0; i + 1 < lengths.size(); i += 2) stroked += lengths[i] + capShare * std::min(lengths[i + 1], lineWidth);
    return std::min(stroked / period, 1.0);
}

} // namespace dv::gfx::detail

#include "Platform/Graphics/detail/SparseStroke.hpp"

#include "Platform/Graphics/detail/SharedWork.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <mutex>
#include <numeric>
#include <optional>
#include <tuple>
#include <utility>

namespace dv::gfx::detail {

namespace {

using Wide = __int128;

// cairo rounds the corners of its outline to 1/256 of a pixel: every reach is widened, and the
// pen's half width narrowed, by a few of its steps.
constexpr double SLACK = 1.0 / 256;
// The pen must stretch every direction alike to within this ratio.
constexpr double EVEN_STRETCH = 0.999;
// A spoke may stray this far (device pixels) outside the region between the neighbours kept in
// its place: far below what cairo's grid resolves.
constexpr double STRAY = 1.0 / 256;

struct GridPt {
    std::int64_t x, y;
    bool operator==(const GridPt&) const = default;
};

GridPt onGrid(Vec2 p) { return {std::llround(p.x * 256), std::llround(p.y * 256)}; }

struct Segment {
    std::size_t line = 0, index = 0;  // from the line's point `index` to the next one
    GridPt a, b;
    Vec2 pa, pb;
    std::size_t component = 0;
    Wide lo = 0, hi = 0;  // along the component's line
    enum : std::uint8_t { kept, betweenNeighbours, insideRail } state = kept;
};

// Segments along one line whose spans overlap. Along the line a point lies at dx·x + dy·y.
struct Component {
    std::int64_t dx = 0, dy = 0;
    Wide c = 0, lo = 0, hi = 0;
    double pixelsPerStep = 0;  // device pixels per unit of the position along the line
    bool rail = false;
    Wide at(GridPt p) const { return Wide(dx) * p.x + Wide(dy) * p.y; }
    // How far inside the component's ends the point at `t` lies, in device pixels.
    double inside(Wide t) const { return static_cast<double>(std::min(t - lo, hi - t)) * pixelsPerStep; }
};

struct Line {
    std::vector<Vec2> points;
    bool closed = false;
    std::size_t first = 0, count = 0;  // its segments
};

Vec2 unit(Vec2 from, Vec2 to) {
    const double dx = to.x - from.x, dy = to.y - from.y, l = std::hypot(dx, dy);
    return {dx / l, dy / l};
}

// The pieces, found for the whole path: nothing here depends on the rows drawn.
std::optional<std::vector<Polyline>> findPieces(const std::vector<Polyline>& path, const StrokePen& pen,
                                                std::size_t minSegments, SparseStrokeWork* work) {
    const LinearMap& m = pen.map;
    const double p = m.a * m.a + m.b * m.b + m.c * m.c + m.d * m.d;
    const double det = std::fabs(m.a * m.d - m.b * m.c);
    const double most = std::sqrt((p + std::sqrt(std::fmax(0.0, p * p - 4 * det * det))) / 2);
    if (!(most > 0) || !(det / most >= most * EVEN_STRETCH)) return std::nullopt;
    const double half = pen.halfWidth * most;  // the pen's half width in device pixels
    // Neighbours whose ends lie this close together leave no point between them unreached.
    const double closeEnough = 2 * (half * EVEN_STRETCH - 2 * SLACK);
    if (!(closeEnough > 0) || !std::isfinite(half)) return std::nullopt;

    // Lines without repeated points, and their segments.
    std::vector<Line> lines;
    std::vector<Segment> segments;
    for (const Polyline& in : path) {
        Line line;
        line.closed = in.closed;
        for (const Vec2& v : in.points)
            if (line.points.empty() || !(onGrid(line.points.back()) == onGrid(v))) line.points.push_back(v);
        const std::size_t n = line.points.size();
        if (line.closed && n > 1 && onGrid(line.points.back()) == onGrid(line.points.front())) line.points.pop_back();
        line.first = segments.size();
        line.count = n < 2 ? 0 : line.closed ? line.points.size() : n - 1;
        for (std::size_t k = 0; k < line.count; ++k) {
            Segment s;
            s.line = lines.size();
            s.index = k;
            s.pa = line.points[k];
            s.pb = line.points[(k + 1) % line.points.size()];
            s.a = onGrid(s.pa);
            s.b = onGrid(s.pb);
            segments.push_back(s);
        }
        lines.push_back(std::move(line));
    }
    if (work) work->segmentsWeighed += segments.size();
    if (segments.size() < minSegments) return std::nullopt;
    auto before = [&](const Segment& s) -> const Segment* {
        const Line& l = lines[s.line];
        if (s.index > 0) return &segments[l.first + s.index - 1];
        return l.closed ? &segments[l.first + l.count - 1] : nullptr;
    };
    auto after = [&](const Segment& s) -> const Segment* {
        const Line& l = lines[s.line];
        if (s.index + 1 < l.count) return &segments[l.first + s.index + 1];
        return l.closed ? &segments[l.first] : nullptr;
    };

    // Components: segments sorted by line, then along it.
    std::vector<Component> components;
    {
        struct Key {
            std::int64_t dx, dy;
            Wide c, lo, hi;
            std::size_t segment;
        };
        std::vector<Key> keys;
        keys.reserve(segments.size());
        for (std::size_t i = 0; i < segments.size(); ++i) {
            const Segment& s = segments[i];
            std::int64_t dx = s.b.x - s.a.x, dy = s.b.y - s.a.y;
            const std::int64_t g = std::gcd(dx, dy);
            dx /= g;
            dy /= g;
            if (dx < 0 || (dx == 0 && dy < 0)) dx = -dx, dy = -dy;
            const Wide c = Wide(dx) * s.a.y - Wide(dy) * s.a.x;
            const Wide ta = Wide(dx) * s.a.x + Wide(dy) * s.a.y, tb = Wide(dx) * s.b.x + Wide(dy) * s.b.y;
            keys.push_back({dx, dy, c, std::min(ta, tb), std::max(ta, tb), i});
        }
        std::sort(keys.begin(), keys.end(), [](const Key& u, const Key& v) {
            return std::tie(u.dx, u.dy, u.c, u.lo) < std::tie(v.dx, v.dy, v.c, v.lo);
        });
        for (std::size_t k = 0; k < keys.size(); ++k) {
            const Key& key = keys[k];
            const bool joins = k > 0 && keys[k - 1].dx == key.dx && keys[k - 1].dy == key.dy &&
                               keys[k - 1].c == key.c && key.lo <= components.back().hi;
            if (!joins) {
                Component comp;
                comp.dx = key.dx;
                comp.dy = key.dy;
                comp.c = key.c;
                comp.lo = key.lo;
                comp.hi = key.hi;
                comp.pixelsPerStep = 1 / (256 * std::hypot(double(key.dx), double(key.dy)));
                components.push_back(comp);
            }
            components.back().hi = std::max(components.back().hi, key.hi);
            Segment& s = segments[key.segment];
            s.component = components.size() - 1;
            s.lo = key.lo;
            s.hi = key.hi;
        }
    }

    // How far along a rail a join or cap at one of its points reaches: the pen's half width, or
    // the tip of a mitre between the rail and a segment leaving it along `other`.
    auto reachAlong = [&](const Component& rail, std::optional<Vec2> other) {
        const double l = 1 / (256 * rail.pixelsPerStep);
        const Vec2 along{double(rail.dx) / l, double(rail.dy) / l};
        double reach = half;
        if (pen.join == LineJoin::miter && other) {
            const double chord = std::min(std::hypot(along.x - other->x, along.y - other->y),
                                          std::hypot(along.x + other->x, along.y + other->y));
            if (chord > 0 && 2 / chord <= pen.miterLimit) reach = std::max(reach, half * 2 / chord);
        }
        return reach + 2 * SLACK;
    };

    // Segments between two rails: each end a point inside the rail its neighbour runs along.
    struct Spoke {
        std::size_t segment;
        std::size_t railA, railB;
        Wide tA, tB;
        GridPt a, b;
        Vec2 from, normal;  // device space: a, and the unit normal of the spoke's line
    };
    std::vector<Spoke> spokes;
    for (std::size_t i = 0; i < segments.size(); ++i) {
        const Segment& s = segments[i];
        const Segment* prev = before(s);
        const Segment* next = after(s);
        if (!prev || !next || prev->component == s.component || next->component == s.component) continue;
        const Component& ra = components[prev->component];
        const Component& rb = components[next->component];
        const Vec2 u = unit(s.pa, s.pb);
        const Wide ta = ra.at(s.a), tb = rb.at(s.b);
        if (ra.inside(ta) < reachAlong(ra, u) || rb.inside(tb) < reachAlong(rb, u)) continue;
        if (prev->component < next->component)
            spokes.push_back({i, prev->component, next->component, ta, tb, s.a, s.b, s.pa, Vec2{-u.y, u.x}});
        else
            spokes.push_back({i, next->component, prev->component, tb, ta, s.b, s.a, s.pb, Vec2{u.y, -u.x}});
    }
    // A rail must stay whole: a segment along one is not a spoke.
    for (const Spoke& sp : spokes) components[sp.railA].rail = components[sp.railB].rail = true;
    std::erase_if(spokes, [&](const Spoke& sp) { return components[segments[sp.segment].component].rail; });

    // How far the spoke strays from the region between two others: the points on either side
    // of both their lines, which everything in it is closer to than half the pen's width.
    auto strayFrom = [&](const Spoke& c, const Spoke& k1, const Spoke& k2) {
        auto side = [](const Spoke& k, GridPt q) {
            return k.normal.x * (double(q.x) / 256 - k.from.x) + k.normal.y * (double(q.y) / 256 - k.from.y);
        };
        const double f0 = side(k1, c.a), f1 = side(k1, c.b), g0 = side(k2, c.a), g1 = side(k2, c.b);
        double stray = 0;
        auto at = [&](double t) {
            if (!(t >= 0 && t <= 1)) return;
            const double f = f0 + (f1 - f0) * t, g = g0 + (g1 - g0) * t;
            if ((f > 0 && g > 0) || (f < 0 && g < 0)) stray = std::max(stray, std::min(std::fabs(f), std::fabs(g)));
        };
        at(0);
        at(1);
        if (f1 != f0) at(f0 / (f0 - f1));
        if (g1 != g0) at(g0 / (g0 - g1));
        if ((f1 - f0) != (g1 - g0)) at((g0 - f0) / ((f1 - f0) - (g1 - g0)));
        if ((f1 - f0) != -(g1 - g0)) at(-(g0 + f0) / ((f1 - f0) + (g1 - g0)));
        return stray;
    };
    // Along each pair of rails, between each kept spoke and the furthest next one whose ends lie
    // close enough to its own on both rails, with every spoke passed on the way between the two
    // on both rails and within the region between them, the spokes are left out.
    std::sort(spokes.begin(), spokes.end(), [](const Spoke& u, const Spoke& v) {
        return std::tie(u.railA, u.railB, u.tA, u.tB) < std::tie(v.railA, v.railB, v.tA, v.tB);
    });
    std::vector<std::size_t> candidates;
    for (std::size_t g = 0; g < spokes.size();) {
        std::size_t end = g;
        while (end < spokes.size() && spokes[end].railA == spokes[g].railA && spokes[end].railB == spokes[g].railB) ++end;
        const Component& ra = components[spokes[g].railA];
        const Component& rb = components[spokes[g].railB];
        for (std::size_t i = g; i + 1 < end;) {
            const Spoke& k1 = spokes[i];
            std::size_t best = i + 1;
            candidates.clear();
            Wide lowest = 0, highest = 0;  // positions on the second rail of the spokes passed
            for (std::size_t j = i + 1; j < end; ++j) {
                const Spoke& k2 = spokes[j];
                if (static_cast<double>(k2.tA - k1.tA) * ra.pixelsPerStep > closeEnough) break;
                const Wide lo = std::min(k1.tB, k2.tB), hi = std::max(k1.tB, k2.tB);
                const bool between = j == i + 1 || (lowest >= lo && highest <= hi);
                const bool near = static_cast<double>(hi - lo) * rb.pixelsPerStep <= closeEnough;
                if (between && near) candidates.push_back(j);
                lowest = j == i + 1 ? k2.tB : std::min(lowest, k2.tB);
                highest = j == i + 1 ? k2.tB : std::max(highest, k2.tB);
            }
            // The furthest candidate that every spoke between strays from by no more than the grid.
            for (auto it = candidates.rbegin(); it != candidates.rend(); ++it) {
                bool inside = true;
                for (std::size_t c = i + 1; c < *it && inside; ++c) inside = strayFrom(spokes[c], k1, spokes[*it]) <= STRAY;
                if (inside) {
                    best = *it;
                    break;
                }
            }
            for (std::size_t j = i + 1; j < best; ++j) segments[spokes[j].segment].state = Segment::betweenNeighbours;
            i = best;
        }
        g = end;
    }

    // Along each rail, the fewest segments that cover it; the others left out where their ends,
    // and the stub a piece may end with along them, keep clear of the rail's ends.
    constexpr double stub = 1;
    {
        std::vector<std::size_t> along;
        for (std::size_t i = 0; i < segments.size(); ++i)
            if (components[segments[i].component].rail) along.push_back(i);
        std::sort(along.begin(), along.end(), [&](std::size_t u, std::size_t v) {
            return std::tie(segments[u].component, segments[u].lo) < std::tie(segments[v].component, segments[v].lo);
        });
        std::vector<bool> covering(segments.size(), false);
        for (std::size_t k = 0; k < along.size();) {
            const std::size_t comp = segments[along[k]].component;
            std::size_t end = k;
            while (end < along.size() && segments[along[end]].component == comp) ++end;
            Wide reached = components[comp].lo;
            std::size_t next = k;
            while (reached < components[comp].hi && next < end) {
                std::size_t pick = along[next];
                for (; next < end && segments[along[next]].lo <= reached; ++next)
                    if (segments[along[next]].hi > segments[pick].hi) pick = along[next];
                covering[pick] = true;
                if (segments[pick].hi <= reached) break;  // cannot happen: the members overlap
                reached = segments[pick].hi;
            }
            k = end;
        }
        for (const std::size_t i : along) {
            Segment& s = segments[i];
            if (covering[i]) continue;
            const Component& rail = components[s.component];
            bool clear = true;
            for (const auto& [at, other] : {std::pair{s.a, before(s)}, std::pair{s.b, after(s)}}) {
                std::optional<Vec2> u;
                if (other && other->component != s.component) u = unit(other->pa, other->pb);
                clear = clear && rail.inside(rail.at(at)) >= reachAlong(rail, u) + stub;
            }
            if (clear) s.state = Segment::insideRail;
        }
    }

    std::size_t keptCount = 0;
    for (const Segment& s : segments) keptCount += s.state == Segment::kept;
    if (keptCount * 2 > segments.size()) return std::nullopt;

    // The kept segments, joined into pieces along each line.
    std::vector<Polyline> pieces;
    for (const Line& line : lines) {
        if (line.count == 0) {
            pieces.push_back({line.points, line.closed});
            continue;
        }
        std::size_t start = 0;  // a closed line starts after a segment left out, if it has one
        bool all = true;
        for (std::size_t k = 0; k < line.count; ++k)
            if (segments[line.first + k].state != Segment::kept) {
                start = (k + 1) % line.count;
                all = false;
            }
        if (all) {
            pieces.push_back({line.points, line.closed});
            continue;
        }
        bool open = false;
        for (std::size_t step = 0; step < line.count; ++step) {
            const Segment& s = segments[line.first + (start + step) % line.count];
            const Segment* prev = before(s);
            const Segment* next = after(s);
            if (s.state != Segment::kept) {
                open = false;
                continue;
            }
            if (!open) {
                pieces.emplace_back();
                if (prev && prev->state == Segment::insideRail) {
                    const double l = std::hypot(prev->pb.x - prev->pa.x, prev->pb.y - prev->pa.y);
                    pieces.back().points.push_back(lerp(prev->pb, prev->pa, std::min(1.0, stub / l)));
                }
                pieces.back().points.push_back(s.pa);
                open = true;
            }
            pieces.back().points.push_back(s.pb);
            if (!next || next->state != Segment::kept || (line.closed && step + 1 == line.count)) {
                if (next && next->state == Segment::insideRail) {
                    const double l = std::hypot(next->pb.x - next->pa.x, next->pb.y - next->pa.y);
                    pieces.back().points.push_back(lerp(next->pa, next->pb, std::min(1.0, stub / l)));
                }
                open = false;
            }
        }
    }
    return pieces;
}

// The bands of a picture each stroke the same path with the same pen; the first to ask finds
// the pieces and the others wait for them. Strokes just found are kept for the bands drawn
// one after another.
constexpr std::size_t KEPT_STROKES = 4;

class SharedStroke {
public:
    SharedStroke(const std::vector<Polyline>& path, const StrokePen& pen, std::size_t minSegments, std::uint64_t hash)
        : path_(path), pen_(pen), minSegments_(minSegments), hash_(hash) {}

    bool strokes(const std::vector<Polyline>& path, const StrokePen& pen, std::size_t minSegments,
                 std::uint64_t hash) const {
        if (hash != hash_ || minSegments != minSegments_ || path.size() != path_.size() ||
            pen.halfWidth != pen_.halfWidth || pen.map.a != pen_.map.a || pen.map.b != pen_.map.b ||
            pen.map.c != pen_.map.c || pen.map.d != pen_.map.d || pen.cap != pen_.cap || pen.join != pen_.join ||
            pen.miterLimit != pen_.miterLimit)
            return false;
        for (std::size_t k = 0; k < path.size(); ++k)
            if (path[k].closed != path_[k].closed || !samePoints(path[k].points, path_[k].points)) return false;
        return true;
    }

    // Found once, by whichever call comes first; the others wait for it. A call that fails
    // (out of memory) leaves the finding to the next.
    const std::optional<std::vector<Polyline>>& pieces(SparseStrokeWork* work) {
        std::call_once(found_, [&] { pieces_ = findPieces(path_, pen_, minSegments_, work); });
        return pieces_;
    }

private:
    const std::vector<Polyline> path_;
    const StrokePen pen_;
    const std::size_t minSegments_;
    const std::uint64_t hash_;
    std::once_flag found_;
    std::optional<std::vector<Polyline>> pieces_;
};

} // namespace

std::optional<std::vector<Polyline>> sparseStroke(const std::vector<Polyline>& path, const StrokePen& pen,
                                                  std::size_t minSegments, SparseStrokeWork* work) {
    // Repeated points only take segments away: a path too light before is too light after, and
    // is not worth keeping.
    std::size_t most = 0;
    for (const Polyline& line : path) most += line.points.size();
    if (most < minSegments) {
        if (work) work->segmentsWeighed += most;
        return std::nullopt;
    }
    static KeptWork<SharedStroke, KEPT_STROKES> kept;
    PointHash h;
    for (const Polyline& line : path) {
        h.mix(line.closed ? 1.0 : 0.0);
        h.mix(line.points);
    }
    const std::uint64_t hash = h.value();
    const auto shared = kept.find([&](const SharedStroke& s) { return s.strokes(path, pen, minSegments, hash); },
                                  [&] { return std::make_shared<SharedStroke>(path, pen, minSegments, hash); });
    return shared->pieces(work);
}

} // namespace dv::gfx::detail

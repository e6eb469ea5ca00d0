#include "Platform/Graphics/detail/SparseFill.hpp"

#include "Platform/Graphics/BandedDrawing.hpp"
#include "Platform/Graphics/Parallelism.hpp"
#include "Platform/Graphics/detail/SharedWork.hpp"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <new>

namespace dv::gfx::detail {

namespace {

// An edge as drawn, with its ends also sorted top to bottom. `dir` is +1 for an edge drawn
// downwards (0 for a level one); a point counts the edges that cross its row to its left, each
// with its `dir`. A level edge counts for no point, but the winding still changes across it.
struct Edge {
    Vec2 from, to;
    double xTop, yTop, xBottom, yBottom;
    int dir;

    double xAt(double y) const {
        return dir == 0 ? xTop : xTop + (y - yTop) * ((xBottom - xTop) / (yBottom - yTop));
    }
};

constexpr double TOUCH_SLACK = 1e-7;

// The rows of the window an edge passes through, with the span of columns it touches in each
// (the closed pixel boxes, widened a little so that an edge along a pixel side touches both)
// and where it enters the row (at its top, or at the row's top line below it). Where the edge
// leaves a row it enters the next: one point of it is reckoned for each row.
template <typename Visit>
void forEachRow(const Edge& e, const PixelRange& w, Visit&& visit) {
    // Coordinates are finite here, so the plain comparisons serve.
    const double first = std::max(std::floor(e.yTop), double(w.y0));
    const double last = std::min(std::max(std::ceil(e.yBottom) - 1, std::floor(e.yTop)), double(w.y1 - 1));
    if (first > last) return;
    // As Edge::xAt reckons it.
    const double slope = e.dir == 0 ? 0 : (e.xBottom - e.xTop) / (e.yBottom - e.yTop);
    auto xAt = [&](double y) { return e.dir == 0 ? e.xTop : e.xTop + (y - e.yTop) * slope; };
    double xa = xAt(std::max(first, e.yTop));
    for (double row = first; row <= last; ++row) {
        const double xb = e.dir == 0 ? e.xBottom : xAt(std::min(row + 1, e.yBottom));
        const double lo = std::floor(std::min(xa, xb) - TOUCH_SLACK), hi = std::floor(std::max(xa, xb) + TOUCH_SLACK);
        if (hi < w.x0 || lo >= w.x1) visit(static_cast<int>(row), 1, 0, xa);
        else
            visit(static_cast<int>(row), static_cast<int>(std::max(lo, double(w.x0))),
                  static_cast<int>(std::min(hi, double(w.x1 - 1))), xa);
        xa = xb;
    }
}

// The part of an edge inside a box, in the edge's own direction; none when it only touches it.
bool clipToBox(Vec2 a, Vec2 b, double x0, double y0, double x1, double y1, Vec2& outA, Vec2& outB) {
    double t0, t1;
    if (!clipParameters(a, b, x0, y0, x1, y1, t0, t1) || !(t0 < t1)) return false;
    outA = lerp(a, b, t0);
    outB = lerp(a, b, t1);
    return true;
}

// Winding +1 (or -1) over [x0, x1) × [y0, y1): down the left side, up the right.
Quad box(double x0, double y0, double x1, double y1, int sign) {
    if (sign > 0) return {Vec2{x0, y0}, Vec2{x0, y1}, Vec2{x1, y1}, Vec2{x1, y0}};
    return {Vec2{x0, y1}, Vec2{x0, y0}, Vec2{x1, y0}, Vec2{x1, y1}};
}

// An edge of a closed loop, or nothing for a point.
std::optional<Edge> edgeOf(Vec2 a, Vec2 b) {
    if (a.x == b.x && a.y == b.y) return std::nullopt;
    if (a.y > b.y) return Edge{a, b, b.x, b.y, a.x, a.y, -1};
    return Edge{a, b, a.x, a.y, b.x, b.y, a.y == b.y ? 0 : 1};
}

enum : std::uint8_t { empty, covered, undecided };

// Some rows of the window (all its columns), weighed and then drawn apart from the others. Every
// count here belongs to a pixel of these rows alone, taken from the edges where they cross
// them, so rows taken apart give the loops they would give within the whole window, and the
// work done for them grows with their own rows, not with the picture's.
class Cells {
public:
    Cells(PixelRange rows) : window(rows), width(rows.x1 - rows.x0), height(rows.y1 - rows.y0),
                             cells(static_cast<std::size_t>(width * height)) {}

    /// Decides the pixels the winding alone decides; `left` weighs what the others would cost.
    /// `level` holds the level edges lying inside these rows, ordered by height.
    void weigh(const std::vector<Edge>& edges, const std::vector<const Edge*>& level);
    /// The loops of these rows, once weighed; what only the weighing needed is let go.
    void draw(const std::vector<Edge>& edges, const std::vector<const Edge*>& level);
    /// Lets go of everything but the counts.
    void release() {
        releaseWeighing();
        loops = {};
    }

    PixelRange window;
    double left = 0;
    std::vector<Quad> loops;
    std::size_t loopCount = 0;  // kept once the loops are let go
    std::size_t edgeRowsVisited = 0, drawn = 0;

private:
    long long cornerColumn(double x) const {  // first corner strictly right of x; width + 1 for none
        const double c = std::floor(x - window.x0) + 1;
        return c <= 0 ? 0LL : c > width ? width + 1 : static_cast<long long>(c);
    }

    // Level edges at one height are taken together: what crossing them changes is their sum at
    // that point along the row (a stack of them can cancel, or change the winding by thousands
    // at once). Those on a row's top line change nothing inside the row, and are not listed.
    // Calls visit(row, column, sum at the column's left side, most the sum reaches inside it).
    template <typename Visit>
    void forEachLevel(const std::vector<const Edge*>& level, Visit&& visit) {
        std::vector<std::int32_t> along(static_cast<std::size_t>(width + 2), 0), ends(static_cast<std::size_t>(width + 2), 0);
        for (std::size_t g = 0; g < level.size();) {
            const double y = level[g]->yTop;
            std::size_t end = g;
            for (; end < level.size() && level[end]->yTop == y; ++end) {
                const Edge& e = *level[end];
                const int change = e.to.x < e.from.x ? 1 : -1;
                const long long a = cornerColumn(std::fmin(e.from.x, e.to.x)), b = cornerColumn(std::fmax(e.from.x, e.to.x));
                along[a] += change;
                along[b] -= change;
                ++ends[a];
                ++ends[b];
            }
            const int row = static_cast<int>(std::floor(y));
            std::int32_t net = along[0];
            for (long long x = 0; x < width; ++x) {
                const std::int32_t after = net + along[x + 1];
                const std::int32_t most = std::max(std::abs(net), std::abs(after)) + ends[x + 1];
                if (most != 0) visit(row, x, y, net, most);
                net = after;
            }
            std::fill(along.begin(), along.end(), 0);
            std::fill(ends.begin(), ends.end(), 0);
            g = end;
        }
    }

    // Lets go of what only the weighing and the drawing need.
    void releaseWeighing() {
        touching = {};
        state = {};
        corner = {};
    }

    long long width, height;
    std::size_t cells;
    // Per pixel, from the weighing: the sloped edges touching it, what it is, and the winding
    // at its top-left corner.
    std::vector<std::uint32_t> touching;
    std::vector<std::uint8_t> state;
    std::vector<std::int32_t> corner;
};

void Cells::weigh(const std::vector<Edge>& edges, const std::vector<const Edge*>& level) {
    // Per pixel: the sloped edges touching it, what the level edges in it can change, and the
    // winding at its top-left corner (taken from the crossings of each row's top line, half-open
    // in y as cairo takes them).
    touching.assign(cells, 0);
    std::vector<std::uint32_t> levelReach(cells, 0);
    std::vector<std::int32_t> winding(static_cast<std::size_t>((width + 1) * height), 0);
    for (const Edge& e : edges) {
        if (e.dir == 0) continue;
        forEachRow(e, window, [&](int row, int lo, int hi, double entry) {
            ++edgeRowsVisited;
            const std::size_t base = static_cast<std::size_t>(row - window.y0) * width;
            for (int col = lo; col <= hi; ++col) ++touching[base + (col - window.x0)];
            if (e.yTop <= row && row < e.yBottom) {
                const long long c = cornerColumn(entry);  // the edge at the row's top line
                if (c <= width) winding[static_cast<std::size_t>(row - window.y0) * (width + 1) + c] += e.dir;
            }
        });
    }
    forEachLevel(level, [&](int row, long long x, double, std::int32_t, std::int32_t most) {
        levelReach[static_cast<std::size_t>(row - window.y0) * width + x] += static_cast<std::uint32_t>(most);
    });

    // Decide what can be decided; weigh what is left.
    state.assign(cells, empty);
    corner.assign(cells, 0);
    left = 0;
    for (long long y = 0; y < height; ++y) {
        std::int32_t w = 0;
        for (long long x = 0; x < width; ++x) {
            w += winding[y * (width + 1) + x];
            const std::size_t at = y * width + x;
            corner[at] = w;
            const std::uint32_t reach = touching[at] + levelReach[at];
            if (reach == 0) state[at] = w != 0 ? covered : empty;
            else if (static_cast<std::uint32_t>(std::abs(w)) > reach) state[at] = covered;
            else {
                state[at] = undecided;
                left += 3.0 * touching[at] + 2;
            }
        }
    }
}

void Cells::draw(const std::vector<Edge>& edges, const std::vector<const Edge*>& level) {
    // Whole pixels inside, a rectangle for each run along a row.
    for (long long y = 0; y < height; ++y) {
        for (long long x = 0; x < width;) {
            if (state[y * width + x] != covered) {
                ++x;
                continue;
            }
            long long end = x;
            while (end < width && state[y * width + end] == covered) ++end;
            loops.push_back(box(double(window.x0 + x), double(window.y0 + y), double(window.x0 + end),
                                double(window.y0 + y + 1), 1));
            x = end;
        }
    }

    // Undecided pixels, one at a time: the winding carried in at the corner, the steps of the
    // winding down the left side where an edge crosses it below the corner (a level edge on the
    // top line, or a sloped one passing it on the side it ends on, is already in the corner's
    // winding), and the parts of the sloped edges inside, closed along the right side. The
    // winding down the left side is held within one more than those parts can add or take away
    // inside the pixel: beyond that no point of the pixel can reach zero either way.
    struct Step {
        std::size_t at;
        double y;
        int change;
    };
    std::vector<Step> steps;
    forEachLevel(level, [&](int row, long long x, double y, std::int32_t net, std::int32_t) {
        const std::size_t at = static_cast<std::size_t>(row - window.y0) * width + x;
        if (net != 0 && state[at] == undecided) steps.push_back({at, y, net});
    });
    std::stable_sort(steps.begin(), steps.end(), [](const Step& a, const Step& b) { return a.at < b.at; });

    // The sloped edges touching each undecided pixel, listed pixel by pixel.
    std::vector<std::size_t> first(cells + 1, 0);
    for (std::size_t at = 0; at < cells; ++at)
        first[at + 1] = first[at] + (state[at] == undecided ? touching[at] : 0);
    std::vector<std::uint32_t> incident(first[cells]);
    {
        std::vector<std::size_t> fill(first.begin(), first.end() - 1);
        for (std::size_t index = 0; index < edges.size(); ++index) {
            const Edge& e = edges[index];
            if (e.dir == 0) continue;
            forEachRow(e, window, [&](int row, int lo, int hi, double) {
                const std::size_t base = static_cast<std::size_t>(row - window.y0) * width;
                for (int col = lo; col <= hi; ++col) {
                    const std::size_t at = base + (col - window.x0);
                    if (state[at] == undecided) incident[fill[at]++] = static_cast<std::uint32_t>(index);
                }
            });
        }
    }

    std::vector<std::pair<double, int>> pixelSteps;
    struct Part {
        Vec2 a, b;
        int dir;
        double xAt(double y) const { return a.x + (y - a.y) * ((b.x - a.x) / (b.y - a.y)); }
        double top() const { return std::min(a.y, b.y); }
        double bottom() const { return std::max(a.y, b.y); }
    };
    std::vector<Part> parts;
    std::vector<const Part*> kept;
    std::vector<std::pair<double, long long>> profile;
    std::vector<long long> open;
    struct Span {
        double ya;
        std::pair<double, double> a;
        double yb;
        std::pair<double, double> b;
        int depth;
    };
    std::vector<Span> spans;
    // A pixel whose parts all run one way: along a row the winding moves steadily from the left
    // side's by one at each part, so it is zero at most between two neighbouring parts (or
    // between a side and the part next to it). The pixel is drawn whole with that gap cut out;
    // the gap's sides are followed down the pixel, finer where they bend or jump, to within a
    // small fraction of a pixel.
    std::vector<double> crossings;
    auto monotone = [&](double x0, double y0, int way) {
        const double x1 = x0 + 1;
        auto gap = [&](double y) -> std::pair<double, double> {
            auto starts = [](double v, const auto& i) { return v < i.first; };
            const auto it = std::upper_bound(profile.begin(), profile.end(), y, starts);
            const long long side = it == profile.begin() ? profile.front().second : (it - 1)->second;
            crossings.clear();
            for (const Part& p : parts)
                if (p.top() <= y && y <= p.bottom()) crossings.push_back(p.xAt(y));
            const long long n = static_cast<long long>(crossings.size()), k = -way * side;
            if (k < 0 || k > n) return {x0, x0};
            auto nth = [&](long long i) {
                std::nth_element(crossings.begin(), crossings.begin() + i, crossings.end());
                return crossings[static_cast<std::size_t>(i)];
            };
            const double left = k == 0 ? x0 : nth(k - 1);
            const double right = k == n ? x1 : nth(k);
            return {left, std::fmax(left, right)};
        };
        loops.push_back(box(x0, y0, x1, y0 + 1, 1));
        constexpr int samples = 16;
        constexpr double tolerance = 1.0 / 512;
        for (int k = 0; k < samples; ++k) {
            const double ya = y0 + double(k) / samples, yb = y0 + double(k + 1) / samples;
            spans.assign(1, {ya, gap(ya), yb, gap(yb), 0});
            while (!spans.empty()) {
                const Span span = spans.back();
                spans.pop_back();
                const double ym = (span.ya + span.yb) / 2;
                const auto mid = gap(ym);
                const bool bends = std::fabs(mid.first - (span.a.first + span.b.first) / 2) > tolerance ||
                                   std::fabs(mid.second - (span.a.second + span.b.second) / 2) > tolerance;
                if (span.depth < 6 && bends) {
                    spans.push_back({ym, mid, span.yb, span.b, span.depth + 1});
                    spans.push_back({span.ya, span.a, ym, mid, span.depth + 1});
                } else if (span.a.first != span.a.second || span.b.first != span.b.second) {
                    // Winding -1 inside the gap, cancelling the whole pixel's +1 there.
                    loops.push_back(Quad{Vec2{span.b.first, span.yb}, Vec2{span.a.first, span.ya},
                                         Vec2{span.a.second, span.ya}, Vec2{span.b.second, span.yb}});
                }
            }
        }
    };
    auto loopsOf = [&](std::size_t at) {
        const double x0 = double(window.x0 + static_cast<long long>(at % width));
        const double y0 = double(window.y0 + static_cast<long long>(at / width));
        const double x1 = x0 + 1, y1 = y0 + 1;
        parts.clear();
        for (std::size_t k = first[at]; k < first[at + 1]; ++k) {
            const Edge& e = edges[incident[k]];
            Vec2 a, b;
            if (clipToBox(e.from, e.to, x0, y0, x1, y1, a, b) && a.y != b.y) parts.push_back({a, b, e.dir});
        }
        // The winding down the left side, interval by interval. Where it is beyond what the
        // parts running against it could take back, the whole width is inside, and a part lying
        // only there changes nothing.
        profile.assign(1, {y0, corner[at]});
        for (const auto& [y, change] : pixelSteps) profile.push_back({y, profile.back().second + change});
        long long plus = 0, minus = 0;
        for (const Part& p : parts) (p.dir > 0 ? plus : minus) += 1;
        open.assign(1, 0);
        for (const auto& [y, w] : profile) open.push_back(open.back() + (w <= minus && w >= -plus));
        auto interval = [&](double y, bool after) {  // the interval holding y, or the last one starting before it
            auto it = after ? std::upper_bound(profile.begin(), profile.end(), y, [](double v, const auto& i) { return v < i.first; })
                            : std::lower_bound(profile.begin(), profile.end(), y, [](const auto& i, double v) { return i.first < v; });
            return static_cast<long long>(it - profile.begin()) - 1;
        };
        kept.clear();
        for (const Part& p : parts) {
            const long long from = std::max(0LL, interval(p.top(), true)), to = interval(p.bottom(), false);
            if (from <= to && open[to + 1] - open[from] > 0) kept.push_back(&p);
        }
        if (!parts.empty() && (plus == 0 || minus == 0)) return monotone(x0, y0, parts.front().dir);
        const long long bound = static_cast<long long>(kept.size()) + 1;
        long long held = 0;
        for (const auto& [y, raw] : profile) {
            const long long now = std::clamp(raw, -bound, bound);
            for (long long k = 0; k < std::abs(now - held); ++k) loops.push_back(box(x0, y, x1, y1, now > held ? 1 : -1));
            held = now;
        }
        for (const Part* p : kept) loops.push_back(Quad{p->a, p->b, Vec2{x1, p->b.y}, Vec2{x1, p->a.y}});
    };
    std::size_t nextStep = 0;
    drawn = 0;
    for (std::size_t at = 0; at < cells; ++at) {
        if (state[at] != undecided) continue;
        ++drawn;
        const double x0 = double(window.x0 + static_cast<long long>(at % width));
        const double y0 = double(window.y0 + static_cast<long long>(at / width));
        pixelSteps.clear();
        while (nextStep < steps.size() && steps[nextStep].at < at) ++nextStep;
        for (; nextStep < steps.size() && steps[nextStep].at == at; ++nextStep)
            pixelSteps.push_back({steps[nextStep].y, steps[nextStep].change});
        for (std::size_t k = first[at]; k < first[at + 1]; ++k) {
            const Edge& e = edges[incident[k]];
            const bool topLeft = e.xTop < x0, bottomLeft = e.xBottom < x0;
            if (topLeft == bottomLeft) continue;
            if (e.yTop <= y0 && y0 < e.yBottom && (e.xAt(y0) < x0) == bottomLeft) continue;
            // Where the edge meets the left side, reckoned as the clipping of its part reckons
            // it, so that the step and the part's closing side lie at one height.
            const double dx = e.to.x - e.from.x, t = (e.from.x - x0) / -dx;
            const double yk = lerp(e.from, e.to, t).y;
            if (yk < y0 + 1) pixelSteps.push_back({std::fmax(y0, yk), int(e.to.x < x0) - int(e.from.x < x0)});
        }
        std::stable_sort(pixelSteps.begin(), pixelSteps.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        loopsOf(at);
    }
    loopCount = loops.size();
    releaseWeighing();
}

} // namespace

namespace {

// The rows of a window are weighed, then drawn, a few at a time, and every call filling the same
// path within the same window (the bands of one picture, each on a thread of its own, each
// asking for its own rows) takes the next rows no call has taken yet; they all then share what
// was found. A band would otherwise find the whole window's pixels only to keep its own: the
// decision to fill sparsely is the window's, and so must be found the same in every band.
// Fills just made are kept for the calls that come later (bands drawn one after another).
constexpr int SHARED_ROWS = 16;
constexpr std::size_t SHARED_ROWS_MAX_RUNS = 256;
constexpr std::size_t KEPT_FILLS = 4;
constexpr std::size_t SHARED_FILL_THREADS = 4;

class SharedFill {
public:
    SharedFill(const std::vector<std::vector<Vec2>>& subpaths, PixelRange window, double minEdgeRows,
               double maxUndecidedShare, std::uint64_t hash)
        : subpaths_(subpaths), window_(window), minEdgeRows_(minEdgeRows), maxUndecidedShare_(maxUndecidedShare),
          hash_(hash) {}

    bool fills(const std::vector<std::vector<Vec2>>& subpaths, PixelRange window, double minEdgeRows,
               double maxUndecidedShare, std::uint64_t hash) const {
        if (hash != hash_ || window.x0 != window_.x0 || window.y0 != window_.y0 || window.x1 != window_.x1 ||
            window.y1 != window_.y1 || minEdgeRows != minEdgeRows_ || maxUndecidedShare != maxUndecidedShare_ ||
            subpaths.size() != subpaths_.size())
            return false;
        for (std::size_t s = 0; s < subpaths.size(); ++s)
            if (!samePoints(subpaths[s], subpaths_[s])) return false;
        return true;
    }

    // Takes the edges, once, from whichever call comes first: they are the same for all.
    void prepare(std::vector<Edge>& edges, double edgeRows) {
        std::call_once(prepared_, [&] {
            edges_ = std::move(edges);
            edgeRows_ = edgeRows;
            auto& level = level_;
            for (const Edge& e : edges_)
                if (e.dir == 0 && e.yTop > std::floor(e.yTop) && e.yTop >= window_.y0 && e.yTop < window_.y1)
                    level.push_back(&e);
            std::sort(level.begin(), level.end(), [](const Edge* a, const Edge* b) { return a->yTop < b->yTop; });
            const long long height = window_.y1 - window_.y0;
            const long long step = std::max<long long>(SHARED_ROWS, (height + SHARED_ROWS_MAX_RUNS - 1) / SHARED_ROWS_MAX_RUNS);
            for (long long top = 0; top < height; top += step) {
                const int y0 = window_.y0 + static_cast<int>(top);
                const int y1 = window_.y0 + static_cast<int>(std::min(height, top + step));
                runs_.emplace_back(PixelRange{window_.x0, y0, window_.x1, y1});
                auto at = [&](int y) {
                    return std::lower_bound(level.begin(), level.end(), double(y),
                                            [](const Edge* e, double v) { return e->yTop < v; });
                };
                levelOf_.emplace_back(at(y0), at(y1));
            }
        });
    }

    // Weighs, then draws, the runs no call has taken, and waits for those others took; false
    // where the window does not qualify. `work` counts what this call did itself.
    bool settle(SparseFillWork* work) {
        const bool weighed = share(nextWeigh_, weighed_, [&](Cells& run, const std::vector<const Edge*>& level) {
            run.weigh(edges_, level);
            if (work) {
                work->rowsWeighed += static_cast<std::size_t>(run.window.y1 - run.window.y0);
                work->edgeRowsVisited += run.edgeRowsVisited;
            }
        });
        double left = 0;
        for (const Cells& run : runs_) left += run.left;
        if (!weighed || left > edgeRows_ * maxUndecidedShare_) return refused();
        const bool drawn = share(nextDraw_, drawn_, [&](Cells& run, const std::vector<const Edge*>& level) {
            run.draw(edges_, level);
            if (work) work->pixelsDrawn += run.drawn;
        });
        std::size_t count = 0;
        for (const Cells& run : runs_) count += run.loopCount;
        // cairo pays more for each small loop, confined to a pixel, than for each row an edge
        // crosses: a pixel that had to keep all its parts can leave too many of them.
        return drawn && !(static_cast<double>(count) * 8 > edgeRows_ * maxUndecidedShare_) ? true : refused();
    }

    // The loops of the runs of rows meeting `rows`, once settled.
    std::vector<Quad> loops(PixelRows rows) const {
        std::vector<Quad> out;
        for (const Cells& run : runs_)
            if (run.window.y1 > rows.top && run.window.y0 < rows.bottom)
                out.insert(out.end(), run.loops.begin(), run.loops.end());
        return out;
    }

private:
    // A fill left to cairo keeps only what tells so to the calls still to come.
    bool refused() {
        std::lock_guard lock(mutex_);
        for (Cells& run : runs_) run.release();
        return false;
    }

    // Runs `step` on every run of rows no call has taken, then waits for those other calls
    // took. False when any run failed (out of memory): every call then leaves the fill to cairo.
    template <typename Step>
    bool share(std::atomic<std::size_t>& next, std::size_t& done, Step&& step) {
        for (;;) {
            const std::size_t k = next.fetch_add(1);
            if (k >= runs_.size()) break;
            bool ok = true;
            try {
                step(runs_[k], std::vector<const Edge*>(levelOf_[k].first, levelOf_[k].second));
            } catch (...) {
                ok = false;
            }
            std::lock_guard lock(mutex_);
            failed_ = failed_ || !ok;
            if (++done == runs_.size()) finished_.notify_all();
        }
        std::unique_lock lock(mutex_);
        finished_.wait(lock, [&] { return done == runs_.size(); });
        return !failed_;
    }

    const std::vector<std::vector<Vec2>> subpaths_;
    const PixelRange window_;
    const double minEdgeRows_, maxUndecidedShare_;
    const std::uint64_t hash_;

    std::once_flag prepared_;
    std::vector<Edge> edges_;
    double edgeRows_ = 0;
    std::vector<const Edge*> level_;  // ordered by height
    std::vector<Cells> runs_;
    using LevelRange = std::pair<std::vector<const Edge*>::const_iterator, std::vector<const Edge*>::const_iterator>;
    std::vector<LevelRange> levelOf_;

    std::atomic<std::size_t> nextWeigh_{0}, nextDraw_{0};
    std::mutex mutex_;
    std::condition_variable finished_;
    std::size_t weighed_ = 0, drawn_ = 0;
    bool failed_ = false;
};

std::shared_ptr<SharedFill> sharedFill(const std::vector<std::vector<Vec2>>& subpaths, PixelRange window,
                                       double minEdgeRows, double maxUndecidedShare) {
    static KeptWork<SharedFill, KEPT_FILLS> kept;
    PointHash h;
    for (const auto& sub : subpaths) h.mix(sub);
    const std::uint64_t hash = h.value();
    return kept.find(
        [&](const SharedFill& f) { return f.fills(subpaths, window, minEdgeRows, maxUndecidedShare, hash); },
        [&] { return std::make_shared<SharedFill>(subpaths, window, minEdgeRows, maxUndecidedShare, hash); });
}

} // namespace

std::optional<std::vector<Quad>> sparseFill(const std::vector<std::vector<Vec2>>& subpaths, bool evenOdd,
                                            PixelRange window, double minEdgeRows, double maxUndecidedShare,
                                            PixelRows rows, SparseFillWork* work) {
    // Under the even-odd rule a pixel any edge touches stays undecided: nothing would be saved.
    if (evenOdd) return std::nullopt;
    const long long width = window.x1 - window.x0, height = window.y1 - window.y0;
    if (width <= 0 || height <= 0 || width * height > SPARSE_FILL_MAX_PIXELS) return std::nullopt;

    // The edges are weighed before they are kept: most long paths are light enough to refuse.
    std::vector<Edge> edges;
    double edgeRows = 0;
    for (const bool keep : {false, true}) {
        for (const auto& sub : subpaths) {
            for (std::size_t k = 0; k < sub.size(); ++k) {
                const auto e = edgeOf(sub[k], sub[(k + 1) % sub.size()]);
                if (!e || e->yBottom < window.y0 || e->yTop >= window.y1) continue;
                if (std::fmin(e->xTop, e->xBottom) >= window.x1) continue;  // right of every pixel: no part in any
                if (keep) edges.push_back(*e);
                else edgeRows += std::fmin(e->yBottom, window.y1) - std::fmax(e->yTop, window.y0) + 1;
            }
        }
        if (!(edgeRows >= minEdgeRows)) return std::nullopt;
    }
    const auto shared = sharedFill(subpaths, window, minEdgeRows, maxUndecidedShare);
    shared->prepare(edges, edgeRows);
    // Band threads with nothing else to do take runs too (a picture drawn at once has them
    // all idle); this call never waits for one that has not started.
    const std::size_t threads = std::min(freeProcessorCount(), SHARED_FILL_THREADS);
    std::vector<SparseFillWork> done(threads);
    std::vector<char> settled(threads, 0);
    runOnBandThreads(threads, [&](std::size_t helper) { settled[helper] = shared->settle(&done[helper]); });
    if (work) {
        for (const SparseFillWork& d : done) {
            work->rowsWeighed += d.rowsWeighed;
            work->edgeRowsVisited += d.edgeRowsVisited;
            work->pixelsDrawn += d.pixelsDrawn;
        }
    }
    if (!settled[0]) return std::nullopt;
    return shared->loops(rows);
}

} // namespace dv::gfx::detail

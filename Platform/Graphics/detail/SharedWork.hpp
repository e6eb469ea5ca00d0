#pragma once
// The bands of one picture, drawn on threads of their own or one after another, each hand the
// same heavy path to the same step, whose result does not depend on the band. What such a step
// finds is kept here, a few results at a time, for the calls that ask for it again: the first
// call makes the entry, and every call holding it shares its work.
#include "Platform/Graphics/detail/GuardBox.hpp"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <list>
#include <memory>
#include <mutex>
#include <vector>

namespace dv::gfx::detail {

/// Tells paths apart quickly; those alike are still compared point by point.
class PointHash {
public:
    void mix(double v) {
        std::uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        h_ = (h_ ^ bits) * 1099511628211ull;
    }
    void mix(const std::vector<Vec2>& points) {
        mix(static_cast<double>(points.size()));
        for (const Vec2& p : points) {
            mix(p.x);
            mix(p.y);
        }
    }
    std::uint64_t value() const { return h_; }

private:
    std::uint64_t h_ = 1469598103934665603ull;
};

/// The same points in the same order (a NaN matches nothing, so its path is never shared).
inline bool samePoints(const std::vector<Vec2>& a, const std::vector<Vec2>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t k = 0; k < a.size(); ++k)
        if (a[k].x != b[k].x || a[k].y != b[k].y) return false;
    return true;
}

/// The latest `Kept` entries, the latest first. Entries are shared: one let go here lives on
/// for the calls still holding it.
template <typename Entry, std::size_t Kept>
class KeptWork {
public:
    /// The kept entry `matches` accepts, or a new one from `make`.
    template <typename Matches, typename Make>
    std::shared_ptr<Entry> find(Matches&& matches, Make&& make) {
        std::lock_guard lock(mutex_);
        for (auto it = kept_.begin(); it != kept_.end(); ++it) {
            if (!matches(static_cast<const Entry&>(**it))) continue;
            kept_.splice(kept_.begin(), kept_, it);
            return kept_.front();
        }
        kept_.push_front(make());
        if (kept_.size() > Kept) kept_.pop_back();
        return kept_.front();
    }

private:
    std::mutex mutex_;
    std::list<std::shared_ptr<Entry>> kept_;
};

} // namespace dv::gfx::detail

#include "Platform/Graphics/detail/ShadowMaskCache.hpp"

#include <algorithm>
#include <bit>
#include <cstring>

namespace dv::gfx::detail {

namespace {

std::uint64_t mix(std::uint64_t h, std::uint64_t v) {
    h ^= v * 0x9E3779B97F4A7C15ull;
    h = (h << 27 | h >> 37) * 0xC2B2AE3D27D4EB4Full;
    return h;
}

// Four words at a time in four lanes, which run side by side: every shadowed shape is hashed,
// most of them once.
std::uint64_t hashPlane(const AlphaPlane& plane, std::uint64_t sigmaBits) {
    const auto width = static_cast<std::size_t>(plane.window.width());
    std::uint64_t lane[4] = {mix(sigmaBits, width), static_cast<std::uint64_t>(plane.window.height()), 1, 2};
    for (int y = 0; y < plane.window.height(); ++y) {
        const std::uint8_t* row = plane.pixels + static_cast<std::ptrdiff_t>(y) * plane.stride;
        std::size_t x = 0;
        for (; x + 32 <= width; x += 32) {
            for (int k = 0; k < 4; ++k) {
                std::uint64_t w;
                std::memcpy(&w, row + x + 8 * k, 8);
                lane[k] = mix(lane[k], w);
            }
        }
        for (; x < width; x += 8) {
            std::uint64_t tail = 0;
            std::memcpy(&tail, row + x, std::min<std::size_t>(8, width - x));
            lane[0] = mix(lane[0], tail);
        }
        lane[1] = mix(lane[1], static_cast<std::uint64_t>(y));
    }
    return mix(mix(mix(lane[0], lane[1]), lane[2]), lane[3]);
}

bool samePixels(const AlphaPlane& plane, const std::vector<std::uint8_t>& packed) {
    const auto width = static_cast<std::size_t>(plane.window.width());
    for (int y = 0; y < plane.window.height(); ++y)
        if (std::memcmp(plane.pixels + static_cast<std::ptrdiff_t>(y) * plane.stride,
                        packed.data() + static_cast<std::size_t>(y) * width, width) != 0)
            return false;
    return true;
}

bool contains(const PixelWindow& outer, const PixelWindow& inner) {
    return outer.x0 <= inner.x0 && outer.y0 <= inner.y0 && inner.x1 <= outer.x1 && inner.y1 <= outer.y1;
}

PixelWindow moved(const PixelWindow& w, int dx, int dy) { return {w.x0 + dx, w.y0 + dy, w.x1 + dx, w.y1 + dy}; }

PixelWindow widened(const PixelWindow& w, int by) { return {w.x0 - by, w.y0 - by, w.x1 + by, w.y1 + by}; }

PixelWindow intersection(const PixelWindow& a, const PixelWindow& b) {
    return {std::max(a.x0, b.x0), std::max(a.y0, b.y0), std::min(a.x1, b.x1), std::min(a.y1, b.y1)};
}

} // namespace

bool ShadowMaskCache::blur(const AlphaPlane& shape, std::uint8_t* dst, int dstStride, const PixelWindow& cast,
                           double sigma, int faint) {
    return blur(Shape{shape, 1}, dst, dstStride, cast, sigma, faint);
}

bool ShadowMaskCache::blurCells(const AlphaPlane& cells, std::uint8_t* dst, int dstStride, const PixelWindow& cast,
                                double sigma, int faint) {
    return blur(Shape{cells, blurCellSize(sigma)}, dst, dstStride, cast, sigma, faint);
}

bool ShadowMaskCache::blur(const Shape& shape, std::uint8_t* dst, int dstStride, const PixelWindow& cast, double sigma,
                           int faint) {
    const AlphaPlane& plane = shape.plane;
    const int cell = shape.cell;
    const bool onCells = cell > 1;
    // The shape's pixels.
    const PixelWindow at{plane.window.x0 * cell, plane.window.y0 * cell, plane.window.x1 * cell, plane.window.y1 * cell};
    const auto area = [](const PixelWindow& w) {
        return static_cast<std::size_t>(w.width()) * static_cast<std::size_t>(w.height());
    };
    // Only pixels within the blur's support can be inked. A shape in pixels keeps the asked ones
    // there, with some slack; one on cells keeps every cell its blur inks, which all its pixels
    // are interpolated from.
    const PixelWindow support = blurSupport(at, sigma);
    const PixelWindow need = intersection(cast, support);
    const PixelWindow wide = intersection(widened(cast, SLACK), support);
    const PixelWindow kept = onCells ? blurCellsHolding(support, sigma) : wide;
    // Without a blur there is only a copy to save; a mask beyond a fraction of the limit would
    // push out everything else.
    if (boxSizeForSigma(sigma) < 2 || need.isEmpty() || area(plane.window) + area(kept) > byteLimit_ / 8)
        return onCells ? gaussianBlurCells(plane, dst, dstStride, cast, sigma)
                       : gaussianBlurAlpha(plane, dst, dstStride, cast, sigma);

    // What is known to blur to nothing, or to too faint a mask to show, is not worth keeping.
    if (onCells ? cellsBlurToNothing(plane, sigma, faint) : blursToNothing(plane, sigma, faint)) return false;

    const std::uint64_t sigmaBits = std::bit_cast<std::uint64_t>(sigma);
    const std::uint64_t hash = hashPlane(plane, mix(sigmaBits, static_cast<std::uint64_t>(cell)));
    const Entry* entry = find(hash, sigmaBits, shape, moved(need, -at.x0, -at.y0));
    Entry fresh;
    if (!entry) {
        // Where a shape in pixels lies within the blur's cells; cells lie on them.
        const int phase = onCells ? 1 : blurCellSize(sigma);
        fresh = Entry{hash, sigmaBits, cell, plane.window.width(), plane.window.height(), at.x0 & (phase - 1),
                      at.y0 & (phase - 1), {}, moved(wide, -at.x0, -at.y0), {}};
        fresh.shape.resize(area(plane.window));
        for (int y = 0; y < plane.window.height(); ++y)
            std::memcpy(fresh.shape.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(plane.window.width()),
                        plane.pixels + static_cast<std::ptrdiff_t>(y) * plane.stride,
                        static_cast<std::size_t>(plane.window.width()));
        bool inked;
        if (onCells) {
            inked = blurOnCells(plane, sigma, fresh.pixels, fresh.mask);
            fresh.mask = moved(fresh.mask, -plane.window.x0, -plane.window.y0);
        } else {
            fresh.pixels.resize(area(wide));
            inked = gaussianBlurAlpha(plane, fresh.pixels.data(), wide.width(), wide, sigma);
        }
        if (!inked) std::vector<std::uint8_t>().swap(fresh.pixels);  // nothing inked: keep no pixels
        entry = keep(fresh);
        if (!entry) entry = &fresh;
    } else {
        ++hits_;
    }
    if (entry->pixels.empty()) return false;

    if (onCells) {
        const PixelWindow blurred = moved(entry->mask, plane.window.x0, plane.window.y0);
        return interpolateCells({entry->pixels.data(), blurred.width(), blurred}, dst, dstStride, cast, sigma);
    }
    // The kept mask, moved back to where this shape lies, holds every inked pixel of the cast.
    const PixelWindow mask = moved(entry->mask, at.x0, at.y0);
    bool inked = false;
    for (int y = cast.y0; y < cast.y1; ++y) {
        std::uint8_t* row = dst + static_cast<std::ptrdiff_t>(y - cast.y0) * dstStride;
        std::memset(row, 0, static_cast<std::size_t>(cast.width()));
        if (y < need.y0 || y >= need.y1) continue;
        const std::uint8_t* from = entry->pixels.data() +
                                   static_cast<std::size_t>(y - mask.y0) * static_cast<std::size_t>(mask.width()) +
                                   static_cast<std::size_t>(need.x0 - mask.x0);
        const auto width = static_cast<std::size_t>(need.width());
        inked = inked || std::any_of(from, from + width, [](std::uint8_t v) { return v != 0; });
        std::memcpy(row + (need.x0 - cast.x0), from, width);
    }
    return inked;
}

const ShadowMaskCache::Entry* ShadowMaskCache::find(std::uint64_t hash, std::uint64_t sigmaBits, const Shape& shape,
                                                    const PixelWindow& cast) {
    const auto [begin, end] = byHash_.equal_range(hash);
    const PixelWindow& at = shape.plane.window;
    const int phase = begin == end || shape.cell > 1 ? 1 : blurCellSize(std::bit_cast<double>(sigmaBits));
    for (auto it = begin; it != end; ++it) {
        Entry& e = *it->second;
        if (e.sigmaBits == sigmaBits && e.cell == shape.cell && e.width == at.width() && e.height == at.height() &&
            e.phaseX == (at.x0 & (phase - 1)) && e.phaseY == (at.y0 & (phase - 1)) && (e.cell > 1 || contains(e.mask, cast)) &&
            samePixels(shape.plane, e.shape)) {
            if (!e.used) used_.splice(used_.end(), unused_, it->second);
            e.used = true;
            return &e;
        }
    }
    return nullptr;
}

const ShadowMaskCache::Entry* ShadowMaskCache::keep(Entry& entry) {
    const std::size_t size = entry.size();
    while (bytes_ + size > byteLimit_ && !unused_.empty()) forget(unused_.begin());
    if (bytes_ + size > byteLimit_) return nullptr;
    unused_.push_back(std::move(entry));
    bytes_ += size;
    byHash_.emplace(unused_.back().hash, std::prev(unused_.end()));
    return &unused_.back();
}

void ShadowMaskCache::forget(Entries::iterator it) {
    const auto [begin, end] = byHash_.equal_range(it->hash);
    for (auto h = begin; h != end; ++h)
        if (h->second == it) {
            byHash_.erase(h);
            break;
        }
    bytes_ -= it->size();
    unused_.erase(it);
}

} // namespace dv::gfx::detail

#pragma once
// Filled outlines of pen strokes, and the clean-up that turns a raw stroke into a stored one.

#include "DVModel/Hashing.hpp"
#include "DVModel/SmallRecords.hpp"

#include <optional>
#include <vector>

namespace dv {

struct FreehandOutlineOptions {
    /// Distance between resampled points; 3 when absent.
    std::optional<double> sampleStep;
    /// Smallest radius as a fraction of half the stroke width; 0.15 when absent.
    std::optional<double> minRadiusRatio;
    bool operator==(const FreehandOutlineOptions&) const = default;
};

struct FreehandStroke {
    std::vector<Point> points;
    std::optional<std::vector<double>> pressures;
    bool operator==(const FreehandStroke&) const = default;
};

/// Most points one stroke is resampled into. Longer strokes are resampled more coarsely, so a
/// hostile stroke cannot exhaust memory; ordinary strokes stay far below it.
inline constexpr double FREEHAND_MAX_SAMPLES = 262144;

/// Polygon to fill: left side, round end cap, right side backwards, round start cap.
std::vector<Point> buildFreehandOutline(const std::vector<Point>& points,
                                        const std::optional<std::vector<double>>& pressures, double strokeWidth,
                                        const FreehandOutlineOptions& options = {});

/// The points `buildFreehandOutline` resamples a stroke into, found without building it: the
/// outline has twice as many, and its round caps.
double freehandOutlineSamples(const std::vector<Point>& points, const FreehandOutlineOptions& options = {});

/// Smooths a raw stroke twice and drops points that lie within 0.5 of the line through their
/// neighbours that are kept, carrying the pressures of the kept points along.
FreehandStroke finishFreehandStroke(const std::vector<Point>& points, const std::optional<std::vector<double>>& pressures);

} // namespace dv

DV_HASH_MEMBERS(dv::FreehandOutlineOptions, &dv::FreehandOutlineOptions::sampleStep,
                &dv::FreehandOutlineOptions::minRadiusRatio);
DV_HASH_MEMBERS(dv::FreehandStroke, &dv::FreehandStroke::points, &dv::FreehandStroke::pressures);

#pragma once
// A stroke of many straight lines each crossing the whole window, upright or level, with flat
// ends (a background grid): cairo turns it into boxes and splits the boxes where they cross, a
// box for every crossing, and then walks every line on every row. 16384 x 16384 pixels of lines
// 2 pixels apart took 38 seconds and 5.8 GB. The union of such lines covers each pixel by
// v + h - v·h, where v is the share of its column the upright lines cover and h the share of
// its row the level ones cover: the coverage is found for the columns and the rows once, and
// laid as a mask, a few rows at a time. A lattice of rectangles (a grid's dots, as squares) is
// laid the same way, each pixel covered by v · h.

#include <utility>
#include <vector>

namespace dv::gfx::detail {

/// The share of each of `count` pixels from `first` that the union of the intervals covers, with
/// their ends on cairo's grid of 1/256 pixel, as it takes them.
std::vector<float> intervalCoverage(std::vector<std::pair<double, double>> intervals, int first, int count);

/// The mask level of a pixel whose column the upright lines cover by `v` and whose row the
/// level ones cover by `h`: the union of the two.
inline unsigned char eitherLevel(float v, float h) { return static_cast<unsigned char>((v + h - v * h) * 255 + 0.5f); }

/// The same for rectangles on a lattice, whose columns cover `v` and rows `h` of the pixel: the
/// rectangles are the columns' and rows' crossings.
inline unsigned char bothLevel(float v, float h) { return static_cast<unsigned char>(v * h * 255 + 0.5f); }

} // namespace dv::gfx::detail

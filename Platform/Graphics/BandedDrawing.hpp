#pragma once
// A picture drawn in horizontal bands at once, each on a thread of its own, by the whole drawing
// with the work limited to the band's rows (see GraphicsContext::setWorkRows): what cannot
// change them is left out, shadows are blurred for them alone, and everything drawn reaches the
// rasteriser as it would unbanded, so the picture is the same, to the bit, as one drawn at once.
// No band is clipped to its rows as a whole: the rasteriser joins a clip path (a label clipped
// to its shape, a connector with its heads cut out) to the other edges of the clip, and pixels
// then change far from the band's edge; only opaque fills and strokes outside any clip path are
// laid in tiles of the picture's rows, the same tiles in a picture drawn at once, and a band
// lays the tiles meeting its rows (see GraphicsContext::layInTiles). Each band draws a few rows beyond its own, which keeps the
// picture whole where a drawing reaches a little further than it says, and only its own rows
// are kept. Band edges may follow the cost of the drawing, so that the bands end at about the
// same time.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace dv::gfx {

class Bitmap;
class GraphicsContext;

inline constexpr std::int64_t BAND_MIN_PIXELS = 192 * 1024;  // smaller bands cost more than they save
inline constexpr int MAX_BANDS = 4;
inline constexpr int BAND_OVERLAP_ROWS = 32;
/// No band is thinner: the rows it draws beyond its own stay a third of the rows it draws.
inline constexpr int BAND_MIN_ROWS = 6 * BAND_OVERLAP_ROWS;

/// A band's own rows and the rows it is drawn over (its own plus the overlap, within the
/// picture); first row and past-the-last row.
struct BandRows {
    int top = 0, bottom = 0;
    int drawnTop = 0, drawnBottom = 0;
};

/// The bands worth drawing a picture of `height` rows in: at most `most`, none thinner than the
/// rows it draws beyond itself; 1 for drawing it at once.
int bandCountAtMost(int height, std::int64_t most);
/// The same for a picture of width x height pixels, with at most one band per BAND_MIN_PIXELS,
/// and no more than the processors free right now, up to `most`: on a busy machine more threads
/// only take turns with each other, each repeating the work that does not depend on the band.
int bandCount(int width, int height, int most = MAX_BANDS);

/// The bands a caller draws a picture in: `asked` bands (tests, benchmarks) where given, as many
/// as the picture has rows, each as thin as it must be (see ASKED_BAND_MIN_ROWS); else as
/// `bandCount` allows for pictures of at most `maxPixels`, whose spare band bitmaps stay small;
/// larger ones are drawn at once.
int bandCountFor(int width, int height, std::int64_t maxPixels, int most, std::optional<int> asked);

/// The thinnest band of a count asked for: the pixels must not depend on where the edges fall,
/// so a test may put them anywhere, whatever the speed.
inline constexpr int ASKED_BAND_MIN_ROWS = 1;

/// The bands of a picture whose heavy paths decide its time (each band lays only their tiles
/// meeting its own rows, so thinner bands still divide the work): as many as the processors
/// free, up to MAX_BANDS, none thinner than HEAVY_BAND_MIN_ROWS; 1 above `maxPixels`.
inline constexpr int HEAVY_BAND_MIN_ROWS = BAND_OVERLAP_ROWS;
int heavyBandCount(int width, int height, std::int64_t maxPixels);

/// A part of a drawing: the device rows it may touch (any real numbers; a span that is not
/// finite or holds no row counts for the whole height) and what it costs, in any unit shared by
/// the other parts. Only the speed of the drawing depends on it, never its pixels.
struct BandWork {
    double top = 0;
    double bottom = 0;
    double cost = 0;
};

/// At most `bands` bands over `height` rows, each carrying about the same share of the work:
/// each part's cost is spread evenly over its rows, and every band ends where the cost above
/// it is its share of the whole. No band is thinner than `minRows`, so a short picture gets
/// fewer bands; without any cost the rows are shared evenly.
std::vector<BandRows> bandsByCost(int height, int bands, std::span<const BandWork> work, int minRows = BAND_MIN_ROWS);

/// Runs `run(0)` ... `run(count - 1)` on the calling thread and the threads that draw bands, at
/// once: work that the bands' edges need, done where the fonts and lines it loads stay for the
/// bands (on the calling thread alone, one after another, under CallerThreadOnly). `run` must
/// not throw.
void runOnBandThreads(std::size_t count, const std::function<void(std::size_t)>& run);

/// Draws `bitmap` band by band, on the calling thread and the band threads at once:
/// `draw(context, band)` draws the whole picture on a fresh context over the bitmap itself (the
/// first band) or a cleared one of the same size, its work limited to the band's drawn rows.
/// Bands are in order, each starting where the one before ends. Returns false, having drawn
/// nothing, when the bitmaps of the bands cannot be had. An exception from any band is thrown here once every band is done.
bool drawInBands(Bitmap& bitmap, const std::vector<BandRows>& bands,
                 const std::function<void(const std::shared_ptr<GraphicsContext>& context, const BandRows& band)>& draw);

}  // namespace dv::gfx

#pragma once
// The extension's principal class: answers one thumbnail request per board file with a picture
// of the board fitted into the requested size, or a plain placeholder for a board without
// elements. Every failure goes back to the host as an error, never as a placeholder.

#include "DVGeometry/FreehandOutline.hpp"
#include "Platform/Thumbnail/Thumbnailing.hpp"

#include <mutex>
#include <thread>

namespace dv {

class ThumbnailProvider final : public ql::ThumbnailProviderBase {
public:
    /// The size of the placeholder before it is fitted, in points.
    static constexpr ql::Size placeholderSize{400, 300};
    /// The most points the outlines of a board's freehand strokes may have in all (see
    /// freehandOutlineSamples): past them the thumbnail fails with "The board is too complex to
    /// draw." That is 64 strokes resampled into the most points a stroke can have: as many of
    /// the densest scribbles take about 5 s at any size on four processors.
    static constexpr double maxOutlinePoints = 64 * 2 * (FREEHAND_MAX_SAMPLES + 1);

    ThumbnailProvider() = default;
    /// Waits for the font start-up begun by a request: its code belongs to this module.
    ~ThumbnailProvider() override;

    void provideThumbnailForFileRequest(const ql::ThumbnailRequest& request,
                                        ql::ThumbnailCompletionHandler completionHandler) override;

private:
    void startFontSystem();

    std::mutex fontStartLock_;
    std::thread fontStart_;
};

}  // namespace dv

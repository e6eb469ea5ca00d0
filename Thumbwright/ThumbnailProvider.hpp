#pragma once
// The extension's principal class: answers one thumbnail request per board file with a picture
// of the board fitted into the requested size, or a plain placeholder for a board without
// elements. Every failure goes back to the host as an error, never as a placeholder.

#include "Platform/Thumbnail/Thumbnailing.hpp"

#include <mutex>
#include <thread>

namespace dv {

class ThumbnailProvider final : public ql::ThumbnailProviderBase {
public:
    /// The size of the placeholder before it is fitted, in points.
    static constexpr ql::Size placeholderSize{400, 300};

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

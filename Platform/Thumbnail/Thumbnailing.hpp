#pragma once
// The thumbnailing interface between a thumbnail host and a thumbnail extension: the host loads
// the extension's module, asks it for a provider by class name, sends it one request per file and
// draws the reply it gets into a bitmap of its own.
//
// Everything here crosses a module boundary, so errors travel as plain values rather than C++
// exceptions, and the reply's drawing block draws into the host's GraphicsContext.

#include "Platform/Graphics/GraphicsContext.hpp"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace dv::ql {

struct Size {
    double width = 0;
    double height = 0;
    bool operator==(const Size&) const = default;
};

struct ThumbnailRequest {
    /// A "file://" URL or a plain local path.
    std::string fileURL;
    /// The largest size the host will show, in points.
    Size maximumSize;
    /// Pixels per point of the host's display.
    double scale = 1;
};

/// What the host gets back instead of a reply: the message a user would be shown.
struct ThumbnailError {
    std::string message;
};

class ThumbnailReply {
public:
    /// Draws the thumbnail into the host's context; true when it drew.
    using DrawingBlock = std::function<bool(gfx::GraphicsContext&)>;

    static std::shared_ptr<const ThumbnailReply> replyWithContextSize(Size contextSize, DrawingBlock block);

    Size contextSize() const { return contextSize_; }
    bool draw(gfx::GraphicsContext& context) const { return drawingBlock_ ? drawingBlock_(context) : false; }

private:
    ThumbnailReply(Size size, DrawingBlock block) : contextSize_(size), drawingBlock_(std::move(block)) {}
    Size contextSize_;
    DrawingBlock drawingBlock_;
};

/// Called exactly once per request: a reply and no error, or no reply and an error.
using ThumbnailCompletionHandler =
    std::function<void(std::shared_ptr<const ThumbnailReply>, std::optional<ThumbnailError>)>;

class ThumbnailProviderBase {
public:
    virtual ~ThumbnailProviderBase() = default;
    virtual void provideThumbnailForFileRequest(const ThumbnailRequest& request,
                                                ThumbnailCompletionHandler completionHandler) = 0;
};

/// The one function a thumbnail extension module exports: a new provider for the given principal
/// class name, or null when the module has no class of that name. The caller owns the provider.
using ThumbnailProviderFactory = ThumbnailProviderBase* (*)(const char* className);
inline constexpr const char* thumbnailProviderFactorySymbol = "DrevalinThumbnailProviderFactory";

}  // namespace dv::ql

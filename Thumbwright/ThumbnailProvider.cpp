#include "Thumbwright/ThumbnailProvider.hpp"

#include "DVGeometry/FreehandOutline.hpp"
#include "DVIO/BoardFile.hpp"
#include "DVPreview/BoardPicture.hpp"
#include "DVRender/Canvas/FontResolver.hpp"
#include "Platform/Defaults/UserDefaults.hpp"
#include "Platform/Files/FileData.hpp"
#include "Platform/Graphics/GraphicsContext.hpp"
#include "Platform/Graphics/MemoryHeadroom.hpp"

#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <exception>
#include <functional>
#include <new>
#include <stdexcept>
#include <system_error>
#include <utility>

namespace dv {

namespace {

// The host's bitmap when it has one, else the reply's own size.
gfx::Rect targetRect(const gfx::GraphicsContext& context, ql::Size contextSize) {
    if (context.width() > 0 && context.height() > 0)
        return {0, 0, static_cast<double>(context.width()), static_cast<double>(context.height())};
    return {0, 0, contextSize.width, contextSize.height};
}

ql::ThumbnailReply::DrawingBlock drawImage(gfx::ImageRef image, ql::Size contextSize) {
    return [image = std::move(image), contextSize](gfx::GraphicsContext& context) {
        context.setInterpolationQuality(gfx::InterpolationQuality::high);
        context.drawImage(gfx::pixelsOf(*image), targetRect(context, contextSize));
        return context.isHealthy();
    };
}

ql::ThumbnailReply::DrawingBlock drawPlaceholder(gfx::Color color, ql::Size contextSize) {
    return [color, contextSize](gfx::GraphicsContext& context) {
        context.setFillColor(color);
        context.fillRect(targetRect(context, contextSize));
        return context.isHealthy();
    };
}

std::shared_ptr<const ql::ThumbnailReply> makeReply(const ql::ThumbnailRequest& request,
                                                    const std::function<void()>& boardHasElements) {
    // The file bytes go as soon as the elements are read, before the picture is drawn.
    std::vector<Element> elements =
        readDrevalinFile(platform::readRegularFile(platform::localPathFromFileURL(request.fileURL))).document.elements;
    if (!elements.empty()) boardHasElements();
    // cairo's work on an outline grows with its points, whatever the picture's size: past this
    // many, a thumbnail could not be drawn in the time a file browser waits for it.
    double outlinePoints = 0;
    for (const Element& element : elements)
        if (const Element::Freehand* freehand = element.payload.freehand())
            outlinePoints += 2 * freehandOutlineSamples(freehand->points);
    if (outlinePoints > ThumbnailProvider::maxOutlinePoints) throw std::runtime_error("The board is too complex to draw.");
#if defined(__GLIBC__)
    // So do the pages reading them freed: the band threads draw from heaps of their own, which
    // cannot take those pages, and a board of 200 MB would otherwise hold its reading's 200 MiB
    // through all of the drawing, beside what each band takes.
    malloc_trim(0);
#endif

    bool systemIsLight = BoardPicture::systemIsLight(platform::InMemoryUserDefaults::standard());
    RenderTheme theme = BoardPicture::theme(elements, systemIsLight);

    const ql::Size maximum = request.maximumSize;
    double longest = maximum.width <= maximum.height ? maximum.height : maximum.width;
    double maxPixelSide = longest * request.scale;

    auto image = BoardPicture::image(std::move(elements), theme, maxPixelSide);
    if (image) {
        ql::Size points{(*image)->width() / request.scale, (*image)->height() / request.scale};
        ql::Size contextSize = BoardPicture::fitted(points, maximum);
        return ql::ThumbnailReply::replyWithContextSize(contextSize, drawImage(std::move(*image), contextSize));
    }
    ql::Size contextSize = BoardPicture::fitted(ThumbnailProvider::placeholderSize, maximum);
    return ql::ThumbnailReply::replyWithContextSize(
        contextSize, drawPlaceholder(BoardPicture::backgroundColor(theme), contextSize));
}

}  // namespace

ThumbnailProvider::~ThumbnailProvider() {
    if (fontStart_.joinable()) fontStart_.join();
}

void ThumbnailProvider::startFontSystem() {
    // The font system's start-up (reading the whole font configuration) is the costliest step
    // of the first text; it runs beside the theme, the element index and the label layout,
    // which need no fonts. Everything it fills is shared by all threads and locked, so the
    // drawing simply waits for it if it comes first. Without a thread it happens on first use.
    // Under a memory limit the thread would take its stack and the configuration's memory while
    // the drawing needs it; the drawing loads the fonts itself.
    if (gfx::processMemoryLimit()) return;
    std::lock_guard lock(fontStartLock_);
    if (fontStart_.joinable()) return;
    try {
        // The kit's last-resort family: resolving it loads the configuration and the family list.
        fontStart_ = std::thread([] { FontResolver::resolveFamily("Helvetica"); });
    } catch (const std::system_error&) {
    }
}

void ThumbnailProvider::provideThumbnailForFileRequest(const ql::ThumbnailRequest& request,
                                                       ql::ThumbnailCompletionHandler completionHandler) {
    // The handler is kept alive for the whole call, whatever the request does.
    ql::ThumbnailCompletionHandler handler = std::move(completionHandler);
    std::shared_ptr<const ql::ThumbnailReply> reply;
    std::optional<ql::ThumbnailError> error;
    try {
        reply = makeReply(request, [this] { startFontSystem(); });
    } catch (const std::bad_alloc&) {
        error = ql::ThumbnailError{"Not enough memory to draw the board."};
    } catch (const std::exception& e) {
        // Board file, file reading and export errors, and running out of memory on a huge board.
        error = ql::ThumbnailError{e.what()};
    } catch (...) {
        error = ql::ThumbnailError{"The thumbnail could not be made."};
    }
    if (handler) handler(std::move(reply), std::move(error));
}

}  // namespace dv

// The module's one exported symbol.
extern "C" __attribute__((visibility("default"))) dv::ql::ThumbnailProviderBase*
DrevalinThumbnailProviderFactory(const char* className) {
    if (className == nullptr || std::string_view(className) != "ThumbnailProvider") return nullptr;
    try {
        return new dv::ThumbnailProvider();
    } catch (...) {
        return nullptr;
    }
}

#pragma once
// The images of one picture within a budget of decoded pixels: a board of many large images
// costs a decode of each, and past the budget further images are drawn as failed ones.

#include "DVRender/Images/ImageStore.hpp"
#include "DVRender/Images/RenderImage.hpp"
#include "DVRender/Images/SVGBounds.hpp"

#include <cstddef>

#include <cstdint>
#include <mutex>
#include <set>
#include <string>

namespace dv {

class BudgetedImages final : public ImageProvider {
public:
    // About two seconds of decoding: two PNGs of 2^28 pixels, eight of 8000 x 8000 (four GIFs),
    // or forty-four photographs of 12 megapixels (twenty-eight progressive ones of ten scans).
    static constexpr std::int64_t boardPixelBudget = std::int64_t{1} << 29;
    // The SVG work of a picture, in the units measureSvg counts: about two seconds of filters
    // and layers, the elements and text of twenty-five of the largest documents one SVG image
    // may be. Surfaces are not summed: documents are drawn one after another.
    static constexpr SVGCost boardSvgBudget{25 * SVGLimits::maxNodes, 2 * SVGLimits::maxWork, 0,
                                            25 * SVGLimits::maxTextBytes};

    // Looks sources up in `images`, which must outlive this provider and keeps at most
    // `keptBytes` of images (counted as ImageStore::heldBytes counts them), of them at most
    // `keptParsedBytes` of parsed vector documents.
    explicit BudgetedImages(ImageProvider& images, std::int64_t budget = boardPixelBudget,
                            std::size_t keptBytes = ImageStore::byteLimit, SVGCost svgBudget = boardSvgBudget,
                            std::size_t keptParsedBytes = ImageStore::parsedLimit)
        : images_(images), left_(budget), keptBytes_(keptBytes), keptParsedBytes_(keptParsedBytes),
          svgLeft_(svgBudget) {}

    // The source's image from the other provider; a raster image is charged the pixels its
    // decode goes through at any size (gfx::ImageSource::decodedPixels), an SVG image its
    // elements, work and text (SVGImage::cost), the first time it is seen, and counts as
    // failed when they no longer fit. Callers that draw from several threads look the sources up
    // here first, in the board's order, so that which images fit does not depend on timing.
    ImageLookup image(const std::string& src) override;

    std::int64_t left() const;
    // What is left of the SVG budget (surfaces unused).
    SVGCost svgLeft() const;

    // Whether the distinct images handed out so far fit within what the other provider keeps.
    bool keepsImagesSeen() const override;

private:
    ImageProvider& images_;
    mutable std::mutex lock_;
    std::int64_t left_;
    std::set<std::uint64_t> admitted_, refused_;  // image identities
    std::size_t keptBytes_, keptParsedBytes_;
    SVGCost svgLeft_;
    std::set<std::uint64_t> seen_;  // identities of the images handed out
    std::size_t seenBytes_ = 0, seenParsedBytes_ = 0;
};

}  // namespace dv

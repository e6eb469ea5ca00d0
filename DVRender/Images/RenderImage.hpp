#pragma once
// Images that drawing contexts draw: a source string resolved once into a RenderImage,
// decoded on demand at the size about to be drawn, shared through the image store.

#include "DVModel/Hashing.hpp"
#include "Platform/Graphics/Image.hpp"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>

namespace dv {

namespace gfx {
class ImageSource;
}
class SVGImage;
struct ImageLookup;

class RenderImage {
public:
    // What the image is made of: encoded raster data, a loaded SVG, or nothing (size only).
    struct Content {
        enum class Kind { raster, vector, none };
        Kind kind = Kind::none;
        std::shared_ptr<const gfx::ImageSource> raster;  // set for Kind::raster
        std::shared_ptr<const SVGImage> vector;          // set for Kind::vector
    };

    RenderImage(const RenderImage&) = delete;
    RenderImage& operator=(const RenderImage&) = delete;
    // Drops every decoded size of this image from the decoded-image cache.
    ~RenderImage();

    const std::string& src() const { return src_; }
    double naturalWidth() const { return naturalWidth_; }
    double naturalHeight() const { return naturalHeight_; }
    // Unique per instance for the life of the process; equal identities mean the same image.
    std::uint64_t identity() const { return identity_; }
    const Content& content() const { return content_; }

    // The image decoded for a destination of pixelWidth x pixelHeight device pixels, never
    // larger than maxPixelSide on a side; nothing when there is nothing to draw.
    gfx::ImageRef cgImage(std::int64_t pixelWidth, std::int64_t pixelHeight, std::int64_t maxPixelSide) const;

    // Whether a raster decode that cgImage ran on this thread since the last call found the data
    // damaged past its headers, and forgets it. Such an image resolves (its headers are sound)
    // and only drawing finds it out; the painter then draws it as a failed image. Kept per thread
    // so that what one band finds never changes what another draws.
    static bool takeDecodeFailure();

    // An image that only carries a size: it never yields pixels.
    static std::shared_ptr<RenderImage> sizeOnly(std::string src, double naturalWidth, double naturalHeight);

    // Resolves a source string (a resource icon's src or a data: URL) into an image.
    static ImageLookup make(const std::string& src);

    // How many times make has run in this process (for tests of the store).
    static std::size_t makeCount();

    // An image of the given content and natural size, with a fresh identity.
    static std::shared_ptr<RenderImage> withContent(std::string src, double naturalWidth, double naturalHeight,
                                                    Content content);

private:
    RenderImage(std::string src, double naturalWidth, double naturalHeight, Content content);
    std::string src_;
    double naturalWidth_;
    double naturalHeight_;
    std::uint64_t identity_;
    Content content_;
    // Held while a size is decoded or rasterised, so that threads drawing bands of one picture
    // at once wait for that decode rather than repeat it.
    mutable std::mutex decoding_;
};

// The first frame of an encoded image, oriented, its longer side at most maxPixelSize.
gfx::ImageRef decodeThumbnail(const gfx::ImageSource& source, std::int64_t maxPixelSize);

// The key under which render caches remember which image (or which state) they drew.
struct ImageStateKey {
    enum class Kind { loaded, loading, failed };
    Kind kind = Kind::failed;
    std::uint64_t identity = 0;  // the image's identity for Kind::loaded, else 0
    friend bool operator==(const ImageStateKey&, const ImageStateKey&) = default;
};

struct ImageLookup {
    enum class Kind { loaded, loading, failed };
    Kind kind = Kind::failed;
    std::shared_ptr<RenderImage> image;  // set exactly when kind is loaded

    static ImageLookup loaded(std::shared_ptr<RenderImage> image) { return {Kind::loaded, std::move(image)}; }
    static ImageLookup loading() { return {Kind::loading, nullptr}; }
    static ImageLookup failed() { return {Kind::failed, nullptr}; }

    ImageStateKey stateKey() const;
};

class ImageProvider {
public:
    virtual ~ImageProvider() = default;
    virtual ImageLookup image(const std::string& src) = 0;
    // False when the images looked up so far are more than the provider keeps at once, so
    // that looking them up again resolves and decodes some of them again.
    virtual bool keepsImagesSeen() const { return true; }
};

}  // namespace dv

DV_HASH_MEMBERS(dv::ImageStateKey, &dv::ImageStateKey::kind, &dv::ImageStateKey::identity);

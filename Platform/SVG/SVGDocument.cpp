#include "Platform/SVG/SVGDocument.hpp"

#include "Platform/Graphics/FontFaceLock.hpp"

#include <cairo.h>
#include <librsvg/rsvg.h>

#include <dlfcn.h>

#include <atomic>
#include <cmath>
#include <new>
#include <mutex>

namespace dv::gfx {

namespace {
std::atomic<std::size_t> loads{0};

// The SVG library is opened when the first SVG is loaded, not with the kit: with what it pulls
// in it costs more to load than all the other libraries of a thumbnail together, and most
// boards never need it. It stays open for the life of the process.
struct SVGLibrary {
    decltype(&rsvg_handle_new_from_data) newFromData = nullptr;
    decltype(&rsvg_handle_set_dpi) setDPI = nullptr;
    decltype(&rsvg_handle_get_intrinsic_size_in_pixels) intrinsicSizeInPixels = nullptr;
    decltype(&rsvg_handle_get_intrinsic_dimensions) intrinsicDimensions = nullptr;
    decltype(&rsvg_handle_render_document) renderDocument = nullptr;

    bool usable() const {
        return newFromData && setDPI && intrinsicSizeInPixels && intrinsicDimensions && renderDocument;
    }
};

template <typename F>
void bind(void* library, const char* name, F& function) {
    function = reinterpret_cast<F>(::dlsym(library, name));
}

// Null when the library or one of its functions is missing: SVGs then do not load.
const SVGLibrary* svgLibrary() {
    static std::once_flag once;
    static SVGLibrary* loaded = nullptr;
    std::call_once(once, [] {
        void* library = ::dlopen("librsvg-2.so.2", RTLD_NOW | RTLD_LOCAL);
        if (!library) return;
        auto* f = new SVGLibrary;
        bind(library, "rsvg_handle_new_from_data", f->newFromData);
        bind(library, "rsvg_handle_set_dpi", f->setDPI);
        bind(library, "rsvg_handle_get_intrinsic_size_in_pixels", f->intrinsicSizeInPixels);
        bind(library, "rsvg_handle_get_intrinsic_dimensions", f->intrinsicDimensions);
        bind(library, "rsvg_handle_render_document", f->renderDocument);
        if (f->usable()) loaded = f;
        else delete f;
    });
    return loaded;
}
}  // namespace

void SVGDocument::Release::operator()(void* handle) const noexcept { g_object_unref(static_cast<RsvgHandle*>(handle)); }

std::size_t SVGDocument::loadCount() { return loads.load(std::memory_order_relaxed); }

std::optional<SVGDocument> SVGDocument::load(std::span<const std::uint8_t> data) {
    if (data.empty()) return std::nullopt;
    loads.fetch_add(1, std::memory_order_relaxed);
    const SVGLibrary* rsvg = svgLibrary();
    if (!rsvg) return std::nullopt;
    GError* error = nullptr;
    RsvgHandle* handle = rsvg->newFromData(data.data(), data.size(), &error);
    if (error) g_error_free(error);
    if (handle == nullptr) return std::nullopt;
    SVGDocument doc(handle, 0, 0);
    // 72 dots per inch: one inch is 72 units, as in points.
    rsvg->setDPI(handle, 72);
    gdouble w = 0, h = 0;
    if (!rsvg->intrinsicSizeInPixels(handle, &w, &h)) {
        gboolean hasWidth = false, hasHeight = false, hasViewBox = false;
        RsvgLength lw, lh;
        RsvgRectangle viewBox;
        rsvg->intrinsicDimensions(handle, &hasWidth, &lw, &hasHeight, &lh, &hasViewBox, &viewBox);
        if (!hasViewBox) return std::nullopt;
        w = viewBox.width;
        h = viewBox.height;
    }
    if (!std::isfinite(w) || !std::isfinite(h) || w < 0 || h < 0) return std::nullopt;
    doc.width_ = w;
    doc.height_ = h;
    return doc;
}

bool SVGDocument::render(Bitmap& target) const {
    if (!(width_ > 0) || !(height_ > 0)) return false;
    cairo_surface_t* surface = cairo_image_surface_create_for_data(target.data(), CAIRO_FORMAT_ARGB32, target.width(),
                                                                   target.height(), static_cast<int>(target.stride()));
    if (const cairo_status_t status = cairo_surface_status(surface); status != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        if (status == CAIRO_STATUS_NO_MEMORY) throw std::bad_alloc();
        return false;
    }
    // Text in the document is laid out and shown through the process's shared font faces; the
    // context holds the fonts it showed until it goes.
    std::unique_lock faces(fontFaceMutex());
    cairo_t* cr = cairo_create(surface);
    cairo_scale(cr, target.width() / width_, target.height() / height_);
    bool ok = cairo_status(cr) == CAIRO_STATUS_SUCCESS;
    if (ok) {
        const RsvgRectangle viewport{0, 0, width_, height_};
        GError* error = nullptr;
        // A document exists only when the library was opened.
        ok = svgLibrary()->renderDocument(static_cast<RsvgHandle*>(handle_.get()), cr, &viewport, &error);
        if (error) g_error_free(error);
    }
    const bool outOfMemory = cairo_status(cr) == CAIRO_STATUS_NO_MEMORY;
    cairo_destroy(cr);
    faces.unlock();
    cairo_surface_flush(surface);
    cairo_surface_destroy(surface);
    if (outOfMemory) throw std::bad_alloc();
    return ok;
}

}  // namespace dv::gfx

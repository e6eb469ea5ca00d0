#pragma once
// An export's picture with every line of every text block handed to the canvas: each element
// recorded (a recording cannot tell which lines show) and replayed onto the export's canvas.
// The peer of the export, which draws only the lines that can show, in tests and benchmarks.
#include "DVModel/Element.hpp"
#include "DVRender/Canvas/CGDrawingContext.hpp"
#include "DVRender/Canvas/RecordingContext.hpp"
#include "DVRender/Export/RasterExport.hpp"
#include "DVRender/Scene/ElementPainting.hpp"
#include "Platform/Graphics/Bitmap.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace dv::test {

/// The export's own plan of `elements`, its longer side scaled to `side` pixels as a thumbnail is.
inline ExportRasterPlan thumbnailPlan(const std::vector<Element>& elements, double side) {
    ExportRasterPlan plan = *exportRasterPlan(elements, true, "#ffffff");
    plan.scale = side / std::max(plan.worldWidth, plan.worldHeight);
    plan.pixelWidth = static_cast<std::uint32_t>(std::lround(plan.worldWidth * plan.scale));
    plan.pixelHeight = static_cast<std::uint32_t>(std::lround(plan.worldHeight * plan.scale));
    return plan;
}

inline gfx::ImageRef everyLineDrawn(const std::vector<Element>& elements, const ExportRasterPlan& plan,
                                    const RenderEnvironment& environment) {
    auto bitmap = gfx::Bitmap::create(static_cast<int>(plan.pixelWidth), static_cast<int>(plan.pixelHeight));
    {
        CGDrawingContext canvas(std::make_shared<gfx::GraphicsContext>(*bitmap));
        canvas.setFillStyle(plan.canvasColor);
        canvas.fillRect(0, 0, plan.pixelWidth, plan.pixelHeight);
        canvas.scale(plan.scale, plan.scale);
        canvas.translate(plan.translateX, plan.translateY);
        for (const Element& element : elements) {
            RecordingContext recording;
            drawElement(recording, element, nullptr, std::nullopt, environment);
            recording.displayList().replay(canvas);
        }
    }
    return std::move(*bitmap).takeImage();
}

}  // namespace dv::test

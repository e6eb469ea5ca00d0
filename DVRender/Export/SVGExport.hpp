#pragma once
// The board as one self-contained SVG document: a header sized to the export bounds with the
// export margin, an optional background, one fragment per element in board order, then the
// connector labels. Geometry is exact (no hand-drawn jitter), colours are written as stored,
// fonts are named and not embedded. Writing never fails and never throws.

#include "DVModel/Element.hpp"

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dv {

class ElementIndex;
struct LabelBox;

struct SceneToSVGOptions {
    std::string canvasColor;
    bool withBackground = true;
    bool operator==(const SceneToSVGOptions&) const = default;
};

/// The document text; absent for an empty element list.
std::optional<std::string> sceneToSVG(const std::vector<Element>& elements, const SceneToSVGOptions& options);

/// `text` as it may stand in element content or in a double-quoted attribute: `"`, `&`, `<` and
/// `>` become references, the apostrophe stays. Characters that no XML document may hold, not
/// even as references (C0 controls other than tab, line feed and carriage return; U+FFFE;
/// U+FFFF), are dropped, and ill-formed UTF-8 becomes U+FFFD, so that a board's text can never
/// make the document unreadable. When nothing changes, the text is handed back itself: passed
/// as an rvalue, its buffer is not copied.
std::string escapeXml(std::string text);
/// The same appended to `out`, in one piece when nothing changes.
void appendEscapedXml(std::string& out, std::string_view text);

/// Document sizes and positions: the value rounded to hundredths as JavaScript rounds, printed
/// as JavaScript prints numbers ("100.01", "1" for 1.005, "NaN").
std::string roundedNumberText(double value);
/// Widths, opacities, font sizes and dash lengths: the value as JavaScript prints it.
std::string plainNumberText(double value);

/// The mask identifiers written so far in one document. Identifiers are made from element ids
/// with all but a few ASCII characters removed, so distinct ids can give the same one, and a
/// reference to it would find the first mask; a later claim of a taken identifier gets "-2",
/// "-3", ... instead, whichever is still free.
class SVGMaskIds {
public:
    std::string claim(std::string identifier);

private:
    std::map<std::string, std::size_t, std::less<>> taken_;  // identifier to the next suffix to try
};

/// The markup of one element, empty or of one or more lines, in document coordinates (world
/// coordinates moved by dx, dy). `index` resolves bound connector ends; `maskIds` keeps the
/// document's mask identifiers unique.
std::string elementToSVG(const Element& element, const ElementIndex& index, double dx, double dy,
                         SVGMaskIds& maskIds);

/// The label of a line or arrow in its laid-out box (centre and size): a patch of the canvas
/// colour (already escaped) and the label's lines centred on it. Empty without a label.
std::string connectorLabelToSVG(const Element& element, const LabelBox& box, double dx, double dy,
                                std::string_view escapedCanvasColor);

}  // namespace dv

template <>
struct std::hash<dv::SceneToSVGOptions> {
    std::size_t operator()(const dv::SceneToSVGOptions& options) const noexcept;
};

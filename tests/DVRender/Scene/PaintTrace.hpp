#pragma once
// Test support for painting: elements built field by field, painted into a recording, and the
// recording flattened into named calls that tables can compare.

#include "DVModel/Element.hpp"
#include "DVRender/Canvas/DisplayList.hpp"
#include "DVRender/Images/RenderImage.hpp"
#include "DVRender/Scene/RenderTheme.hpp"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace dv::test {

// One recorded call: its name ("moveTo", "stroke", "fillStyle", ...), numbers and text.
struct Call {
    std::string name;
    std::vector<double> args;
    std::string text;
};

std::vector<Call> callsOf(const DisplayList& list);
std::size_t countOf(const std::vector<Call>& calls, const std::string& name);
// The calls of that name, in order.
std::vector<Call> named(const std::vector<Call>& calls, const std::string& name);
// Every value a text property was set to, in order.
std::vector<std::string> propertyValues(const std::vector<Call>& calls, const std::string& name);

// Serves the images a test names; other sources answer as `fallback` says.
class FakeImages final : public ImageProvider {
public:
    std::map<std::string, ImageLookup> answers;
    ImageLookup fallback = ImageLookup::failed();
    int lookups = 0;
    ImageLookup image(const std::string& src) override;
};

Element baseElement(std::string id, double x, double y, Element::Payload payload);
Element rectangle(std::string id, double x, double y, double w, double h);
Element ellipseElement(std::string id, double x, double y, double w, double h);
Element rhombus(std::string id, double x, double y, double w, double h);
Element arrow(std::string id, double x, double y, double x2, double y2);
Element line(std::string id, double x, double y, double x2, double y2);
Element text(std::string id, double x, double y, std::string content, double fontSize);
Element stencil(std::string id, double x, double y, double w, double h, StencilSource source);
Element image(std::string id, double x, double y, double w, double h, std::string src);

// One element of every kind, labelled where the kind has labels.
std::vector<Element> everyKind();

}  // namespace dv::test

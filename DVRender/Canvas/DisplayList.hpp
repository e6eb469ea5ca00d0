#pragma once
// A recorded drawing: the calls made on a RecordingContext, replayable onto any drawing
// context, measurable for the area it can paint, and convertible to a JSON recording.

#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "DVModel/SmallRecords.hpp"
#include "DVRender/Canvas/CanvasState.hpp"
#include "DVRender/Canvas/DrawnBounds.hpp"
#include "DVRender/Canvas/PathBuilder.hpp"

namespace dv {

class DrawingContext;
class RenderImage;

struct DisplayOp {
    struct Property {
        CanvasProperty property;
        bool operator==(const Property&) const = default;
    };
    struct Translate {
        double x, y;
        bool operator==(const Translate&) const = default;
    };
    struct Rotate {
        double angle;
        bool operator==(const Rotate&) const = default;
    };
    struct Scale {
        double x, y;
        bool operator==(const Scale&) const = default;
    };
    struct SetTransform {
        CanvasMatrix matrix;
        bool operator==(const SetTransform&) const = default;
    };
    struct SetLineDash {
        std::vector<double> segments;   // as passed in
        bool operator==(const SetLineDash&) const = default;
    };
    struct Path {
        PathOp op;
        bool operator==(const Path&) const = default;
    };
    struct Clip {
        FillRule rule;
        bool operator==(const Clip&) const = default;
    };
    struct Fill {
        FillRule rule;
        bool operator==(const Fill&) const = default;
    };
    struct FillRect {
        double x, y, width, height;
        bool operator==(const FillRect&) const = default;
    };
    struct StrokeRect {
        double x, y, width, height;
        bool operator==(const StrokeRect&) const = default;
    };
    struct FillText {
        std::string text;
        double x, y;
        bool operator==(const FillText&) const = default;
    };
    struct DrawImage {
        std::shared_ptr<RenderImage> image;   // compared by identity
        double x, y, width, height;
        bool operator==(const DrawImage&) const = default;
    };
    struct FillCircles {
        std::vector<Point> centres;
        double radius;
        bool operator==(const FillCircles&) const = default;
    };
    struct Save {
        bool operator==(const Save&) const = default;
    };
    struct Restore {
        bool operator==(const Restore&) const = default;
    };
    struct ResetTransform {
        bool operator==(const ResetTransform&) const = default;
    };
    struct Stroke {
        bool operator==(const Stroke&) const = default;
    };

    // The case order is part of the type.
    using Value = std::variant<Property, Translate, Rotate, Scale, SetTransform, SetLineDash, Path,
                               Clip, Fill, FillRect, StrokeRect, FillText, DrawImage, FillCircles,
                               Save, Restore, ResetTransform, Stroke>;
    Value value;

    template <typename T>
        requires(!std::is_same_v<std::remove_cvref_t<T>, DisplayOp> &&
                 std::is_constructible_v<Value, T &&>)
    DisplayOp(T&& op) : value(std::forward<T>(op)) {}

    bool operator==(const DisplayOp&) const = default;
};

// An immutable list of ops; copies share the storage (and the images it holds).
class DisplayList {
public:
    DisplayList() = default;
    explicit DisplayList(std::vector<DisplayOp> ops);
    static DisplayList empty() { return {}; }

    const std::vector<DisplayOp>& ops() const;

    // Calls, in order, the operation of `context` that matches each op.
    void replay(DrawingContext& context) const;
    // {"calls": [...], "states": [...]}: each call a flat array of its name and arguments,
    // drawing calls ending with the index of their state in "states".
    JSONValue canvasRecording() const;
    // A conservative rectangle around everything the list can paint.
    DrawnBounds drawnBounds() const;

    friend bool operator==(const DisplayList& a, const DisplayList& b) { return a.ops() == b.ops(); }

private:
    std::shared_ptr<const std::vector<DisplayOp>> ops_;
};

namespace detail {

// The state and save stack of a context, stepped op by op with the rules every context
// shares. Ops that do not touch the state are ignored.
struct StateTracker {
    CanvasState state;
    std::vector<CanvasState> stack;

    void step(const DisplayOp& op);
};

} // namespace detail

} // namespace dv

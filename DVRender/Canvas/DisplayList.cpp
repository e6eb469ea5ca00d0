#include "DVRender/Canvas/DisplayList.hpp"

#include <cmath>
#include <unordered_map>

#include "DVModel/JSONValue.hpp"
#include "DVRender/Canvas/DrawingContext.hpp"
#include "DVRender/Images/RenderImage.hpp"

namespace dv {

namespace {

template <class... F>
struct Overloaded : F... {
    using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

// Ops that can change the running state (a save only copies it).
bool changesState(const DisplayOp& op) {
    return std::visit(Overloaded{
                          [](const DisplayOp::Property&) { return true; },
                          [](const DisplayOp::Translate&) { return true; },
                          [](const DisplayOp::Rotate&) { return true; },
                          [](const DisplayOp::Scale&) { return true; },
                          [](const DisplayOp::SetTransform&) { return true; },
                          [](const DisplayOp::SetLineDash&) { return true; },
                          [](const DisplayOp::Restore&) { return true; },
                          [](const DisplayOp::ResetTransform&) { return true; },
                          [](const auto&) { return false; },
                      },
                      op.value);
}

const std::vector<DisplayOp>& emptyOps() {
    static const std::vector<DisplayOp> ops;
    return ops;
}

} // namespace

DisplayList::DisplayList(std::vector<DisplayOp> ops)
    : ops_(std::make_shared<const std::vector<DisplayOp>>(std::move(ops))) {}

const std::vector<DisplayOp>& DisplayList::ops() const { return ops_ ? *ops_ : emptyOps(); }

void detail::StateTracker::step(const DisplayOp& op) {
    std::visit(Overloaded{
                   [&](const DisplayOp::Property& p) { state.apply(p.property); },
                   [&](const DisplayOp::Translate& t) { state.concatenate({1, 0, 0, 1, t.x, t.y}); },
                   [&](const DisplayOp::Rotate& r) {
                       double c = std::cos(r.angle);
                       double s = std::sin(r.angle);
                       state.concatenate({c, s, -s, c, 0, 0});
                   },
                   [&](const DisplayOp::Scale& s) { state.concatenate({s.x, 0, 0, s.y, 0, 0}); },
                   [&](const DisplayOp::SetTransform& t) { state.setTransform(t.matrix); },
                   [&](const DisplayOp::SetLineDash& d) { state.setLineDash(d.segments); },
                   [&](const DisplayOp::Save&) { stack.push_back(state); },
                   [&](const DisplayOp::Restore&) {
                       if (stack.empty()) return;
                       state = std::move(stack.back());
                       stack.pop_back();
                   },
                   [&](const DisplayOp::ResetTransform&) { state.transform = CanvasMatrix::identity(); },
                   [](const auto&) {},
               },
               op.value);
}

void DisplayList::replay(DrawingContext& context) const {
    for (const DisplayOp& op : ops()) {
        std::visit(
            Overloaded{
                [&](const DisplayOp::Property& p) { context.setProperty(p.property); },
                [&](const DisplayOp::Translate& t) { context.translate(t.x, t.y); },
                [&](const DisplayOp::Rotate& r) { context.rotate(r.angle); },
                [&](const DisplayOp::Scale& s) { context.scale(s.x, s.y); },
                [&](const DisplayOp::SetTransform& t) {
                    const CanvasMatrix& m = t.matrix;
                    context.setTransform(m.a, m.b, m.c, m.d, m.e, m.f);
                },
                [&](const DisplayOp::SetLineDash& d) { context.setLineDash(d.segments); },
                [&](const DisplayOp::Path& p) {
                    std::visit(
                        Overloaded{
                            [&](const PathOp::MoveTo& o) { context.moveTo(o.x, o.y); },
                            [&](const PathOp::LineTo& o) { context.lineTo(o.x, o.y); },
                            [&](const PathOp::QuadraticCurveTo& o) {
                                context.quadraticCurveTo(o.cpx, o.cpy, o.x, o.y);
                            },
                            [&](const PathOp::BezierCurveTo& o) {
                                context.bezierCurveTo(o.cp1x, o.cp1y, o.cp2x, o.cp2y, o.x, o.y);
                            },
                            [&](const PathOp::Arc& o) {
                                context.arc(o.x, o.y, o.radius, o.startAngle, o.endAngle, o.anticlockwise);
                            },
                            [&](const PathOp::Rect& o) { context.rect(o.x, o.y, o.width, o.height); },
                            [&](const PathOp::BeginPath&) { context.beginPath(); },
                            [&](const PathOp::ClosePath&) { context.closePath(); },
                        },
                        p.op.value);
                },
                [&](const DisplayOp::Clip& c) { context.clip(c.rule); },
                [&](const DisplayOp::Fill& f) { context.fill(f.rule); },
                [&](const DisplayOp::FillRect& r) { context.fillRect(r.x, r.y, r.width, r.height); },
                [&](const DisplayOp::StrokeRect& r) { context.strokeRect(r.x, r.y, r.width, r.height); },
                [&](const DisplayOp::FillText& t) { context.fillText(t.text, t.x, t.y); },
                [&](const DisplayOp::DrawImage& i) { context.drawImage(i.image, i.x, i.y, i.width, i.height); },
                [&](const DisplayOp::FillCircles& c) { context.fillCircles(c.centres, c.radius); },
                [&](const DisplayOp::Save&) { context.save(); },
                [&](const DisplayOp::Restore&) { context.restore(); },
                [&](const DisplayOp::ResetTransform&) { context.resetTransform(); },
                [&](const DisplayOp::Stroke&) { context.stroke(); },
            },
            op.value);
    }
}

JSONValue DisplayList::canvasRecording() const {
    using Array = JSONValue::Array;
    Array calls;
    Array states;
    detail::StateTracker tracker;
    // Distinct states by CanvasState equality.
    std::unordered_map<CanvasState, std::size_t> indices;
    std::optional<std::size_t> currentIndex;   // valid until the running state changes
    auto stateIndex = [&]() -> double {
        // A state holding NaN equals nothing, itself included: it gets a new entry each time.
        if (!currentIndex || !(tracker.state == tracker.state)) {
            auto found = indices.find(tracker.state);
            if (found != indices.end()) {
                currentIndex = found->second;
            } else {
                currentIndex = states.size();
                states.push_back(tracker.state.jsonValue());
                indices.emplace(tracker.state, *currentIndex);
            }
        }
        return static_cast<double>(*currentIndex);
    };
    auto call = [&](std::string_view name, std::initializer_list<JSONValue> arguments) {
        Array entry;
        entry.reserve(arguments.size() + 1);
        entry.emplace_back(name);
        entry.insert(entry.end(), arguments.begin(), arguments.end());
        calls.emplace_back(std::move(entry));
    };

    for (const DisplayOp& op : ops()) {
        std::visit(
            Overloaded{
                [&](const DisplayOp::Property&) {},
                [&](const DisplayOp::Translate& t) { call("translate", {t.x, t.y}); },
                [&](const DisplayOp::Rotate& r) { call("rotate", {r.angle}); },
                [&](const DisplayOp::Scale& s) { call("scale", {s.x, s.y}); },
                [&](const DisplayOp::SetTransform& t) {
                    const CanvasMatrix& m = t.matrix;
                    call("setTransform", {m.a, m.b, m.c, m.d, m.e, m.f});
                },
                [&](const DisplayOp::SetLineDash& d) {
                    call("setLineDash", {JSONValue(Array(d.segments.begin(), d.segments.end()))});
                },
                [&](const DisplayOp::Path& p) {
                    std::visit(Overloaded{
                                   [&](const PathOp::MoveTo& o) { call("moveTo", {o.x, o.y}); },
                                   [&](const PathOp::LineTo& o) { call("lineTo", {o.x, o.y}); },
                                   [&](const PathOp::QuadraticCurveTo& o) {
                                       call("quadraticCurveTo", {o.cpx, o.cpy, o.x, o.y});
                                   },
                                   [&](const PathOp::BezierCurveTo& o) {
                                       call("bezierCurveTo", {o.cp1x, o.cp1y, o.cp2x, o.cp2y, o.x, o.y});
                                   },
                                   [&](const PathOp::Arc& o) {
                                       call("arc", {o.x, o.y, o.radius, o.startAngle, o.endAngle,
                                                    o.anticlockwise});
                                   },
                                   [&](const PathOp::Rect& o) {
                                       call("rect", {o.x, o.y, o.width, o.height});
                                   },
                                   [&](const PathOp::BeginPath&) { call("beginPath", {}); },
                                   [&](const PathOp::ClosePath&) { call("closePath", {}); },
                               },
                               p.op.value);
                },
                [&](const DisplayOp::Clip& c) { call("clip", {toWord(c.rule)}); },
                [&](const DisplayOp::Fill& f) { call("fill", {toWord(f.rule), stateIndex()}); },
                [&](const DisplayOp::FillRect& r) {
                    call("fillRect", {r.x, r.y, r.width, r.height, stateIndex()});
                },
                [&](const DisplayOp::StrokeRect& r) {
                    call("strokeRect", {r.x, r.y, r.width, r.height, stateIndex()});
                },
                [&](const DisplayOp::FillText& t) {
                    call("fillText", {t.text, t.x, t.y, stateIndex()});
                },
                [&](const DisplayOp::DrawImage& i) {
                    call("drawImage", {i.image ? i.image->src() : std::string(), i.x, i.y, i.width,
                                       i.height, stateIndex()});
                },
                [&](const DisplayOp::FillCircles& c) {
                    call("beginPath", {});
                    for (const Point& p : c.centres) {
                        call("moveTo", {p.x + c.radius, p.y});
                        call("arc", {p.x, p.y, c.radius, 0.0, PathBuilder::TWO_PI, false});
                    }
                    call("fill", {"nonzero", stateIndex()});
                },
                [&](const DisplayOp::Save&) { call("save", {}); },
                [&](const DisplayOp::Restore&) { call("restore", {}); },
                [&](const DisplayOp::ResetTransform&) { call("resetTransform", {}); },
                [&](const DisplayOp::Stroke&) { call("stroke", {stateIndex()}); },
            },
            op.value);
        if (changesState(op)) {
            tracker.step(op);
            currentIndex.reset();
        } else if (std::holds_alternative<DisplayOp::Save>(op.value)) {
            tracker.step(op);
        }
    }
    JSONObject recording;
    recording.set("calls", JSONValue(std::move(calls)));
    recording.set("states", JSONValue(std::move(states)));
    return JSONValue(std::move(recording));
}

} // namespace dv

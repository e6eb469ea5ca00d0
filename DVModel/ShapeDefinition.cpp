#include "DVModel/ShapeDefinition.hpp"

#include "DVModel/Hashing.hpp"
#include "DVModel/JSNumber.hpp"

#include <string>

namespace dv {

namespace {

constexpr double K = ShapeDefinition::cubicCircleK;

// Builds a path and remembers the current point, which a corner arc starts from.
class PathBuilder {
public:
    PathBuilder& move(double x, double y) {
        commands_.push_back(ShapeCommand::move(x, y));
        cx_ = x;
        cy_ = y;
        return *this;
    }
    PathBuilder& line(double x, double y) {
        commands_.push_back(ShapeCommand::line(x, y));
        cx_ = x;
        cy_ = y;
        return *this;
    }
    // A quarter ellipse from the current point S to E, bent toward the corner C between them:
    // control points S + (C − S) × K and E + (C − E) × K.
    PathBuilder& arc(double ex, double ey, double cornerX, double cornerY) {
        commands_.push_back(ShapeCommand::cubic(cx_ + (cornerX - cx_) * K, cy_ + (cornerY - cy_) * K,
                                                ex + (cornerX - ex) * K, ey + (cornerY - ey) * K,
                                                ex, ey));
        cx_ = ex;
        cy_ = ey;
        return *this;
    }
    PathBuilder& cubic(double x1, double y1, double x2, double y2, double x, double y) {
        commands_.push_back(ShapeCommand::cubic(x1, y1, x2, y2, x, y));
        cx_ = x;
        cy_ = y;
        return *this;
    }
    std::vector<ShapeCommand> close() {
        commands_.push_back(ShapeCommand::close());
        return std::move(commands_);
    }
    std::vector<ShapeCommand> open() { return std::move(commands_); }

private:
    std::vector<ShapeCommand> commands_;
    double cx_ = 0;
    double cy_ = 0;
};

std::vector<ShapeCommand> rectangleOutline(double W, double H) {
    return PathBuilder().move(0, 0).line(W, 0).line(W, H).line(0, H).close();
}

// terminator: rounded ends
double terminatorRadius(double W, double H) { return jsMin(0.5 * W, 0.5 * H); }
std::vector<ShapeCommand> terminatorOutline(double W, double H) {
    const double r = terminatorRadius(W, H);
    const double m = 0.5 * H;
    return PathBuilder()
        .move(r, 0)
        .line(W - r, 0)
        .arc(W, m, W, 0)
        .arc(W - r, H, W, H)
        .line(r, H)
        .arc(0, m, 0, H)
        .arc(r, 0, 0, 0)
        .close();
}
ShapeBox terminatorTextBox(double W, double H) {
    const double r = terminatorRadius(W, H);
    return {0.4 * r, 0, jsMax(0, W + (-0.8) * r), H};
}

// data: parallelogram leaning right
double slant(double W, double H) { return jsMin(0.2 * W, 0.5 * H); }
std::vector<ShapeCommand> dataOutline(double W, double H) {
    const double s = slant(W, H);
    return PathBuilder().move(s, 0).line(W, 0).line(W - s, H).line(0, H).close();
}
ShapeBox dataTextBox(double W, double H) {
    const double s = slant(W, H);
    return {s, 0, jsMax(0, W - (s + s)), H};
}

// document: wavy bottom
std::vector<ShapeCommand> documentOutline(double W, double H) {
    const double a = 0.1 * H;
    const double b = H - a;
    const double c = a * 1.8;
    return PathBuilder()
        .move(0, 0)
        .line(W, 0)
        .line(W, b)
        .cubic((W + W) / 3, b - c, W / 3, c + b, 0, b)
        .close();
}
ShapeBox documentTextBox(double W, double H) { return {0, 0, W, 0.82 * H}; }

// database: cylinder
double rimDepth(double W, double H) { return jsMin(0.15 * H, 0.25 * W); }
std::vector<ShapeCommand> databaseOutline(double W, double H) {
    const double e = rimDepth(W, H);
    const double q = 0.5 * W;
    return PathBuilder()
        .move(0, e)
        .arc(q, 0, 0, 0)
        .arc(W, e, W, 0)
        .line(W, H - e)
        .arc(q, H, W, H)
        .arc(0, H - e, 0, H)
        .close();
}
std::vector<ShapeCommand> databaseDetails(double W, double H) {
    const double e = rimDepth(W, H);
    const double q = 0.5 * W;
    const double d = e * 2;
    return PathBuilder().move(0, e).arc(q, d, 0, d).arc(W, e, W, d).open();
}
ShapeBox databaseTextBox(double W, double H) {
    const double e = rimDepth(W, H);
    return {0, e + e, W, jsMax(0, e * (-3) + H)};
}

// predefinedProcess: rectangle with double sides
double sideInset(double W) { return jsMin(0.1 * W, 16); }
std::vector<ShapeCommand> predefinedProcessDetails(double W, double H) {
    const double i = sideInset(W);
    return PathBuilder().move(i, 0).line(i, H).move(W - i, 0).line(W - i, H).open();
}
ShapeBox predefinedProcessTextBox(double W, double H) {
    const double i = sideInset(W);
    return {i, 0, jsMax(0, W - (i + i)), H};
}

// preparation: hexagon
std::vector<ShapeCommand> preparationOutline(double W, double H) {
    const double s = slant(W, H);
    const double m = 0.5 * H;
    return PathBuilder()
        .move(s, 0)
        .line(W - s, 0)
        .line(W, m)
        .line(W - s, H)
        .line(s, H)
        .line(0, m)
        .close();
}
ShapeBox preparationTextBox(double W, double H) {
    const double s = slant(W, H);
    return {0.6 * s, 0, jsMax(0, s * (-1.2) + W), H};
}

// manualInput: top edge sloping up to the right
std::vector<ShapeCommand> manualInputOutline(double W, double H) {
    const double t = 0.25 * H;
    return PathBuilder().move(0, t).line(W, 0).line(W, H).line(0, H).close();
}
ShapeBox manualInputTextBox(double W, double H) {
    const double t = 0.25 * H;
    return {0, t, W, H - t};
}

// delay: D shape
std::vector<ShapeCommand> delayOutline(double W, double H) {
    const double r = terminatorRadius(W, H);
    const double m = 0.5 * H;
    return PathBuilder()
        .move(0, 0)
        .line(W - r, 0)
        .arc(W, m, W, 0)
        .arc(W - r, H, W, H)
        .line(0, H)
        .close();
}
ShapeBox delayTextBox(double W, double H) {
    const double r = terminatorRadius(W, H);
    return {0, 0, jsMax(0, r * (-0.4) + W), H};
}

}  // namespace

const std::array<ShapeDefinition, 8>& ShapeDefinition::shapeDefinitions() {
    static const std::array<ShapeDefinition, 8> table{{
        {terminatorOutline, nullptr, terminatorTextBox},
        {dataOutline, nullptr, dataTextBox},
        {documentOutline, nullptr, documentTextBox},
        {databaseOutline, databaseDetails, databaseTextBox},
        {rectangleOutline, predefinedProcessDetails, predefinedProcessTextBox},
        {preparationOutline, nullptr, preparationTextBox},
        {manualInputOutline, nullptr, manualInputTextBox},
        {delayOutline, nullptr, delayTextBox},
    }};
    return table;
}

const ShapeDefinition& definition(ShapeKind kind) {
    return ShapeDefinition::shapeDefinitions()[static_cast<std::size_t>(kind)];
}

JSONValue ShapeCommand::jsonValue() const {
    JSONValue::Array out;
    auto put = [&out](const char* letter, std::initializer_list<double> numbers) {
        out.reserve(1 + numbers.size());
        out.emplace_back(std::string(letter));
        for (double n : numbers) out.emplace_back(n);
    };
    if (const auto* m = std::get_if<Move>(&command)) {
        put("M", {m->x, m->y});
    } else if (const auto* l = std::get_if<Line>(&command)) {
        put("L", {l->x, l->y});
    } else if (const auto* c = std::get_if<Cubic>(&command)) {
        put("C", {c->x1, c->y1, c->x2, c->y2, c->x, c->y});
    } else {
        put("Z", {});
    }
    return JSONValue(std::move(out));
}

}  // namespace dv

std::size_t std::hash<dv::ShapeCommand>::operator()(const dv::ShapeCommand& command) const noexcept {
    dv::Hasher h;
    h.writeU64(command.command.index());
    std::visit(
        [&h](const auto& c) {
            using T = std::decay_t<decltype(c)>;
            if constexpr (std::is_same_v<T, dv::ShapeCommand::Cubic>) {
                for (double v : {c.x1, c.y1, c.x2, c.y2, c.x, c.y}) h.writeDouble(v);
            } else if constexpr (!std::is_same_v<T, dv::ShapeCommand::Close>) {
                h.writeDouble(c.x);
                h.writeDouble(c.y);
            }
        },
        command.command);
    return h.finish();
}

std::size_t std::hash<dv::ShapeBox>::operator()(const dv::ShapeBox& box) const noexcept {
    dv::Hasher h;
    for (double v : {box.x, box.y, box.w, box.h}) h.writeDouble(v);
    return h.finish();
}

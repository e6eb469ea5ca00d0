#include "DVModel/CSSColor.hpp"

#include "DVModel/JSNumber.hpp"
#include "DVModel/JSString.hpp"
#include "DVModel/UTF8.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

namespace dv {

namespace {

constexpr NamedColor kNamedColors[] = {
    {"aliceblue", 0xF0F8FF},
    {"antiquewhite", 0xFAEBD7},
    {"aqua", 0x00FFFF},
    {"aquamarine", 0x7FFFD4},
    {"azure", 0xF0FFFF},
    {"beige", 0xF5F5DC},
    {"bisque", 0xFFE4C4},
    {"black", 0x000000},
    {"blanchedalmond", 0xFFEBCD},
    {"blue", 0x0000FF},
    {"blueviolet", 0x8A2BE2},
    {"brown", 0xA52A2A},
    {"burlywood", 0xDEB887},
    {"cadetblue", 0x5F9EA0},
    {"chartreuse", 0x7FFF00},
    {"chocolate", 0xD2691E},
    {"coral", 0xFF7F50},
    {"cornflowerblue", 0x6495ED},
    {"cornsilk", 0xFFF8DC},
    {"crimson", 0xDC143C},
    {"cyan", 0x00FFFF},
    {"darkblue", 0x00008B},
    {"darkcyan", 0x008B8B},
    {"darkgoldenrod", 0xB8860B},
    {"darkgray", 0xA9A9A9},
    {"darkgreen", 0x006400},
    {"darkgrey", 0xA9A9A9},
    {"darkkhaki", 0xBDB76B},
    {"darkmagenta", 0x8B008B},
    {"darkolivegreen", 0x556B2F},
    {"darkorange", 0xFF8C00},
    {"darkorchid", 0x9932CC},
    {"darkred", 0x8B0000},
    {"darksalmon", 0xE9967A},
    {"darkseagreen", 0x8FBC8F},
    {"darkslateblue", 0x483D8B},
    {"darkslategray", 0x2F4F4F},
    {"darkslategrey", 0x2F4F4F},
    {"darkturquoise", 0x00CED1},
    {"darkviolet", 0x9400D3},
    {"deeppink", 0xFF1493},
    {"deepskyblue", 0x00BFFF},
    {"dimgray", 0x696969},
    {"dimgrey", 0x696969},
    {"dodgerblue", 0x1E90FF},
    {"firebrick", 0xB22222},
    {"floralwhite", 0xFFFAF0},
    {"forestgreen", 0x228B22},
    {"fuchsia", 0xFF00FF},
    {"gainsboro", 0xDCDCDC},
    {"ghostwhite", 0xF8F8FF},
    {"gold", 0xFFD700},
    {"goldenrod", 0xDAA520},
    {"gray", 0x808080},
    {"green", 0x008000},
    {"greenyellow", 0xADFF2F},
    {"grey", 0x808080},
    {"honeydew", 0xF0FFF0},
    {"hotpink", 0xFF69B4},
    {"indianred", 0xCD5C5C},
    {"indigo", 0x4B0082},
    {"ivory", 0xFFFFF0},
    {"khaki", 0xF0E68C},
    {"lavender", 0xE6E6FA},
    {"lavenderblush", 0xFFF0F5},
    {"lawngreen", 0x7CFC00},
    {"lemonchiffon", 0xFFFACD},
    {"lightblue", 0xADD8E6},
    {"lightcoral", 0xF08080},
    {"lightcyan", 0xE0FFFF},
    {"lightgoldenrodyellow", 0xFAFAD2},
    {"lightgray", 0xD3D3D3},
    {"lightgreen", 0x90EE90},
    {"lightgrey", 0xD3D3D3},
    {"lightpink", 0xFFB6C1},
    {"lightsalmon", 0xFFA07A},
    {"lightseagreen", 0x20B2AA},
    {"lightskyblue", 0x87CEFA},
    {"lightslategray", 0x778899},
    {"lightslategrey", 0x778899},
    {"lightsteelblue", 0xB0C4DE},
    {"lightyellow", 0xFFFFE0},
    {"lime", 0x00FF00},
    {"limegreen", 0x32CD32},
    {"linen", 0xFAF0E6},
    {"magenta", 0xFF00FF},
    {"maroon", 0x800000},
    {"mediumaquamarine", 0x66CDAA},
    {"mediumblue", 0x0000CD},
    {"mediumorchid", 0xBA55D3},
    {"mediumpurple", 0x9370DB},
    {"mediumseagreen", 0x3CB371},
    {"mediumslateblue", 0x7B68EE},
    {"mediumspringgreen", 0x00FA9A},
    {"mediumturquoise", 0x48D1CC},
    {"mediumvioletred", 0xC71585},
    {"midnightblue", 0x191970},
    {"mintcream", 0xF5FFFA},
    {"mistyrose", 0xFFE4E1},
    {"moccasin", 0xFFE4B5},
    {"navajowhite", 0xFFDEAD},
    {"navy", 0x000080},
    {"oldlace", 0xFDF5E6},
    {"olive", 0x808000},
    {"olivedrab", 0x6B8E23},
    {"orange", 0xFFA500},
    {"orangered", 0xFF4500},
    {"orchid", 0xDA70D6},
    {"palegoldenrod", 0xEEE8AA},
    {"palegreen", 0x98FB98},
    {"paleturquoise", 0xAFEEEE},
    {"palevioletred", 0xDB7093},
    {"papayawhip", 0xFFEFD5},
    {"peachpuff", 0xFFDAB9},
    {"peru", 0xCD853F},
    {"pink", 0xFFC0CB},
    {"plum", 0xDDA0DD},
    {"powderblue", 0xB0E0E6},
    {"purple", 0x800080},
    {"rebeccapurple", 0x663399},
    {"red", 0xFF0000},
    {"rosybrown", 0xBC8F8F},
    {"royalblue", 0x4169E1},
    {"saddlebrown", 0x8B4513},
    {"salmon", 0xFA8072},
    {"sandybrown", 0xF4A460},
    {"seagreen", 0x2E8B57},
    {"seashell", 0xFFF5EE},
    {"sienna", 0xA0522D},
    {"silver", 0xC0C0C0},
    {"skyblue", 0x87CEEB},
    {"slateblue", 0x6A5ACD},
    {"slategray", 0x708090},
    {"slategrey", 0x708090},
    {"snow", 0xFFFAFA},
    {"springgreen", 0x00FF7F},
    {"steelblue", 0x4682B4},
    {"tan", 0xD2B48C},
    {"teal", 0x008080},
    {"thistle", 0xD8BFD8},
    {"tomato", 0xFF6347},
    {"turquoise", 0x40E0D0},
    {"violet", 0xEE82EE},
    {"wheat", 0xF5DEB3},
    {"white", 0xFFFFFF},
    {"whitesmoke", 0xF5F5F5},
    {"yellow", 0xFFFF00},
    {"yellowgreen", 0x9ACD32},
};

constexpr std::size_t kMaxColorUnits = 128;

bool isASCIILetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isHexDigit(char c) { return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
char lowerASCII(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c; }

int hexValue(char c) {
    if (isDigit(c)) return c - '0';
    return lowerASCII(c) - 'a' + 10;
}

// CSS white space: tab, line feed, form feed, carriage return and space (not the vertical tab).
// All are ASCII, and an ASCII byte is always a scalar of its own, so trimming bytes trims scalars.
bool isCSSWhiteSpace(char c) { return c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == ' '; }

std::string_view trimCSSWhiteSpace(std::string_view s) {
    while (!s.empty() && isCSSWhiteSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && isCSSWhiteSpace(s.back())) s.remove_suffix(1);
    return s;
}

bool equalsIgnoringASCIICase(std::string_view text, std::string_view lower) {
    return text.size() == lower.size() && hasPrefixIgnoringASCIICase(text, lower);
}

// Argument characters the gate lets through between the parentheses of a functional colour.
bool isFunctionalArgumentScalar(char32_t c) {
    return (c >= U'0' && c <= U'9') || c == U'%' || c == U'+' || c == U',' || c == U'-' || c == U'.' ||
           isJSWhiteSpace(c);
}

bool isValidFunctionalColor(std::string_view text) {
    for (std::string_view prefix : {"rgb(", "rgba(", "hsl(", "hsla("}) {
        if (!hasPrefixIgnoringASCIICase(text, prefix)) continue;
        // The prefix is ASCII, so its bytes and code units coincide.
        std::string_view rest = text.substr(prefix.size());
        if (utf16Length(rest) < 2 || rest.back() != ')') continue;
        std::string_view inner = rest.substr(0, rest.size() - 1);
        bool allowed = true;
        for (std::size_t pos = 0; pos < inner.size() && allowed;) {
            allowed = isFunctionalArgumentScalar(decodeUTF8(inner, pos));
        }
        if (allowed) return true;
    }
    return false;
}

// One argument of a functional colour: a number, or the value in front of a "%".
struct Component {
    double value = 0;
    bool isPercentage = false;
};

// Digits with at most one ".", no exponent: "12", "1.5", ".5" (but not "5." or "1.2.3").
// The value is the nearest double: +infinity past the largest, 0 below the smallest.
std::optional<double> readUnsignedDecimal(std::string_view text) {
    std::size_t point = text.find('.');
    std::string_view integerPart = text.substr(0, point);
    std::string_view fractionPart = point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
    if (point == std::string_view::npos) {
        if (integerPart.empty()) return std::nullopt;
    } else if (fractionPart.empty()) {
        return std::nullopt;
    }
    if (!std::all_of(integerPart.begin(), integerPart.end(), isDigit) ||
        !std::all_of(fractionPart.begin(), fractionPart.end(), isDigit))
        return std::nullopt; // a second "." lands here too

    double value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
    if (ec == std::errc::result_out_of_range) {
        bool large = std::any_of(integerPart.begin(), integerPart.end(), [](char c) { return c != '0'; });
        return large ? HUGE_VAL : 0.0;
    }
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::optional<Component> readComponent(std::string_view piece) {
    Component component;
    if (!piece.empty() && piece.back() == '%') {
        component.isPercentage = true;
        piece.remove_suffix(1);
    }
    bool negative = false;
    if (!piece.empty() && (piece.front() == '+' || piece.front() == '-')) {
        negative = piece.front() == '-';
        piece.remove_prefix(1);
    }
    std::optional<double> magnitude = readUnsignedDecimal(piece);
    if (!magnitude) return std::nullopt;
    component.value = negative ? -*magnitude : *magnitude;
    return component;
}

// Comma form when the text holds a ",": split at every comma, keeping empty pieces.
// Space form otherwise: split at runs of CSS white space, dropping empty pieces.
// No notation takes more than four arguments, so reading stops (and fails) at a fifth.
struct Arguments {
    std::array<Component, 4> components;
    std::size_t count = 0;
    bool commaForm = false;
};

std::optional<Arguments> readArguments(std::string_view text) {
    Arguments args;
    args.commaForm = text.find(',') != std::string_view::npos;
    auto addPiece = [&](std::string_view piece) {
        if (args.count == args.components.size()) return false;
        std::optional<Component> component = readComponent(trimCSSWhiteSpace(piece));
        if (component) args.components[args.count++] = *component;
        return component.has_value();
    };
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = start;
        if (args.commaForm) {
            end = std::min(text.find(',', start), text.size());
        } else {
            while (start < text.size() && isCSSWhiteSpace(text[start])) ++start;
            if (start == text.size()) break;
            end = start;
            while (end < text.size() && !isCSSWhiteSpace(text[end])) ++end;
        }
        if (!addPiece(text.substr(start, end - start))) return std::nullopt;
        start = end + 1;
    }
    return args;
}

double clampUnit(double v) {
    if (v <= 0) return 0.0;
    if (v > 1) return 1.0;
    return v;
}

bool hasValidCount(const Arguments& args) {
    return args.count == 3 || (args.count == 4 && args.commaForm);
}

double alphaOf(const Arguments& args) {
    if (args.count < 4) return 1.0;
    const Component& a = args.components[3];
    return clampUnit(a.isPercentage ? a.value / 100 : a.value);
}

std::optional<RGBA> rgbFromArguments(const Arguments& args) {
    if (!hasValidCount(args)) return std::nullopt;
    const auto& c = args.components;
    if (args.commaForm && !(c[0].isPercentage == c[1].isPercentage && c[1].isPercentage == c[2].isPercentage))
        return std::nullopt;
    double channels[3];
    for (int i = 0; i < 3; ++i) channels[i] = clampUnit(c[i].isPercentage ? c[i].value / 100 : c[i].value / 255);
    return RGBA{channels[0], channels[1], channels[2], alphaOf(args)};
}

std::optional<RGBA> hslFromArguments(const Arguments& args) {
    if (!hasValidCount(args)) return std::nullopt;
    const auto& c = args.components;
    if (c[0].isPercentage) return std::nullopt;
    if (args.commaForm && !(c[1].isPercentage && c[2].isPercentage)) return std::nullopt;
    // A hue too long to be finite has no remainder (it would make every channel NaN): no colour.
    if (std::isinf(c[0].value)) return std::nullopt;
    double s = clampUnit(c[1].value / 100);
    double l = clampUnit(c[2].value / 100);
    double h = std::fmod(c[0].value, 360);
    if (h < 0) h += 360;
    double t = h / 30;
    double a = s * jsMin(1 - l, l);
    double channels[3];
    const double offsets[3] = {0, 8, 4}; // red, green, blue
    for (int i = 0; i < 3; ++i) {
        double k = std::fmod(offsets[i] + t, 12);
        double f = jsMax(-1.0, jsMin(1.0, jsMin(9 - k, k - 3)));
        channels[i] = l - a * f;
    }
    return RGBA{channels[0], channels[1], channels[2], alphaOf(args)};
}

std::optional<RGBA> rgbaFromHex(std::string_view hex) {
    std::size_t n = hex.size();
    if ((n != 3 && n != 4 && n != 6 && n != 8) || !std::all_of(hex.begin(), hex.end(), isHexDigit))
        return std::nullopt;
    double channels[4] = {0, 0, 0, 1};
    if (n <= 4) {
        for (std::size_t i = 0; i < n; ++i) channels[i] = (hexValue(hex[i]) * 17) / 255.0;
    } else {
        for (std::size_t i = 0; i < n / 2; ++i)
            channels[i] = (hexValue(hex[2 * i]) * 16 + hexValue(hex[2 * i + 1])) / 255.0;
    }
    return RGBA{channels[0], channels[1], channels[2], channels[3]};
}

std::optional<std::uint32_t> namedColorValue(std::string_view text) {
    // The longest name, "lightgoldenrodyellow", has 20 letters; lower into a small buffer.
    std::array<char, 24> key;
    if (text.size() > key.size()) return std::nullopt;
    std::transform(text.begin(), text.end(), key.begin(), lowerASCII);
    std::string_view lowered(key.data(), text.size());
    auto table = CSSColor::namedColors();
    auto it = std::lower_bound(table.begin(), table.end(), lowered,
                               [](const NamedColor& entry, std::string_view name) { return entry.name < name; });
    if (it == table.end() || it->name != lowered) return std::nullopt;
    return it->value;
}

} // namespace

std::span<const NamedColor> CSSColor::namedColors() { return kNamedColors; }

bool CSSColor::isValid(std::string_view text) {
    // Up to three bytes make one code unit, so only long texts need counting.
    if (text.size() > kMaxColorUnits && (text.size() > 3 * kMaxColorUnits || utf16Length(text) > kMaxColorUnits))
        return false;
    if (text == "transparent" || text == "none") return true;
    if (text.size() >= 4 && text.size() <= 9 && text[0] == '#' &&
        std::all_of(text.begin() + 1, text.end(), isHexDigit))
        return true;
    if (!text.empty() && std::all_of(text.begin(), text.end(), isASCIILetter)) return true;
    return isValidFunctionalColor(text);
}

std::optional<RGBA> CSSColor::rgba() const {
    std::string_view text = trimCSSWhiteSpace(rawValue);
    if (!text.empty() && text[0] == '#') return rgbaFromHex(text.substr(1));
    if (equalsIgnoringASCIICase(text, "transparent")) return RGBA{0, 0, 0, 0};
    if (std::optional<std::uint32_t> value = namedColorValue(text)) {
        return RGBA{((*value >> 16) & 0xFF) / 255.0, ((*value >> 8) & 0xFF) / 255.0, (*value & 0xFF) / 255.0, 1.0};
    }
    std::size_t open = text.find('(');
    if (open == std::string_view::npos || text.back() != ')') return std::nullopt;
    // Lowering the case changes only the name: the arguments accept no letters either way.
    std::string_view name = text.substr(0, open);
    bool isRGB = equalsIgnoringASCIICase(name, "rgb") || equalsIgnoringASCIICase(name, "rgba");
    bool isHSL = equalsIgnoringASCIICase(name, "hsl") || equalsIgnoringASCIICase(name, "hsla");
    if (!isRGB && !isHSL) return std::nullopt;
    std::optional<Arguments> args = readArguments(text.substr(open + 1, text.size() - open - 2));
    if (!args) return std::nullopt;
    return isRGB ? rgbFromArguments(*args) : hslFromArguments(*args);
}

} // namespace dv

#include "DVRender/Scene/GenericIcons.hpp"

#include "DVModel/Hashing.hpp"

#include <initializer_list>
#include <map>

namespace dv {

namespace {

constexpr double kappa = 0.5523;  // control-point factor of a quarter ellipse

// Builds one outline from the small drawing vocabulary of the icon table.
class Outline {
public:
    Outline& M(double x, double y) { return add(ShapeCommand::move(x, y)); }
    Outline& L(double x, double y) { return add(ShapeCommand::line(x, y)); }
    Outline& C(double x1, double y1, double x2, double y2, double x, double y) {
        return add(ShapeCommand::cubic(x1, y1, x2, y2, x, y));
    }
    Outline& Z() { return add(ShapeCommand::close()); }

    // A rounded rectangle from (x0, y0) to (x1, y1) with corner radius r: 10 commands.
    Outline& R(double x0, double y0, double x1, double y1, double r) {
        const double k = kappa * r;
        M(x0 + r, y0);
        L(x1 - r, y0);
        C(x1 - r + k, y0, x1, y0 + r - k, x1, y0 + r);
        L(x1, y1 - r);
        C(x1, y1 - r + k, x1 - r + k, y1, x1 - r, y1);
        L(x0 + r, y1);
        C(x0 + r - k, y1, x0, y1 - r + k, x0, y1 - r);
        L(x0, y0 + r);
        C(x0, y0 + r - k, x0 + r - k, y0, x0 + r, y0);
        return Z();
    }
    // A closed ellipse: 6 commands.
    Outline& E(double cx, double cy, double rx, double ry) {
        const double kx = kappa * rx;
        const double ky = kappa * ry;
        M(cx + rx, cy);
        C(cx + rx, cy + ky, cx + kx, cy + ry, cx, cy + ry);
        C(cx - kx, cy + ry, cx - rx, cy + ky, cx - rx, cy);
        C(cx - rx, cy - ky, cx - kx, cy - ry, cx, cy - ry);
        C(cx + kx, cy - ry, cx + rx, cy - ky, cx + rx, cy);
        return Z();
    }
    // The lower half of an ellipse from its left end to its right end, without a move.
    Outline& H(double cx, double cy, double rx, double ry) {
        const double kx = kappa * rx;
        const double ky = kappa * ry;
        C(cx - rx, cy + ky, cx - kx, cy + ry, cx, cy + ry);
        return C(cx + kx, cy + ry, cx + rx, cy + ky, cx + rx, cy);
    }
    Outline& then(const Outline& other) {
        commands_.insert(commands_.end(), other.commands_.begin(), other.commands_.end());
        return *this;
    }

    std::vector<ShapeCommand> take() { return std::move(commands_); }

private:
    Outline& add(ShapeCommand command) {
        commands_.push_back(std::move(command));
        return *this;
    }
    std::vector<ShapeCommand> commands_;
};

GenericIcon icon(Outline fill, Outline strokes) { return {fill.take(), strokes.take()}; }
GenericIcon strokesOnly(Outline strokes) { return {std::nullopt, strokes.take()}; }

Outline cloud() {
    Outline o;
    o.M(7, 18).L(17, 18).C(19.8, 18, 21.5, 15.5, 20.5, 13).C(19.8, 11.2, 18, 10.2, 16.2, 10.4);
    o.C(15.4, 7.4, 12.8, 5.5, 10, 5.8).C(7.2, 6.1, 5.2, 8.4, 5.1, 11.1);
    o.C(3.3, 11.6, 2.3, 13.4, 2.7, 15.2).C(3.1, 16.9, 4.8, 18, 7, 18).Z();
    return o;
}

std::vector<std::pair<std::string, GenericIcon>> buildIcons() {
    std::vector<std::pair<std::string, GenericIcon>> icons;
    auto add = [&icons](std::string id, GenericIcon i) { icons.emplace_back(std::move(id), std::move(i)); };
    using O = Outline;

    add("server", icon(O().R(3, 3, 21, 11, 2).R(3, 13, 21, 21, 2),
                       O().R(3, 3, 21, 11, 2).R(3, 13, 21, 21, 2).M(7, 7).L(7.5, 7).M(7, 17).L(7.5, 17)));
    add("database",
        icon(O().M(4, 5).L(4, 19).H(12, 19, 8, 3).L(20, 5).Z().E(12, 5, 8, 3),
             O().E(12, 5, 8, 3).M(4, 5).L(4, 19).M(20, 5).L(20, 19).M(4, 19).H(12, 19, 8, 3)
                 .M(4, 12).H(12, 12, 8, 3)));
    add("cache", icon(O().R(6, 6, 18, 18, 2),
                      O().R(6, 6, 18, 18, 2).R(9.5, 9.5, 14.5, 14.5, 0.5)
                          .M(10, 2).L(10, 6).M(14, 2).L(14, 6).M(10, 18).L(10, 22).M(14, 18).L(14, 22)
                          .M(2, 10).L(6, 10).M(2, 14).L(6, 14).M(18, 10).L(22, 10).M(18, 14).L(22, 14)));
    add("queue", icon(O().R(2, 7, 22, 17, 2),
                      O().R(2, 7, 22, 17, 2).M(8.5, 7).L(8.5, 17).M(15, 7).L(15, 17)));
    add("storage",
        icon(O().M(4, 6).L(6, 20).H(12, 20, 6, 1.5).L(20, 6).Z().E(12, 6, 8, 2.5),
             O().E(12, 6, 8, 2.5).M(4, 6).L(6, 20).M(20, 6).L(18, 20).M(6, 20).H(12, 20, 6, 1.5)));
    {
        O balls;
        balls.E(12, 5, 2.5, 2.5).E(5, 19, 2.5, 2.5).E(12, 19, 2.5, 2.5).E(19, 19, 2.5, 2.5);
        O strokes = balls;
        strokes.M(10.6, 7).L(6.2, 16.8).M(12, 7.5).L(12, 16.5).M(13.4, 7).L(17.8, 16.8);
        add("loadBalancer", icon(std::move(balls), std::move(strokes)));
    }
    add("firewall", icon(O().R(3, 4, 21, 20, 1),
                         O().R(3, 4, 21, 20, 1).M(3, 9.33).L(21, 9.33).M(3, 14.66).L(21, 14.66)
                             .M(9, 4).L(9, 9.33).M(15, 4).L(15, 9.33).M(12, 9.33).L(12, 14.66)
                             .M(9, 14.66).L(9, 20).M(15, 14.66).L(15, 20)));
    add("router", icon(O().R(2, 13, 22, 21, 2),
                       O().R(2, 13, 22, 21, 2).M(7, 13).L(7, 8).M(17, 13).L(17, 8).M(6, 17).L(6.5, 17)
                           .M(10, 17).L(10.5, 17).M(14, 17).L(18, 17).M(4.5, 6).L(7, 3.5).L(9.5, 6)
                           .M(14.5, 6).L(17, 3.5).L(19.5, 6)));
    add("network", icon(cloud(), cloud()));
    add("api", strokesOnly(O().M(8, 4).C(6, 4, 6, 5, 6, 7).L(6, 10).C(6, 11, 5, 12, 4, 12)
                               .C(5, 12, 6, 13, 6, 14).L(6, 17).C(6, 19, 6, 20, 8, 20)
                               .M(16, 4).C(18, 4, 18, 5, 18, 7).L(18, 10).C(18, 11, 19, 12, 20, 12)
                               .C(19, 12, 18, 13, 18, 14).L(18, 17).C(18, 19, 18, 20, 16, 20)
                               .M(11.75, 12).L(12.25, 12)));
    {
        O hexagon;
        hexagon.M(12, 2).L(21, 7).L(21, 17).L(12, 22).L(3, 17).L(3, 7).Z();
        O strokes = hexagon;
        strokes.M(3, 7).L(12, 12).L(21, 7).M(12, 12).L(12, 22);
        add("container", icon(std::move(hexagon), std::move(strokes)));
    }
    add("function", strokesOnly(O().M(6, 20).L(11.5, 9).M(7, 4).L(9.5, 4)
                                    .C(10.7, 4, 11.4, 4.6, 12, 5.8).L(19, 20)));
    add("browser", icon(O().R(2, 4, 22, 20, 2),
                        O().R(2, 4, 22, 20, 2).M(2, 9).L(22, 9).M(5, 6.5).L(5.5, 6.5).M(8, 6.5).L(8.5, 6.5)));
    add("mobile", icon(O().R(7, 2, 17, 22, 2), O().R(7, 2, 17, 22, 2).M(11, 18).L(13, 18)));
    add("desktop", icon(O().R(2, 3, 22, 16, 2),
                        O().R(2, 3, 22, 16, 2).M(12, 16).L(12, 20).M(8, 20.5).L(16, 20.5)));
    add("user", icon(O().E(12, 8, 4, 4),
                     O().E(12, 8, 4, 4).M(4, 21).C(4, 16.6, 7.6, 14, 12, 14).C(16.4, 14, 20, 16.6, 20, 21)));
    add("users", icon(O().E(9, 8, 3.5, 3.5),
                      O().E(9, 8, 3.5, 3.5).M(2, 20).C(2, 16.5, 5, 14, 9, 14).C(13, 14, 16, 16.5, 16, 20)
                          .M(15.5, 4.3).C(17.3, 4.8, 18.5, 6.3, 18.5, 8).C(18.5, 9.7, 17.3, 11.2, 15.5, 11.7)
                          .M(17.5, 14.2).C(20.2, 14.8, 22, 17, 22, 20)));
    add("externalSystem", icon(O().R(3, 7, 17, 21, 2),
                               O().R(3, 7, 17, 21, 2).M(11, 13).L(21, 3).M(15, 3).L(21, 3).L(21, 9)));
    add("secret", icon(O().R(5, 11, 19, 21, 2),
                       O().R(5, 11, 19, 21, 2).M(8, 11).L(8, 7).C(8, 4.8, 9.8, 3, 12, 3)
                           .C(14.2, 3, 16, 4.8, 16, 7).L(16, 11).M(12, 15).L(12, 17)));
    {
        O page;
        page.M(6, 2).L(14, 2).L(20, 8).L(20, 22).L(6, 22).Z();
        O strokes = page;
        strokes.M(14, 2).L(14, 8).L(20, 8).M(9, 13).L(17, 13).M(9, 17).L(15, 17);
        add("document", icon(std::move(page), std::move(strokes)));
    }
    return icons;
}

// Ids compare by UTF-16 code units, which for UTF-8 texts is byte equality.
const std::map<std::string, const GenericIcon*, std::less<>>& iconsById() {
    static const auto map = [] {
        std::map<std::string, const GenericIcon*, std::less<>> m;
        for (const auto& [id, i] : GENERIC_ICONS()) m.emplace(id, &i);
        return m;
    }();
    return map;
}

void hashCommands(Hasher& seed, const std::vector<ShapeCommand>& commands) {
    std::hash<ShapeCommand> hasher;
    hashMix(seed, commands.size());
    for (const auto& c : commands) hashMix(seed, hasher(c));
}

}  // namespace

const std::vector<std::pair<std::string, GenericIcon>>& GENERIC_ICONS() {
    static const auto icons = buildIcons();
    return icons;
}

const std::vector<std::string>& GENERIC_ICON_IDS() {
    static const auto ids = [] {
        std::vector<std::string> v;
        for (const auto& entry : GENERIC_ICONS()) v.push_back(entry.first);
        return v;
    }();
    return ids;
}

std::optional<std::string> genericIconIdOf(std::string_view ref) {
    const std::size_t first = ref.find('/');
    if (first == std::string_view::npos || ref.substr(0, first) != "generic") return std::nullopt;
    std::string_view second = ref.substr(first + 1);
    second = second.substr(0, second.find('/'));
    if (!isGenericIconId(second)) return std::nullopt;
    return std::string(second);
}

const GenericIcon* getGenericIcon(std::string_view ref) {
    const auto id = genericIconIdOf(ref);
    if (!id) return nullptr;
    return iconsById().find(*id)->second;
}

bool isGenericIconId(std::string_view id) {
    return iconsById().find(id) != iconsById().end();
}

}  // namespace dv

std::size_t std::hash<dv::GenericIcon>::operator()(const dv::GenericIcon& icon) const noexcept {
    dv::Hasher seed;
    hashMix(seed, icon.fill.has_value());
    if (icon.fill) dv::hashCommands(seed, *icon.fill);
    dv::hashCommands(seed, icon.strokes);
    return hashResult(seed);
}

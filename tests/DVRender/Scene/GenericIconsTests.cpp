#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DVRender/Scene/GenericIcons.hpp"

namespace dv {
namespace {

using SC = ShapeCommand;

TEST(GenericIcons, IdsInTableOrder) {
    const std::vector<std::string> expected = {
        "server", "database", "cache", "queue", "storage", "loadBalancer", "firewall",
        "router", "network", "api", "container", "function", "browser", "mobile",
        "desktop", "user", "users", "externalSystem", "secret", "document"};
    EXPECT_EQ(GENERIC_ICON_IDS(), expected);
    ASSERT_EQ(GENERIC_ICONS().size(), 20u);
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(GENERIC_ICONS()[i].first, expected[i]);
    EXPECT_EQ(ICON_GRID, 24);
}

TEST(GenericIcons, ReferenceLookups) {
    struct Case { const char* ref; std::optional<std::string> id; };
    const Case cases[] = {
        {"generic/router", "router"},
        {"generic/router/extra", "router"},
        {"generic/document", "document"},
        {"router", std::nullopt},
        {"Generic/router", std::nullopt},
        {"generic/Router", std::nullopt},
        {"generic/", std::nullopt},
        {"generic", std::nullopt},
        {"k8s/router", std::nullopt},
        {"/generic/router", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(genericIconIdOf(c.ref), c.id) << c.ref;
        EXPECT_EQ(getGenericIcon(c.ref) != nullptr, c.id.has_value()) << c.ref;
    }
    EXPECT_TRUE(isGenericIconId("router"));
    EXPECT_FALSE(isGenericIconId("generic/router"));
    EXPECT_FALSE(isGenericIconId(""));
}

TEST(GenericIcons, FillPresence) {
    EXPECT_FALSE(getGenericIcon("generic/api")->fill.has_value());
    EXPECT_FALSE(getGenericIcon("generic/function")->fill.has_value());
    const GenericIcon* network = getGenericIcon("generic/network");
    ASSERT_TRUE(network->fill.has_value());
    EXPECT_EQ(*network->fill, network->strokes);
    EXPECT_NE(*getGenericIcon("generic/server"), *getGenericIcon("generic/cache"));
}

TEST(GenericIcons, RoundedRectangleExpansion) {
    // R(3 3 21 11 2) with kappa 0.5523: the first commands of the server's fill.
    const auto& fill = *getGenericIcon("generic/server")->fill;
    ASSERT_EQ(fill.size(), 20u);  // two rounded rectangles of 10 commands
    EXPECT_EQ(fill[0], SC::move(5, 3));
    EXPECT_EQ(fill[1], SC::line(19, 3));
    const auto& c = std::get<SC::Cubic>(fill[2].command);
    EXPECT_NEAR(c.x1, 20.1046, 1e-12);
    EXPECT_EQ(c.y1, 3);
    EXPECT_EQ(c.x2, 21);
    EXPECT_NEAR(c.y2, 3.8954, 1e-12);
    EXPECT_EQ(c.x, 21);
    EXPECT_EQ(c.y, 5);
    EXPECT_EQ(fill[9], SC::close());
    EXPECT_EQ(fill[10], SC::move(5, 13));
}

TEST(GenericIcons, CommandCounts) {
    // R = 10 commands, E = 6, H = 2, each M, L, C and Z one.
    struct Case { const char* id; std::size_t fill; std::size_t strokes; };
    const Case cases[] = {
        {"server", 20, 24},
        {"database", 12, 6 + 4 + 3 + 3},
        {"cache", 10, 20 + 16},
        {"queue", 10, 14},
        {"storage", 12, 6 + 4 + 1 + 2},
        {"loadBalancer", 24, 30},
        {"firewall", 10, 10 + 14},
        {"router", 10, 10 + 10 + 6},
        {"network", 9, 9},
        {"api", 0, 7 + 7 + 2},
        {"container", 7, 7 + 5},
        {"function", 0, 6},
        {"browser", 10, 16},
        {"mobile", 10, 12},
        {"desktop", 10, 14},
        {"user", 6, 9},
        {"users", 6, 6 + 3 + 3 + 2},
        {"externalSystem", 10, 15},
        {"secret", 10, 10 + 7},
        {"document", 6, 6 + 7},
    };
    for (const auto& c : cases) {
        const GenericIcon* icon = getGenericIcon(std::string("generic/") + c.id);
        ASSERT_NE(icon, nullptr) << c.id;
        EXPECT_EQ(icon->fill ? icon->fill->size() : 0u, c.fill) << c.id;
        EXPECT_EQ(icon->strokes.size(), c.strokes) << c.id;
    }
}

TEST(GenericIcons, LowerHalfEllipseHasNoMove) {
    // database fill: M 4 5, L 4 19, then H(12 19 8 3) = two cubics ending at (12, 22) and (20, 19).
    const auto& fill = *getGenericIcon("generic/database")->fill;
    const auto& first = std::get<SC::Cubic>(fill[2].command);
    EXPECT_EQ(first.x1, 4);
    EXPECT_NEAR(first.y1, 19 + 0.5523 * 3, 1e-12);
    EXPECT_EQ(first.x, 12);
    EXPECT_EQ(first.y, 22);
    EXPECT_EQ(std::get<SC::Cubic>(fill[3].command).x, 20);
    EXPECT_EQ(fill[4], SC::line(20, 5));
}

}  // namespace
}  // namespace dv

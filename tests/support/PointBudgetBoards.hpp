#pragma once
// Boards whose freehand strokes hold a given count of numbers in their points, written as short
// as points can be ("[3,1]"), for the tests of the budget of points a board read may hold.

#include <cstdint>
#include <string>

namespace dv::test {

/// One freehand stroke of `points` points "[3,1]", with a pressure of 1 for each when asked.
inline std::string pointStroke(const std::string& id, std::int64_t points, bool pressures = false,
                               const std::string& fields = "") {
    std::string out = "{\"id\":\"" + id +
                      "\",\"type\":\"freehand\",\"x\":0,\"y\":0,\"strokeColor\":\"#1e1e1e\","
                      "\"fillColor\":\"transparent\",\"strokeWidth\":2,\"opacity\":1,\"roughness\":1" +
                      fields + ",\"points\":[";
    out.reserve(out.size() + static_cast<std::size_t>(points) * 8 + 64);
    for (std::int64_t i = 0; i < points; ++i) out += i ? ",[3,1]" : "[3,1]";
    out += "]";
    if (pressures) {
        out += ",\"pressures\":[";
        for (std::int64_t i = 0; i < points; ++i) out += i ? ",1" : "1";
        out += "]";
    }
    return out + "}";
}

/// The entries of an element list (without its brackets): strokes "f0", "f1", ... of 100,000
/// points each, the last one shorter, holding `numbers` numbers in all (an even count).
inline std::string strokesHolding(std::int64_t numbers) {
    constexpr std::int64_t full = 100'000;
    const std::string whole = pointStroke("@", full);
    const std::size_t at = whole.find('@');
    std::string out;
    out.reserve(static_cast<std::size_t>(numbers / 2) * 6 + 4096);
    std::int64_t left = numbers / 2;
    for (int i = 0; left > 0; ++i) {
        if (i) out += ",";
        std::string id = "f";
        id += std::to_string(i);
        if (left >= full) {
            out.append(whole, 0, at).append(id).append(whole, at + 1);
        } else {
            out += pointStroke(id, left);
        }
        left -= full;
    }
    return out;
}

/// The most numbers (two a point, one a pressure) a board's points may hold, as the README says.
inline constexpr std::int64_t kREADMEPointNumberBudget = 16'777'216;

/// Boards of strokes at the budget, which are read, and just past it, which are not.
struct PointBudgetCase {
    std::int64_t numbers;
    bool read;
};
inline constexpr PointBudgetCase kPointBudgetCases[] = {{kREADMEPointNumberBudget, true},
                                                       {kREADMEPointNumberBudget + 2, false}};

/// A board of the entries, as the hosts read it.
inline std::string boardOf(std::string entries) {
    // In place: the entries run to some 50 MB.
    entries.insert(0, "{\"version\":1,\"elements\":[");
    return entries += "]}";
}

}  // namespace dv::test

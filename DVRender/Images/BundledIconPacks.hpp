#pragma once
// Icon packs that ship with the render module (one pack, "k8s", embedded at build time).

#include "DVModel/Hashing.hpp"
#include "DVModel/JSStringKey.hpp"

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace dv {

struct BundledIcon {
    std::string id;
    std::string label;
    std::string category;
    std::string src;
    std::string svg;
    friend bool operator==(const BundledIcon&, const BundledIcon&) = default;
};

struct BundledIconPacks {
    using IconIndex = std::unordered_map<JSStringKey, BundledIcon>;

    // Pack id to the pack's icons in file order ("k8s" only, possibly empty).
    static const std::unordered_map<JSStringKey, std::vector<BundledIcon>>& loadPacks();
    // Pack id to icon id to icon; the first of two icons with one id stays.
    static const std::unordered_map<JSStringKey, IconIndex>& index();
    // Image source to icon, over every pack.
    static const std::unordered_map<JSStringKey, BundledIcon>& iconsBySrc();

    // "pack/icon" (further pieces ignored) to the icon, or nullptr.
    static const BundledIcon* icon(std::string_view ref);
    static bool isBundledPack(std::string_view packId);
    static std::vector<BundledIcon> icons(std::string_view inPack);

    // Icon id to icon over a pack's list; the first of two icons with one id stays.
    static IconIndex indexIcons(const std::vector<BundledIcon>& icons);

    // The icons of a pack file's text: every icon or, on any fault in the file, none.
    static std::vector<BundledIcon> parsePackFile(std::string_view text);
    // The embedded resource text (empty when none was built in).
    static std::string_view resourceText();
};

}  // namespace dv

DV_HASH_MEMBERS(dv::BundledIcon, &dv::BundledIcon::id, &dv::BundledIcon::label, &dv::BundledIcon::category,
                &dv::BundledIcon::src, &dv::BundledIcon::svg);

#include "DVRender/Images/BundledIconPacks.hpp"

#include "DVIO/JSONParser.hpp"

#include <exception>

// The pack file, compiled in from Resources/ at build time.
extern "C" const unsigned char dv_resource_KubernetesIcons[];
extern "C" const unsigned long dv_resource_KubernetesIcons_size;

namespace dv {

namespace {
constexpr std::string_view packId = "k8s";
}

std::string_view BundledIconPacks::resourceText() {
    return {reinterpret_cast<const char*>(dv_resource_KubernetesIcons), dv_resource_KubernetesIcons_size};
}

std::vector<BundledIcon> BundledIconPacks::parsePackFile(std::string_view text) {
    JSONValue root;
    try {
        root = JSONParser::parse(text);
    } catch (const std::exception&) {
        return {};
    }
    const JSONValue* iconsValue = root["icons"];
    const JSONValue::Array* icons = iconsValue ? iconsValue->arrayValue() : nullptr;
    if (icons == nullptr) return {};
    std::vector<BundledIcon> out;
    out.reserve(icons->size());
    for (const JSONValue& entry : *icons) {
        auto field = [&entry](std::string_view key) -> const std::string* {
            const JSONValue* v = entry[key];
            return v ? v->stringValue() : nullptr;
        };
        const std::string* id = field("id");
        const std::string* label = field("label");
        const std::string* category = field("category");
        const std::string* src = field("src");
        const std::string* svg = field("svg");
        // One faulty icon makes the whole file unusable.
        if (!id || !label || !category || !src || !svg) return {};
        out.push_back(BundledIcon{*id, *label, *category, *src, *svg});
    }
    return out;
}

const std::unordered_map<JSStringKey, std::vector<BundledIcon>>& BundledIconPacks::loadPacks() {
    static const auto* packs = new std::unordered_map<JSStringKey, std::vector<BundledIcon>>{
        {JSStringKey(packId), parsePackFile(resourceText())}};
    return *packs;
}

BundledIconPacks::IconIndex BundledIconPacks::indexIcons(const std::vector<BundledIcon>& icons) {
    IconIndex byId;
    for (const auto& icon : icons) byId.try_emplace(JSStringKey(icon.id), icon);
    return byId;
}

const std::unordered_map<JSStringKey, BundledIconPacks::IconIndex>& BundledIconPacks::index() {
    static const auto* table = [] {
        auto* t = new std::unordered_map<JSStringKey, IconIndex>();
        for (const auto& [pack, icons] : loadPacks()) t->emplace(pack, indexIcons(icons));
        return t;
    }();
    return *table;
}

const std::unordered_map<JSStringKey, BundledIcon>& BundledIconPacks::iconsBySrc() {
    static const auto* table = [] {
        auto* t = new std::unordered_map<JSStringKey, BundledIcon>();
        for (const auto& [pack, byId] : index()) {
            for (const auto& [id, icon] : byId) t->try_emplace(JSStringKey(icon.src), icon);
        }
        return t;
    }();
    return *table;
}

const BundledIcon* BundledIconPacks::icon(std::string_view ref) {
    const auto slash = ref.find('/');
    const std::string_view pack = ref.substr(0, slash);
    std::string_view id;
    if (slash != std::string_view::npos) {
        id = ref.substr(slash + 1);
        id = id.substr(0, id.find('/'));
    }
    const auto& packs = index();
    auto p = packs.find(JSStringKey(pack));
    if (p == packs.end()) return nullptr;
    auto i = p->second.find(JSStringKey(id));
    return i == p->second.end() ? nullptr : &i->second;
}

bool BundledIconPacks::isBundledPack(std::string_view id) { return index().count(JSStringKey(id)) != 0; }

std::vector<BundledIcon> BundledIconPacks::icons(std::string_view inPack) {
    const auto& packs = loadPacks();
    auto p = packs.find(JSStringKey(inPack));
    return p == packs.end() ? std::vector<BundledIcon>{} : p->second;
}

}  // namespace dv

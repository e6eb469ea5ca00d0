#include "DVIO/IconPackModel.hpp"

#include "DVModel/Hashing.hpp"

namespace dv {

namespace {

const JSONObject& requireObject(const JSONValue& value, const char* what) {
    const JSONObject* object = value.objectValue();
    if (!object) throw IconPackDecodingError(std::string(what) + " is not an object");
    return *object;
}

const JSONValue& requireKey(const JSONObject& object, const char* key) {
    const JSONValue* value = object.find(key);
    if (!value) throw IconPackDecodingError(std::string("Missing key \"") + key + "\"");
    return *value;
}

std::string requireString(const JSONObject& object, const char* key) {
    const std::string* text = requireKey(object, key).stringValue();
    if (!text) throw IconPackDecodingError(std::string("Key \"") + key + "\" is not a string");
    return *text;
}

// Texts hash with their length first, so that ("ab", "c") and ("a", "bc") differ.
void writeText(Hasher& hasher, const std::string& text) {
    hasher.writeU64(text.size());
    hasher.write(text);
}

void writeIcon(Hasher& hasher, const ImportedIcon& icon) {
    writeText(hasher, icon.id);
    writeText(hasher, icon.name);
    writeText(hasher, icon.category);
    writeText(hasher, icon.src);
}

void writeIcons(Hasher& hasher, const std::vector<ImportedIcon>& icons) {
    hasher.writeU64(icons.size());
    for (const ImportedIcon& icon : icons) writeIcon(hasher, icon);
}

}  // namespace

JSONValue importedIconToJSON(const ImportedIcon& icon) {
    return JSONObject{{"id", icon.id}, {"name", icon.name}, {"category", icon.category}, {"src", icon.src}};
}

JSONValue importedPackToJSON(const ImportedPack& pack) {
    JSONValue::Array icons;
    icons.reserve(pack.icons.size());
    for (const ImportedIcon& icon : pack.icons) icons.push_back(importedIconToJSON(icon));
    return JSONObject{{"id", pack.id}, {"name", pack.name}, {"importedAt", pack.importedAt}, {"icons", std::move(icons)}};
}

ImportedIcon importedIconFromJSON(const JSONValue& value) {
    const JSONObject& object = requireObject(value, "Icon");
    ImportedIcon icon;
    icon.id = requireString(object, "id");
    icon.name = requireString(object, "name");
    icon.category = requireString(object, "category");
    icon.src = requireString(object, "src");
    return icon;
}

ImportedPack importedPackFromJSON(const JSONValue& value) {
    const JSONObject& object = requireObject(value, "Pack");
    ImportedPack pack;
    pack.id = requireString(object, "id");
    pack.name = requireString(object, "name");
    const std::optional<double> importedAt = requireKey(object, "importedAt").doubleValue();
    if (!importedAt) throw IconPackDecodingError("Key \"importedAt\" is not a number");
    pack.importedAt = *importedAt;
    const JSONValue::Array* icons = requireKey(object, "icons").arrayValue();
    if (!icons) throw IconPackDecodingError("Key \"icons\" is not an array");
    pack.icons.reserve(icons->size());
    for (const JSONValue& icon : *icons) pack.icons.push_back(importedIconFromJSON(icon));
    return pack;
}

std::uint64_t hashValue(const ImportedIcon& icon) noexcept {
    Hasher hasher;
    writeIcon(hasher, icon);
    return hasher.finish();
}

std::uint64_t hashValue(const ImportedPack& pack) noexcept {
    Hasher hasher;
    writeText(hasher, pack.id);
    writeText(hasher, pack.name);
    hasher.writeDouble(pack.importedAt);
    writeIcons(hasher, pack.icons);
    return hasher.finish();
}

std::uint64_t hashValue(const IconPackFile& file) noexcept {
    Hasher hasher;
    writeText(hasher, file.path);
    writeText(hasher, file.svg);
    return hasher.finish();
}

std::uint64_t hashValue(const IconPackResult& result) noexcept {
    Hasher hasher;
    writeIcons(hasher, result.icons);
    hasher.writeU64(static_cast<std::uint64_t>(result.skipped));
    return hasher.finish();
}

}  // namespace dv

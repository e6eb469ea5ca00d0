#pragma once
// Icon packs a user imported from archives of SVG files, and their stored JSON form. Every icon
// carries its image inline as an SVG data URL, so a stored pack needs no other file.

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "DVModel/JSONValue.hpp"

namespace dv {

struct ImportedIcon {
    std::string id;        // the decimal index at which the import accepted the icon: "0", "1", ...
    std::string name;      // display name from the file or folder name
    std::string category;  // display name of the icon's folder; empty when there is none
    std::string src;       // "data:image/svg+xml;base64," and the sanitised SVG's UTF-8 bytes

    bool operator==(const ImportedIcon&) const = default;
};

struct ImportedPack {
    std::string id;
    std::string name;
    // Seconds since 1970-01-01 00:00 UTC, as the code that creates the pack records it.
    double importedAt = 0;
    std::vector<ImportedIcon> icons;  // in display order

    bool operator==(const ImportedPack&) const = default;
};

// One candidate file of an import: its "/"-separated path inside the archive and its text.
struct IconPackFile {
    std::string path;
    std::string svg;

    bool operator==(const IconPackFile&) const = default;
};

struct IconPackResult {
    std::vector<ImportedIcon> icons;  // in display order
    std::int64_t skipped = 0;         // candidate icons that were dropped

    bool operator==(const IconPackResult&) const = default;
};

// A stored pack that cannot be read: a required key is missing or holds the wrong type.
class IconPackDecodingError : public std::exception {
public:
    explicit IconPackDecodingError(std::string message) : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }
    const std::string& description() const noexcept { return message_; }

private:
    std::string message_;
};

// The stored form: one object per record with every key written, empty texts included.
JSONValue importedIconToJSON(const ImportedIcon& icon);
JSONValue importedPackToJSON(const ImportedPack& pack);
// Every key must be present with the right type, or the whole read fails with
// IconPackDecodingError; other keys are ignored.
ImportedIcon importedIconFromJSON(const JSONValue& value);
ImportedPack importedPackFromJSON(const JSONValue& value);

std::uint64_t hashValue(const ImportedIcon& icon) noexcept;
std::uint64_t hashValue(const ImportedPack& pack) noexcept;
std::uint64_t hashValue(const IconPackFile& file) noexcept;
std::uint64_t hashValue(const IconPackResult& result) noexcept;

}  // namespace dv

template <> struct std::hash<dv::ImportedIcon> {
    std::size_t operator()(const dv::ImportedIcon& v) const noexcept { return static_cast<std::size_t>(dv::hashValue(v)); }
};
template <> struct std::hash<dv::ImportedPack> {
    std::size_t operator()(const dv::ImportedPack& v) const noexcept { return static_cast<std::size_t>(dv::hashValue(v)); }
};
template <> struct std::hash<dv::IconPackFile> {
    std::size_t operator()(const dv::IconPackFile& v) const noexcept { return static_cast<std::size_t>(dv::hashValue(v)); }
};
template <> struct std::hash<dv::IconPackResult> {
    std::size_t operator()(const dv::IconPackResult& v) const noexcept { return static_cast<std::size_t>(dv::hashValue(v)); }
};

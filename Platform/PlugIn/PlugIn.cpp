#include "Platform/PlugIn/PlugIn.h"

#include <dlfcn.h>
#include <unicode/utf8.h>
#include <syslog.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "Platform/PlugIn/Logger.hpp"
#include "Platform/XML/XMLDocument.hpp"

namespace {

using Key = std::array<std::uint8_t, 16>;

Key keyOf(const DVUUIDBytes* id) {
    Key key;
    std::memcpy(key.data(), id->bytes, 16);
    return key;
}

constexpr DVUUIDBytes uuid(std::array<std::uint8_t, 16> b) {
    DVUUIDBytes out{};
    for (int i = 0; i < 16; ++i) out.bytes[i] = b[i];
    return out;
}

char* copyToMalloc(const std::string& text) {
    char* out = static_cast<char*>(std::malloc(text.size() + 1));
    if (out) std::memcpy(out, text.c_str(), text.size() + 1);
    return out;
}

void report(char** error, const std::string& message) {
    if (error) *error = copyToMalloc(message);
}

// Hosts print file paths, which on Linux need not be UTF-8, as JSON or HTML text: each ill-formed
// sequence becomes one U+FFFD (ICU's maximal-subpart rule), so the output is always valid UTF-8.
// Well-formed sequences are copied; each ASCII byte goes through `ascii`, which escapes it.
template <class Ascii>
void appendRepairedUTF8(std::string& out, const char* text, std::size_t length, Ascii ascii) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text);
    const auto end = static_cast<std::int64_t>(length);
    std::int64_t i = 0;
    while (i < end) {
        const std::int64_t start = i;
        if (bytes[i] >= 0x80) {
            UChar32 scalar;
            U8_NEXT(bytes, i, end, scalar);
            if (scalar < 0) {
                out += "\xEF\xBF\xBD";
            } else {
                out.append(text + start, static_cast<std::size_t>(i - start));
            }
            continue;
        }
        ascii(out, static_cast<char>(bytes[i++]));
    }
}

void appendJSONString(std::string& out, const char* text, std::size_t length) {
    static constexpr char hex[] = "0123456789abcdef";
    out.push_back('"');
    appendRepairedUTF8(out, text, length, [](std::string& to, char c) {
        switch (c) {
        case '"': to += "\\\""; break;
        case '\\': to += "\\\\"; break;
        case '\n': to += "\\n"; break;
        case '\r': to += "\\r"; break;
        case '\t': to += "\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                to += "\\u00";
                to.push_back(hex[c >> 4]);
                to.push_back(hex[c & 0xF]);
            } else {
                to.push_back(c);
            }
        }
    });
    out.push_back('"');
}

// HTML allows no control characters but white space; a search engine reading the text should see
// a word break where one stood.
void appendHTMLText(std::string& out, const char* text, std::size_t length) {
    appendRepairedUTF8(out, text, length, [](std::string& to, char c) {
        switch (c) {
        case '&': to += "&amp;"; break;
        case '<': to += "&lt;"; break;
        case '>': to += "&gt;"; break;
        case '"': to += "&quot;"; break;
        case '\'': to += "&#39;"; break;
        case '\t':
        case '\n':
        case '\r': to.push_back(c); break;
        default: to.push_back(static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? ' ' : c);
        }
    });
}

struct Registry {
    std::mutex lock;
    std::map<Key, std::size_t> counts;
};

Registry& registry() {
    static Registry r;
    return r;
}

struct LogState {
    std::mutex lock;
    dv::platform::LogSink sink;
};

LogState& logState() {
    static LogState state;
    return state;
}

}  // namespace

struct DVAttributeDictionary {
    using Value = std::variant<std::string, std::vector<std::string>>;
    std::uint32_t references = 1;
    std::vector<std::pair<std::string, Value>> entries;

    const Value* find(const char* key) const {
        for (const auto& entry : entries) {
            if (entry.first == key) return &entry.second;
        }
        return nullptr;
    }

    void set(const char* key, Value value) {
        for (auto& entry : entries) {
            if (entry.first == key) {
                entry.second = std::move(value);
                return;
            }
        }
        entries.emplace_back(key, std::move(value));
    }
};

struct DVPlugInBundle {
    std::string identifier;
    void* handle = nullptr;
    struct Factory {
        DVUUIDBytes id;
        std::string function;
    };
    std::vector<Factory> factories;
    std::vector<std::pair<DVUUIDBytes, DVUUIDBytes>> typeFactories;  // (type, factory)
};

extern "C" {

const DVUUIDBytes kDVImporterTypeID =
    uuid({0x8B, 0x08, 0xC4, 0xBF, 0x41, 0x5B, 0x11, 0xD8, 0xB3, 0xF9, 0x00, 0x03, 0x93, 0x67, 0x26, 0xFC});
const DVUUIDBytes kDVImporterInterfaceID =
    uuid({0x6E, 0xBC, 0x27, 0xC4, 0x89, 0x9C, 0x11, 0xD8, 0x84, 0xAE, 0x00, 0x03, 0x93, 0x67, 0x26, 0xFC});
const DVUUIDBytes kDVUnknownInterfaceID =
    uuid({0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46});

const char* const kMDItemTextContent = "kMDItemTextContent";
const char* const kMDItemKeywords = "kMDItemKeywords";

bool DVUUIDFromString(const char* text, DVUUIDBytes* out) {
    if (!text || !out || std::strlen(text) != 36) return false;
    DVUUIDBytes parsed{};
    int byte = 0;
    for (int i = 0; i < 36;) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (text[i] != '-') return false;
            ++i;
            continue;
        }
        int value = 0;
        for (int k = 0; k < 2; ++k, ++i) {
            char c = text[i];
            int digit = c >= '0' && c <= '9'   ? c - '0'
                        : c >= 'a' && c <= 'f' ? c - 'a' + 10
                        : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                               : -1;
            if (digit < 0) return false;
            value = value * 16 + digit;
        }
        parsed.bytes[byte++] = static_cast<std::uint8_t>(value);
    }
    *out = parsed;
    return true;
}

bool DVUUIDEqual(const DVUUIDBytes* a, const DVUUIDBytes* b) {
    return a && b && std::memcmp(a->bytes, b->bytes, 16) == 0;
}

void DVPlugInAddInstanceForFactory(const DVUUIDBytes* factoryID) {
    if (!factoryID) return;
    std::lock_guard guard(registry().lock);
    ++registry().counts[keyOf(factoryID)];
}

void DVPlugInRemoveInstanceForFactory(const DVUUIDBytes* factoryID) {
    if (!factoryID) return;
    std::lock_guard guard(registry().lock);
    auto it = registry().counts.find(keyOf(factoryID));
    if (it == registry().counts.end()) return;
    if (--it->second == 0) registry().counts.erase(it);
}

size_t DVPlugInInstanceCountForFactory(const DVUUIDBytes* factoryID) {
    if (!factoryID) return 0;
    std::lock_guard guard(registry().lock);
    auto it = registry().counts.find(keyOf(factoryID));
    return it == registry().counts.end() ? 0 : it->second;
}

DVAttributeDictionaryRef DVAttributeDictionaryCreate(void) { return new (std::nothrow) DVAttributeDictionary(); }

void DVAttributeDictionaryRetain(DVAttributeDictionaryRef dictionary) {
    if (dictionary) ++dictionary->references;
}

void DVAttributeDictionaryRelease(DVAttributeDictionaryRef dictionary) {
    if (dictionary && --dictionary->references == 0) delete dictionary;
}

void DVAttributeDictionarySetString(DVAttributeDictionaryRef dictionary, const char* key, const char* text,
                                    size_t length) {
    if (!dictionary || !key || (!text && length)) return;
    dictionary->set(key, std::string(text ? text : "", length));
}

void DVAttributeDictionarySetStringArray(DVAttributeDictionaryRef dictionary, const char* key,
                                         const char* const* items, const size_t* lengths, size_t count) {
    if (!dictionary || !key || (count && (!items || !lengths))) return;
    std::vector<std::string> values;
    values.reserve(count);
    for (size_t i = 0; i < count; ++i) values.emplace_back(items[i] ? items[i] : "", items[i] ? lengths[i] : 0);
    dictionary->set(key, std::move(values));
}

size_t DVAttributeDictionaryCount(DVAttributeDictionaryRef dictionary) {
    return dictionary ? dictionary->entries.size() : 0;
}

bool DVAttributeDictionaryGetString(DVAttributeDictionaryRef dictionary, const char* key, const char** text,
                                    size_t* length) {
    const auto* value = dictionary && key ? dictionary->find(key) : nullptr;
    const auto* string = value ? std::get_if<std::string>(value) : nullptr;
    if (!string) return false;
    if (text) *text = string->data();
    if (length) *length = string->size();
    return true;
}

size_t DVAttributeDictionaryGetArrayCount(DVAttributeDictionaryRef dictionary, const char* key) {
    const auto* value = dictionary && key ? dictionary->find(key) : nullptr;
    const auto* items = value ? std::get_if<std::vector<std::string>>(value) : nullptr;
    return items ? items->size() : 0;
}

bool DVAttributeDictionaryGetArrayItem(DVAttributeDictionaryRef dictionary, const char* key, size_t index,
                                       const char** text, size_t* length) {
    const auto* value = dictionary && key ? dictionary->find(key) : nullptr;
    const auto* items = value ? std::get_if<std::vector<std::string>>(value) : nullptr;
    if (!items || index >= items->size()) return false;
    if (text) *text = (*items)[index].data();
    if (length) *length = (*items)[index].size();
    return true;
}

char* DVAttributeDictionaryCopyJSON(DVAttributeDictionaryRef dictionary) {
    std::string out = "{";
    if (dictionary) {
        bool first = true;
        for (const auto& [key, value] : dictionary->entries) {
            if (!first) out.push_back(',');
            first = false;
            appendJSONString(out, key.data(), key.size());
            out.push_back(':');
            if (const auto* text = std::get_if<std::string>(&value)) {
                appendJSONString(out, text->data(), text->size());
            } else {
                out.push_back('[');
                const auto& items = std::get<std::vector<std::string>>(value);
                for (std::size_t i = 0; i < items.size(); ++i) {
                    if (i) out.push_back(',');
                    appendJSONString(out, items[i].data(), items[i].size());
                }
                out.push_back(']');
            }
        }
    }
    out.push_back('}');
    return copyToMalloc(out);
}

char* DVCopyJSONString(const char* text, size_t length) {
    std::string out;
    appendJSONString(out, text ? text : "", text ? length : 0);
    return copyToMalloc(out);
}

char* DVCopyHTMLText(const char* text, size_t length) {
    std::string out;
    appendHTMLText(out, text ? text : "", text ? length : 0);
    return copyToMalloc(out);
}

DVPlugInBundle* DVPlugInBundleOpen(const char* directory, char** error) {
    if (error) *error = nullptr;
    if (!directory) {
        report(error, "no bundle folder");
        return nullptr;
    }
    const std::string folder = directory;
    const std::string manifestPath = folder + "/manifest.xml";
    std::ifstream in(manifestPath, std::ios::binary);
    if (!in) {
        report(error, "cannot read " + manifestPath);
        return nullptr;
    }
    std::ostringstream text;
    text << in.rdbuf();
    std::optional<dv::xml::Document> manifest = dv::xml::Document::parse(text.str());
    if (!manifest || manifest->root().localName() != "plugin") {
        report(error, manifestPath + " is not a plug-in manifest");
        return nullptr;
    }

    auto bundle = std::make_unique<DVPlugInBundle>();
    std::string executable;
    for (const dv::xml::Element& element : manifest->root().descendants()) {
        const std::string name = element.localName();
        if (name == "bundleIdentifier") {
            bundle->identifier = element.text();
        } else if (name == "executable") {
            executable = element.text();
        } else if (name == "factory") {
            DVUUIDBytes id;
            auto uuidText = element.attribute("uuid");
            auto function = element.attribute("function");
            if (!uuidText || !DVUUIDFromString(uuidText->c_str(), &id)) {
                report(error, manifestPath + ": a factory has no valid uuid");
                return nullptr;
            }
            if (function) bundle->factories.push_back({id, *function});
        } else if (name == "type") {
            DVUUIDBytes type;
            DVUUIDBytes factory;
            auto typeText = element.attribute("uuid");
            auto factoryText = element.attribute("factory");
            if (!typeText || !factoryText || !DVUUIDFromString(typeText->c_str(), &type) ||
                !DVUUIDFromString(factoryText->c_str(), &factory)) {
                report(error, manifestPath + ": a type entry has no valid uuid or factory");
                return nullptr;
            }
            bundle->typeFactories.emplace_back(type, factory);
        }
    }
    if (executable.empty() || executable.find('/') != std::string::npos) {
        report(error, manifestPath + ": the executable must be a file name inside the bundle");
        return nullptr;
    }
    const std::string path = folder + "/" + executable;
    bundle->handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!bundle->handle) {
        const char* reason = dlerror();
        report(error, "cannot load " + path + ": " + (reason ? reason : "unknown error"));
        return nullptr;
    }
    return bundle.release();
}

const char* DVPlugInBundleIdentifier(const DVPlugInBundle* bundle) {
    return bundle ? bundle->identifier.c_str() : "";
}

DVPlugInFactoryFunction DVPlugInBundleFactoryForType(DVPlugInBundle* bundle, const DVUUIDBytes* typeID,
                                                     DVUUIDBytes* factoryID, char** error) {
    if (error) *error = nullptr;
    if (!bundle || !typeID) return nullptr;
    for (const auto& [type, factory] : bundle->typeFactories) {
        if (!DVUUIDEqual(&type, typeID)) continue;
        for (const auto& entry : bundle->factories) {
            if (!DVUUIDEqual(&entry.id, &factory)) continue;
            dlerror();
            void* symbol = dlsym(bundle->handle, entry.function.c_str());
            if (!symbol) {
                const char* reason = dlerror();
                report(error, "no function " + entry.function + ": " + (reason ? reason : "not found"));
                return nullptr;
            }
            if (factoryID) *factoryID = entry.id;
            DVPlugInFactoryFunction function;
            static_assert(sizeof function == sizeof symbol);
            std::memcpy(&function, &symbol, sizeof function);
            return function;
        }
        report(error, "the factory named for the type is not declared");
        return nullptr;
    }
    report(error, "no factory for the type");
    return nullptr;
}

void DVPlugInBundleClose(DVPlugInBundle* bundle) {
    if (!bundle) return;
    bool inUse = false;
    for (const auto& factory : bundle->factories) inUse = inUse || DVPlugInInstanceCountForFactory(&factory.id) > 0;
    // Code of a plug-in whose instances are alive must stay mapped.
    if (bundle->handle && !inUse) dlclose(bundle->handle);
    delete bundle;
}

}  // extern "C"

namespace dv::platform {

void Logger::error(std::string_view message) const {
    LogEntry entry{subsystem_, category_, LogLevel::error, std::string(message)};
    std::lock_guard guard(logState().lock);
    if (logState().sink) {
        logState().sink(entry);
        return;
    }
    syslog(LOG_ERR, "%s", entry.message.c_str());
}

void setLogSinkForTesting(LogSink sink) {
    std::lock_guard guard(logState().lock);
    logState().sink = std::move(sink);
}

}  // namespace dv::platform

// The search importer plug-in: a factory that makes importer instances, their COM-style
// reference counting and interface queries, and the import of one board file into the
// indexer's text-content and keywords attributes.

#include <cstdint>
#include <cstdlib>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "DVIO/BoardFile.hpp"
#include "DVIO/BoardSearchContent.hpp"
#include "Indexwright/IndexwrightConfig.hpp"
#include "Platform/Files/FileData.hpp"
#include "Platform/PlugIn/Logger.hpp"
#include "Platform/PlugIn/PlugIn.h"

namespace {

struct ImporterInstance {
    DVImporterInterface* table;  // first, where the host looks for the interface
    DVUUIDBytes factoryID;
    std::uint32_t references;
};

ImporterInstance* instanceOf(void* self) { return static_cast<ImporterInstance*>(self); }

const dv::platform::Logger& logger() {
    static const dv::platform::Logger log(indexwright::kBundleIdentifier, "Import");
    return log;
}

std::uint32_t importerAddRef(void* self) { return ++instanceOf(self)->references; }

std::uint32_t importerRelease(void* self) {
    ImporterInstance* instance = instanceOf(self);
    // The count is read before anything is freed.
    const std::uint32_t count = --instance->references;
    if (count == 0) {
        const DVUUIDBytes factoryID = instance->factoryID;
        std::free(instance->table);
        std::free(instance);
        DVPlugInRemoveInstanceForFactory(&factoryID);
    }
    return count;
}

DVResult importerQueryInterface(void* self, DVUUIDBytes interfaceID, void** out) {
    if (DVUUIDEqual(&interfaceID, &kDVImporterInterfaceID) || DVUUIDEqual(&interfaceID, &kDVUnknownInterfaceID)) {
        instanceOf(self)->table->AddRef(self);
        if (out) *out = self;
        return DV_S_OK;
    }
    if (out) *out = nullptr;
    return DV_E_NOINTERFACE;
}

void importFile(DVAttributeDictionaryRef attributes, const char* path) {
    if (!path) throw dv::platform::FileReadError("No file was given.");
    // The file bytes go as soon as the elements are read.
    dv::DrevalinReadResult read = dv::readDrevalinFile(dv::platform::readRegularFile(path));
    dv::BoardSearchContent content(read.document.elements);
    if (!content.texts.empty()) {
        std::string text = content.textContent();
        DVAttributeDictionarySetString(attributes, kMDItemTextContent, text.data(), text.size());
    }
    if (!content.keywords.empty()) {
        std::vector<const char*> items;
        std::vector<std::size_t> lengths;
        for (const std::string& keyword : content.keywords) {
            items.push_back(keyword.data());
            lengths.push_back(keyword.size());
        }
        DVAttributeDictionarySetStringArray(attributes, kMDItemKeywords, items.data(), lengths.data(), items.size());
    }
}

void logFailure(const char* reason) noexcept {
    try {
        logger().error(std::string("Board not imported: ") + reason);
    } catch (...) {
        // Nothing else can report it.
    }
}

bool importerImportData(void*, DVAttributeDictionaryRef attributes, const char*, const char* path) {
    // Nothing may cross the plug-in boundary as an exception.
    try {
        importFile(attributes, path);
        return true;
    } catch (const std::bad_alloc&) {
        logFailure("Not enough memory to read the board.");
    } catch (const std::exception& error) {
        logFailure(error.what());
    } catch (...) {
        logFailure("unknown error");
    }
    return false;
}

const DVImporterInterface kInterfaceTemplate = {
    nullptr, importerQueryInterface, importerAddRef, importerRelease, importerImportData,
};

}  // namespace

extern "C" __attribute__((visibility("default"))) void* DrevalinImporterFactory(void*, const DVUUIDBytes* typeID) {
    if (!typeID || !DVUUIDEqual(typeID, &kDVImporterTypeID)) return nullptr;
    DVUUIDBytes factoryID;
    if (!DVUUIDFromString(indexwright::kFactoryUUID, &factoryID)) return nullptr;
    auto* instance = static_cast<ImporterInstance*>(std::malloc(sizeof(ImporterInstance)));
    auto* table = static_cast<DVImporterInterface*>(std::malloc(sizeof(DVImporterInterface)));
    if (!instance || !table) {
        std::free(instance);
        std::free(table);
        return nullptr;
    }
    *table = kInterfaceTemplate;
    instance->table = table;
    instance->factoryID = factoryID;
    instance->references = 1;
    DVPlugInAddInstanceForFactory(&factoryID);
    return instance;
}

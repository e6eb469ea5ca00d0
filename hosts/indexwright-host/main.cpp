// Plays the search indexer: loads the importer bundle by its manifest, asks its factory for an
// importer, imports each file named on the command line and prints the attributes it set, one
// JSON object per file. With --html it imports one file and prints it as the HTML document that a
// desktop search engine's external filter gives (the text content, one line per text, and the
// keywords in a keywords meta element), and nothing when the file was not imported.
// The bundle is the one installed beside the host (../lib/drevalin/Indexwright.plugin) or, in the
// build tree, the one built there; --bundle names another.
// Exit status: 0 when every import succeeded, 1 when one failed, 2 when the bundle or its importer
// could not be had, 3 when a file took longer than the time limit.

#include <syslog.h>
#include <unistd.h>

#include <csignal>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Platform/Files/FileData.hpp"
#include "Platform/PlugIn/PlugIn.h"

namespace {

// Like an indexer that stops a stuck importer: a file gets this long before the host gives up.
constexpr unsigned timeLimitSeconds = 20;

extern "C" void onTimeLimit(int) {
    static const char message[] = "indexwright-host: gave up after the time limit\n";
    ssize_t ignored = ::write(STDERR_FILENO, message, sizeof message - 1);
    (void)ignored;
    ::_exit(3);
}

int usage() {
    std::fprintf(stderr, "usage: indexwright-host [--bundle DIR] [--content-type TYPE] [--] FILE...\n"
                         "       indexwright-host [--bundle DIR] [--content-type TYPE] --html [--] FILE\n");
    return 2;
}

int fail(const char* what, char* detail) {
    std::fprintf(stderr, "indexwright-host: %s%s%s\n", what, detail ? ": " : "", detail ? detail : "");
    std::free(detail);
    return 2;
}

std::string take(char* malloced) {
    std::string out = malloced ? malloced : "";
    std::free(malloced);
    return out;
}

std::string html(const char* text, std::size_t length) { return take(DVCopyHTMLText(text, length)); }

// The bundle beside the installed host, then the one in the build tree; the first that opens.
DVPlugInBundle* openBundle(const std::optional<std::string>& explicitDir, std::string& errors) {
    std::vector<std::string> candidates;
    if (explicitDir) {
        candidates.push_back(*explicitDir);
    } else {
        const std::string here = dv::platform::executableDirectory();
        candidates.push_back(here + "/../lib/drevalin/Indexwright.plugin");
        candidates.push_back(here + "/../../Indexwright.plugin");
    }
    for (const std::string& dir : candidates) {
        char* error = nullptr;
        if (DVPlugInBundle* bundle = DVPlugInBundleOpen(dir.c_str(), &error)) return bundle;
        errors += (errors.empty() ? "" : "; ") + take(error);
    }
    return nullptr;
}

std::string jsonLine(const char* file, bool imported, DVAttributeDictionaryRef attributes) {
    return "{\"file\":" + take(DVCopyJSONString(file, std::strlen(file))) +
           ",\"imported\":" + (imported ? "true" : "false") +
           ",\"attributes\":" + take(DVAttributeDictionaryCopyJSON(attributes)) + "}\n";
}

// A search engine reads the document as HTML, so line breaks inside a text stay word breaks
// (a JSON escape would glue "\n" to the next word) and no attribute name becomes a search word.
std::string htmlDocument(DVAttributeDictionaryRef attributes) {
    std::string out =
        "<!DOCTYPE html>\n<html>\n<head>\n<meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\">\n";
    if (std::size_t count = DVAttributeDictionaryGetArrayCount(attributes, kMDItemKeywords)) {
        std::string keywords;
        for (std::size_t i = 0; i < count; ++i) {
            const char* text = nullptr;
            std::size_t length = 0;
            if (!DVAttributeDictionaryGetArrayItem(attributes, kMDItemKeywords, i, &text, &length)) continue;
            if (!keywords.empty()) keywords += ", ";
            keywords += html(text, length);
        }
        out += "<meta name=\"keywords\" content=\"" + keywords + "\">\n";
    }
    out += "</head>\n<body>\n";
    const char* text = nullptr;
    std::size_t length = 0;
    if (DVAttributeDictionaryGetString(attributes, kMDItemTextContent, &text, &length)) {
        std::string_view content(text, length);
        for (std::size_t start = 0; start <= content.size();) {
            std::size_t end = content.find('\n', start);
            if (end == std::string_view::npos) end = content.size();
            out += html(content.data() + start, end - start) + "<br>\n";
            start = end + 1;
        }
    }
    out += "</body>\n</html>\n";
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    std::optional<std::string> bundleDir;
    std::string contentType = "example.drevalin.board";
    bool asHTML = false;
    std::vector<const char*> files;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        if (!options) {
            files.push_back(argv[i]);
        } else if (std::strcmp(argv[i], "--") == 0) {
            options = false;
        } else if (std::strcmp(argv[i], "--bundle") == 0 && i + 1 < argc) {
            bundleDir = argv[++i];
        } else if (std::strcmp(argv[i], "--content-type") == 0 && i + 1 < argc) {
            contentType = argv[++i];
        } else if (std::strcmp(argv[i], "--html") == 0) {
            asHTML = true;
        } else if (std::strncmp(argv[i], "--", 2) == 0) {
            return usage();
        } else {
            files.push_back(argv[i]);
        }
    }
    if (files.empty() || (asHTML && files.size() != 1)) return usage();

    // The importer logs through syslog; entries also go to standard error.
    openlog("indexwright-host", LOG_PERROR | LOG_PID, LOG_USER);
    std::signal(SIGALRM, onTimeLimit);

    std::string errors;
    DVPlugInBundle* bundle = openBundle(bundleDir, errors);
    if (!bundle) return fail("cannot open the importer bundle", strdup(errors.c_str()));
    char* error = nullptr;
    DVUUIDBytes factoryID;
    DVPlugInFactoryFunction factory = DVPlugInBundleFactoryForType(bundle, &kDVImporterTypeID, &factoryID, &error);
    if (!factory) {
        DVPlugInBundleClose(bundle);
        return fail("no importer factory", error);
    }

    int status = 0;
    for (const char* file : files) {
        ::alarm(timeLimitSeconds);
        void* unknown = factory(nullptr, &kDVImporterTypeID);
        if (!unknown) {
            DVPlugInBundleClose(bundle);
            return fail("the factory made no importer", nullptr);
        }
        DVImporterInterface** unknownTable = static_cast<DVImporterInterface**>(unknown);
        void* importer = nullptr;
        DVResult result = (*unknownTable)->QueryInterface(unknown, kDVImporterInterfaceID, &importer);
        (*unknownTable)->Release(unknown);
        if (result != DV_S_OK || !importer) {
            DVPlugInBundleClose(bundle);
            return fail("the importer does not offer the importer interface", nullptr);
        }
        DVImporterInterface** table = static_cast<DVImporterInterface**>(importer);
        DVAttributeDictionaryRef attributes = DVAttributeDictionaryCreate();
        bool imported = (*table)->ImportData(importer, attributes, contentType.c_str(), file);
        (*table)->Release(importer);
        if (!imported) status = 1;

        std::string output = !asHTML ? jsonLine(file, imported, attributes)
                             : imported ? htmlDocument(attributes)
                                        : std::string();
        std::fwrite(output.data(), 1, output.size(), stdout);
        DVAttributeDictionaryRelease(attributes);
    }
    std::fflush(stdout);

    if (DVPlugInInstanceCountForFactory(&factoryID) != 0) {
        std::fprintf(stderr, "indexwright-host: importer instances are still alive\n");
        status = 2;
    }
    DVPlugInBundleClose(bundle);
    return status;
}

// Plays the search indexer: loads the importer bundle by its manifest, asks its factory for an
// importer, imports each file named on the command line and prints the attributes it set, one
// JSON object per file. Exit status: 0 when every import succeeded, 1 when one failed, 2 when
// the bundle or its importer could not be had, 3 when a file took longer than the time limit.

#include <syslog.h>
#include <unistd.h>

#include <csignal>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

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
    std::fprintf(stderr, "usage: indexwright-host [--bundle DIR] [--content-type TYPE] FILE...\n");
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

}  // namespace

int main(int argc, char** argv) {
    std::string bundleDir = DV_DEFAULT_INDEXWRIGHT_BUNDLE;
    std::string contentType = "example.drevalin.board";
    std::vector<const char*> files;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--bundle") == 0 && i + 1 < argc) {
            bundleDir = argv[++i];
        } else if (std::strcmp(argv[i], "--content-type") == 0 && i + 1 < argc) {
            contentType = argv[++i];
        } else if (std::strncmp(argv[i], "--", 2) == 0 && std::strcmp(argv[i], "--") != 0) {
            return usage();
        } else {
            files.push_back(argv[i]);
        }
    }
    if (files.empty()) return usage();

    // The importer logs through syslog; entries also go to standard error.
    openlog("indexwright-host", LOG_PERROR | LOG_PID, LOG_USER);
    std::signal(SIGALRM, onTimeLimit);

    char* error = nullptr;
    DVPlugInBundle* bundle = DVPlugInBundleOpen(bundleDir.c_str(), &error);
    if (!bundle) return fail("cannot open the importer bundle", error);
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

        std::string line = "{\"file\":" + take(DVCopyJSONString(file, std::strlen(file))) +
                           ",\"imported\":" + (imported ? "true" : "false") +
                           ",\"attributes\":" + take(DVAttributeDictionaryCopyJSON(attributes)) + "}\n";
        std::fwrite(line.data(), 1, line.size(), stdout);
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

/* The plug-in runtime shared by a host and the plug-ins it loads: UUIDs, the instance registry,
 * the importer interface, the attribute dictionary and the bundle loader. It lives in one shared
 * library (libdvplugin.so) so that the host and every plug-in see the same registry. Plain C, so
 * that nothing but 16-byte UUID structs, pointers and integers crosses the boundary. */
#ifndef DV_PLATFORM_PLUGIN_H
#define DV_PLATFORM_PLUGIN_H

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct {
    uint8_t bytes[16];
} DVUUIDBytes;

typedef int32_t DVResult;
#define DV_S_OK ((DVResult)0)
#define DV_E_NOINTERFACE ((DVResult)0x80000004)

/* The metadata importer type and interface, and the COM-style unknown interface. */
extern const DVUUIDBytes kDVImporterTypeID;      /* 8B08C4BF-415B-11D8-B3F9-0003936726FC */
extern const DVUUIDBytes kDVImporterInterfaceID; /* 6EBC27C4-899C-11D8-84AE-0003936726FC */
extern const DVUUIDBytes kDVUnknownInterfaceID;  /* 00000000-0000-0000-C000-000000000046 */

/* Strict 8-4-4-4-12 hexadecimal form, either case. False (and *out untouched) otherwise. */
bool DVUUIDFromString(const char* text, DVUUIDBytes* out);
bool DVUUIDEqual(const DVUUIDBytes* a, const DVUUIDBytes* b);

/* Live instances per factory: a plug-in registers each instance it creates and removes it when
 * freed; a host unloads a plug-in only once its factories count no instance. */
void DVPlugInAddInstanceForFactory(const DVUUIDBytes* factoryID);
void DVPlugInRemoveInstanceForFactory(const DVUUIDBytes* factoryID);
size_t DVPlugInInstanceCountForFactory(const DVUUIDBytes* factoryID);

/* A mutable dictionary of metadata attributes, reference counted. */
typedef struct DVAttributeDictionary* DVAttributeDictionaryRef;
extern const char* const kMDItemTextContent; /* "kMDItemTextContent": a string */
extern const char* const kMDItemKeywords;    /* "kMDItemKeywords": an array of strings */

DVAttributeDictionaryRef DVAttributeDictionaryCreate(void);
void DVAttributeDictionaryRetain(DVAttributeDictionaryRef dictionary);
void DVAttributeDictionaryRelease(DVAttributeDictionaryRef dictionary);
/* Texts are UTF-8 with explicit lengths (they may hold NUL). A key set again is replaced. */
void DVAttributeDictionarySetString(DVAttributeDictionaryRef dictionary, const char* key, const char* text,
                                    size_t length);
void DVAttributeDictionarySetStringArray(DVAttributeDictionaryRef dictionary, const char* key,
                                         const char* const* items, const size_t* lengths, size_t count);
size_t DVAttributeDictionaryCount(DVAttributeDictionaryRef dictionary);
/* The text stored under `key`, not NUL-terminated (valid until the key is set again or the
 * dictionary is freed); false when the key holds no string. */
bool DVAttributeDictionaryGetString(DVAttributeDictionaryRef dictionary, const char* key, const char** text,
                                    size_t* length);
/* The number of strings in the array stored under `key` (0 when it holds no array), and one of them,
 * valid as above; false when there is no such item. */
size_t DVAttributeDictionaryGetArrayCount(DVAttributeDictionaryRef dictionary, const char* key);
bool DVAttributeDictionaryGetArrayItem(DVAttributeDictionaryRef dictionary, const char* key, size_t index,
                                       const char** text, size_t* length);
/* The dictionary as a JSON object, keys in the order first set; free() the result. */
char* DVAttributeDictionaryCopyJSON(DVAttributeDictionaryRef dictionary);
/* `text` as a JSON string literal; free() the result. */
char* DVCopyJSONString(const char* text, size_t length);
/* `text` as HTML text, fit for an element's content or a quoted attribute value: & < > " ' as
 * references, control characters but tab, line feed and carriage return as spaces, ill-formed
 * UTF-8 as for JSON; free() the result. */
char* DVCopyHTMLText(const char* text, size_t length);

/* The importer interface: a COM-style unknown interface followed by the import function. */
typedef struct DVImporterInterface {
    void* reserved; /* null */
    DVResult (*QueryInterface)(void* self, DVUUIDBytes interfaceID, void** out);
    uint32_t (*AddRef)(void* self);
    uint32_t (*Release)(void* self);
    bool (*ImportData)(void* self, DVAttributeDictionaryRef attributes, const char* contentType, const char* path);
} DVImporterInterface;

typedef void* (*DVPlugInFactoryFunction)(void* allocator, const DVUUIDBytes* typeID);

/* A plug-in bundle: a folder with manifest.xml naming the executable, the bundle identifier,
 * each factory's UUID and exported function, and the factories registered per type. */
typedef struct DVPlugInBundle DVPlugInBundle;
/* Null on failure, with a malloc'ed message in *error when error is not null. */
DVPlugInBundle* DVPlugInBundleOpen(const char* directory, char** error);
const char* DVPlugInBundleIdentifier(const DVPlugInBundle* bundle);
/* The first factory registered for `typeID` and its function, or null (message in *error). */
DVPlugInFactoryFunction DVPlugInBundleFactoryForType(DVPlugInBundle* bundle, const DVUUIDBytes* typeID,
                                                     DVUUIDBytes* factoryID, char** error);
/* Unloads the executable (only when no factory of the bundle has live instances) and frees. */
void DVPlugInBundleClose(DVPlugInBundle* bundle);

#ifdef __cplusplus
}
#endif

#endif

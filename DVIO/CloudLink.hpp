#pragma once
// The reference a board file keeps to its copy on the cloud service: which board on which
// server, and the version and content digest it was last synchronised with.

#include "DVModel/Hashing.hpp"
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "DVModel/JSONValue.hpp"

namespace dv {

struct CloudLink {
    std::string boardId;
    std::optional<std::string> origin;  // absent: the default origin
    std::optional<std::int64_t> syncedVersion;
    std::optional<std::string> syncedDigest;  // 64 lower-case hexadecimal characters
    JSONObject extra;                         // the cloud object's other keys, in order

    static const std::string defaultOrigin;

    const std::string& effectiveOrigin() const { return origin ? *origin : defaultOrigin; }

    // The link a JSON value describes, or absent when the value is not an acceptable link.
    // Unacceptable "syncedVersion" and "syncedDigest" values are dropped, not kept in `extra`.
    static std::optional<CloudLink> fromJSONValue(const JSONValue& value);
    // The modelled keys first, then the extra keys that do not name one already written.
    JSONObject jsonObject() const;

    static bool isValidBoardId(std::string_view text);
    static bool isValidOrigin(std::string_view text);
    static bool isDigest(std::string_view text);

    bool operator==(const CloudLink&) const = default;
};

}  // namespace dv

DV_HASH_MEMBERS(dv::CloudLink, &dv::CloudLink::boardId, &dv::CloudLink::origin, &dv::CloudLink::syncedVersion,
                &dv::CloudLink::syncedDigest, &dv::CloudLink::extra);

#pragma once
// A user-defaults store: the one outside setting the kit reads is the system appearance under
// "AppleInterfaceStyle". On this platform there is no global store; the host that serves
// thumbnails fills the standard store from its own options, and tests use their own stores.

#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace dv::platform {

class UserDefaults {
public:
    virtual ~UserDefaults() = default;
    /// The string stored under `key`; nothing when none is stored or the value is not a string.
    virtual std::optional<std::string> stringForKey(const std::string& key) const = 0;
};

/// A store kept in memory; safe to use from several threads.
class InMemoryUserDefaults final : public UserDefaults {
public:
    std::optional<std::string> stringForKey(const std::string& key) const override;
    void setString(const std::string& key, std::string value);
    void removeObject(const std::string& key);

    /// The process's standard store, empty until the host sets something.
    static InMemoryUserDefaults& standard();

private:
    mutable std::mutex mutex_;
    std::map<std::string, std::string> values_;
};

}  // namespace dv::platform

#include "Platform/Defaults/UserDefaults.hpp"

namespace dv::platform {

std::optional<std::string> InMemoryUserDefaults::stringForKey(const std::string& key) const {
    std::lock_guard lock(mutex_);
    auto it = values_.find(key);
    if (it == values_.end()) return std::nullopt;
    return it->second;
}

void InMemoryUserDefaults::setString(const std::string& key, std::string value) {
    std::lock_guard lock(mutex_);
    values_[key] = std::move(value);
}

void InMemoryUserDefaults::removeObject(const std::string& key) {
    std::lock_guard lock(mutex_);
    values_.erase(key);
}

InMemoryUserDefaults& InMemoryUserDefaults::standard() {
    static InMemoryUserDefaults store;
    return store;
}

}  // namespace dv::platform

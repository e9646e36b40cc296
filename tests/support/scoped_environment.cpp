#include "support/scoped_environment.h"

#include <stdlib.h>

#include <algorithm>

namespace moraven::test {

ScopedEnvironment::~ScopedEnvironment() {
    for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) {
        if (it->second) {
            ::setenv(it->first.c_str(), it->second->c_str(), 1);
        } else {
            ::unsetenv(it->first.c_str());
        }
    }
}

void ScopedEnvironment::remember(const std::string& name) {
    const bool known =
        std::any_of(m_saved.begin(), m_saved.end(), [&](const auto& entry) { return entry.first == name; });
    if (known) return;
    const char* value = ::getenv(name.c_str());
    m_saved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
}

void ScopedEnvironment::set(const std::string& name, const std::string& value) {
    remember(name);
    ::setenv(name.c_str(), value.c_str(), 1);
}

void ScopedEnvironment::unset(const std::string& name) {
    remember(name);
    ::unsetenv(name.c_str());
}

}  // namespace moraven::test

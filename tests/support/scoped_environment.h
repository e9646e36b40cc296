#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace moraven::test {

// Sets or removes environment variables for the life of the object, then restores what was there.
// Not thread-safe: the environment is the process's.
class ScopedEnvironment {
public:
    ScopedEnvironment() = default;
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

    void set(const std::string& name, const std::string& value);
    void unset(const std::string& name);

private:
    void remember(const std::string& name);

    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;  // first value of each name
};

}  // namespace moraven::test

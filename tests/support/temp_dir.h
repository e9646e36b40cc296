#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace moraven::test {

// A fresh folder under the system's temporary folder, removed with everything in it when destroyed.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::string file(const std::string& name) const { return (m_path / name).string(); }

    // Writes `bytes` to `name` inside the folder and returns the full path.
    std::string write(const std::string& name, const std::vector<std::uint8_t>& bytes) const;

private:
    std::filesystem::path m_path;
};

std::vector<std::uint8_t> readWholeFile(const std::string& path);

// Replaces the content of the file at `path` with `bytes` (creating it when missing); throws on failure.
void writeWholeFile(const std::string& path, const std::vector<std::uint8_t>& bytes);

}  // namespace moraven::test

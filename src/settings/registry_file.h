#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/registry.h"
#include "settings/registry_tree.h"

namespace moraven {

// The registry kept in one text file (the syntax of registry_tree.h), by default
// $XDG_CONFIG_HOME/Velloran/registry.reg.
//
// Each session reads the file afresh, so it sees what another instance of the program stored meanwhile; a
// missing file is an empty registry. close() writes the whole file again when the session changed
// anything, and replaces the old one atomically: the new text goes to a temporary file in the same folder,
// is flushed to the disk, and is renamed over the old name; the folder is flushed too. A crash or a full
// disk therefore leaves either the old file or the new one, never a mix; on failure the temporary file is
// removed and the old file stays.
//
// A file that does not parse is renamed aside (its name with ".broken", or ".broken-2" and so on when that
// name is taken), the problem is reported, and the session starts from an empty registry, so the settings
// take their defaults. A file that cannot be read at all (permissions, a folder in its place), or a broken
// file that cannot be renamed aside, is reported too, and nothing is written over it during this run: the
// changes are refused and close() answers false for every session that asked for one.
class RegistryFile final : public Registry {
public:
    // Receives one line of text for the user, without the program's name (the receiver adds its own
    // prefix); by default written to standard error after "moraven: ".
    using Report = std::function<void(const std::string&)>;

    explicit RegistryFile(std::string path, Report report = {});

    const std::string& path() const { return m_path; }

    bool openKey(std::string_view path, bool create) override;
    std::optional<RegistryValueType> valueType(std::string_view name) const override;
    std::optional<std::int32_t> readInteger(std::string_view name) const override;
    std::optional<std::string> readString(std::string_view name) const override;
    std::vector<std::string> valueNames() const override;
    bool writeInteger(std::string_view name, std::int32_t value) override;
    bool writeString(std::string_view name, std::string_view value) override;
    bool hasSubKeys() const override;
    bool deleteKey(std::string_view path) override;
    bool close() override;

private:
    RegistryKeyNode& tree();
    const RegistryKeyNode* currentKey() const;
    RegistryKeyNode* currentKey();
    void load();
    void setAside(const RegistryParseError& error);
    bool writeValue(RegistryValue value);

    std::string m_path;
    Report m_report;
    std::optional<RegistryKeyNode> m_tree;                  // loaded for the running session
    std::optional<std::vector<std::string>> m_currentPath;  // names from the root
    bool m_changed = false;
    bool m_refused = false;   // the session asked for a change that a read-only store refused
    bool m_readOnly = false;  // a file we could not read stays untouched for the rest of the run
};

// The registry file's path: "registry.reg" in $MORAVEN_CONFIG_HOME when that is set and not empty, else in
// $XDG_CONFIG_HOME/Velloran (when XDG_CONFIG_HOME is an absolute path), else in $HOME/.config/Velloran.
std::string defaultRegistryFilePath();

}  // namespace moraven

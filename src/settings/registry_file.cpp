#include "settings/registry_file.h"

#include <pwd.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <utility>

#include "formats/binary_file.h"
#include "formats/new_file.h"
#include "formats/program_info.h"
#include "formats/replace_file.h"

namespace moraven {
namespace {

constexpr const char* kRegistryFileName = "registry.reg";
constexpr const char* kBrokenSuffix = ".broken";
constexpr int kMaxBrokenCopies = 100;

// The lines carry no program name; standard error gets the command's, as every message of the program.
void reportOnStandardError(const std::string& line) { std::fprintf(stderr, "moraven: %s\n", line.c_str()); }

bool hasPrefixPath(const std::vector<std::string>& path, const std::vector<std::string>& prefix) {
    if (prefix.size() > path.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (foldRegistryName(path[i]) != foldRegistryName(prefix[i])) return false;
    }
    return true;
}

}  // namespace

RegistryFile::RegistryFile(std::string path, Report report)
    : m_path(std::move(path)), m_report(report ? std::move(report) : Report(reportOnStandardError)) {}

RegistryKeyNode& RegistryFile::tree() {
    if (!m_tree) load();
    return *m_tree;
}

void RegistryFile::load() {
    m_tree.emplace();
    m_changed = false;
    std::string text;
    try {
        BinaryFile file(m_path, BinaryFile::Mode::Read);
        // One byte more than the limit is enough to see that a file is too large.
        std::vector<std::uint8_t> buffer(64 * 1024);
        while (text.size() <= kMaxRegistryTextBytes) {
            const std::size_t count = file.read(buffer);
            if (count == 0) break;
            text.append(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(count));
        }
    } catch (const FileError& error) {
        if (error.code() == FileErrorCode::NotFound) return;
        // Reported once; later sessions of the run meet the same file.
        if (m_readOnly) return;
        m_readOnly = true;
        m_report(std::string("the settings cannot be read (") + error.what() +
                 "); the program starts on the default settings and does not save them during this run.");
        return;
    }
    auto parsed = parseRegistryText(text);
    if (auto* error = std::get_if<RegistryParseError>(&parsed)) {
        if (!m_readOnly) setAside(*error);
        return;
    }
    m_tree.emplace(std::move(std::get<RegistryKeyNode>(parsed)));
}

void RegistryFile::setAside(const RegistryParseError& error) {
    std::string problem = "the settings file " + m_path + " does not parse (";
    if (error.line > 0) problem += "line " + std::to_string(error.line) + ": ";
    problem += error.reason + ")";
    std::string failure;
    for (int copy = 1; copy <= kMaxBrokenCopies; ++copy) {
        const std::string aside =
            m_path + kBrokenSuffix + (copy == 1 ? std::string() : "-" + std::to_string(copy));
        try {
            renameWithoutReplacing(m_path, aside);
            m_report(problem + "; it was kept as " + aside +
                     " and the program starts on the default settings.");
            return;
        } catch (const FileError& renameError) {
            if (renameError.code() != FileErrorCode::AlreadyExists) {
                failure = renameError.what();
                break;
            }
            failure = "every name for a copy is taken";
        }
    }
    // The file stays where it is; writing over it would lose what it holds.
    m_readOnly = true;
    m_report(problem + " and it cannot be kept aside (" + failure +
             "); the program starts on the default settings and does not save them during this run.");
}

const RegistryKeyNode* RegistryFile::currentKey() const {
    if (!m_tree || !m_currentPath) return nullptr;
    const RegistryKeyNode* key = &*m_tree;
    for (const std::string& name : *m_currentPath) {
        key = key->findSubKey(name);
        if (key == nullptr) return nullptr;
    }
    return key;
}

RegistryKeyNode* RegistryFile::currentKey() {
    return const_cast<RegistryKeyNode*>(std::as_const(*this).currentKey());
}

bool RegistryFile::openKey(std::string_view path, bool create) {
    RegistryKeyNode* key = &tree();
    m_currentPath.reset();
    auto names = splitRegistryPath(path);
    if (!names) return false;
    for (const std::string& name : *names) {
        RegistryKeyNode* next = key->findSubKey(name);
        if (next == nullptr) {
            if (!create) return false;
            if (m_readOnly) {
                m_refused = true;
                return false;
            }
            next = &key->subKey(name);
            m_changed = true;
        }
        key = next;
    }
    m_currentPath = std::move(names);
    return true;
}

std::optional<RegistryValueType> RegistryFile::valueType(std::string_view name) const {
    const RegistryKeyNode* key = currentKey();
    const RegistryValue* value = key ? key->findValue(name) : nullptr;
    if (value == nullptr) return std::nullopt;
    return value->type;
}

std::optional<std::int32_t> RegistryFile::readInteger(std::string_view name) const {
    const RegistryKeyNode* key = currentKey();
    const RegistryValue* value = key ? key->findValue(name) : nullptr;
    if (value == nullptr || value->type != RegistryValueType::Integer) return std::nullopt;
    return static_cast<std::int32_t>(value->number);
}

std::optional<std::string> RegistryFile::readString(std::string_view name) const {
    const RegistryKeyNode* key = currentKey();
    const RegistryValue* value = key ? key->findValue(name) : nullptr;
    if (value == nullptr || value->type != RegistryValueType::String) return std::nullopt;
    return value->text;
}

std::vector<std::string> RegistryFile::valueNames() const {
    std::vector<std::string> names;
    if (const RegistryKeyNode* key = currentKey()) {
        for (const RegistryValue& value : key->values()) names.push_back(value.name);
    }
    return names;
}

bool RegistryFile::writeValue(RegistryValue value) {
    RegistryKeyNode* key = currentKey();
    if (key == nullptr || !isValidRegistryValueName(value.name)) return false;
    if (m_readOnly) {
        m_refused = true;
        return false;
    }
    key->setValue(std::move(value));
    m_changed = true;
    return true;
}

bool RegistryFile::writeInteger(std::string_view name, std::int32_t number) {
    RegistryValue value;
    value.name = std::string(name);
    value.type = RegistryValueType::Integer;
    value.number = static_cast<std::uint32_t>(number);
    return writeValue(std::move(value));
}

bool RegistryFile::writeString(std::string_view name, std::string_view text) {
    if (!isValidRegistryString(text)) return false;
    RegistryValue value;
    value.name = std::string(name);
    value.type = RegistryValueType::String;
    value.text = std::string(text);
    return writeValue(std::move(value));
}

bool RegistryFile::hasSubKeys() const {
    const RegistryKeyNode* key = currentKey();
    return key != nullptr && !key->subKeys().empty();
}

bool RegistryFile::deleteKey(std::string_view path) {
    RegistryKeyNode& root = tree();
    const bool absolute = !path.empty() && path.front() == '\\';
    auto names = splitRegistryPath(path);
    if (!names || names->empty()) return false;
    std::vector<std::string> full;
    if (!absolute) {
        if (!m_currentPath || currentKey() == nullptr) return false;
        full = *m_currentPath;
    }
    full.insert(full.end(), names->begin(), names->end());
    if (full.size() > kMaxRegistryKeyDepth) return false;

    RegistryKeyNode* parent = &root;
    for (std::size_t i = 0; i + 1 < full.size(); ++i) {
        parent = parent->findSubKey(full[i]);
        if (parent == nullptr) return false;
    }
    if (parent->findSubKey(full.back()) == nullptr) return false;
    if (m_readOnly) {
        m_refused = true;
        return false;
    }
    parent->removeSubKey(full.back());
    m_changed = true;
    if (m_currentPath && hasPrefixPath(*m_currentPath, full)) m_currentPath.reset();
    return true;
}

bool RegistryFile::close() {
    const bool stored =
        !m_refused && (!m_changed || (m_tree && replaceFileAtomically(m_path, registryText(*m_tree), 0600)));
    m_tree.reset();
    m_currentPath.reset();
    m_changed = false;
    m_refused = false;
    return stored;
}

std::string defaultRegistryFilePath() {
    const char* own = ::getenv("MORAVEN_CONFIG_HOME");
    if (own != nullptr && *own != '\0') return std::string(own) + "/" + kRegistryFileName;
    std::string base;
    const char* xdg = ::getenv("XDG_CONFIG_HOME");
    // The base directory specification ignores relative paths.
    if (xdg != nullptr && xdg[0] == '/') {
        base = xdg;
    } else {
        const char* home = ::getenv("HOME");
        if (home != nullptr && *home != '\0') {
            base = home;
        } else if (const passwd* entry = ::getpwuid(::getuid());
                   entry != nullptr && entry->pw_dir != nullptr) {
            base = entry->pw_dir;
        }
        base += "/.config";
    }
    return base + "/" + kMakerName + "/" + kRegistryFileName;
}

}  // namespace moraven

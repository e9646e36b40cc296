#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <variant>
#include <vector>

#include "settings/registry.h"

// The registry's keys held in memory, and their text form: the REGEDIT4 syntax of registry export files,
// UTF-8, with the current user's keys only.
//
//   REGEDIT4
//
//   [HKEY_CURRENT_USER\Software\Velloran\Moraven]
//   "Name"="Arial"                  a string; \\ and \" stand for a backslash and a double quote
//   "Volume"=dword:00002710         a 32-bit integer, eight hexadecimal digits
//   "Data"=hex:01,02,ff             binary data; hex(N): for a value of kind N; a line that ends with a
//                                   backslash goes on on the next one
//   @="..."                         the key's unnamed value
//
// Blank lines and lines that start with ";" are skipped. hex(1): is a string (its UTF-8 bytes and a closing
// NUL) and hex(4): with four bytes an integer; strings holding control characters are written that way so
// that every line stays one line.
namespace moraven {

// Limits of a registry: names as long as the system registry's; keys at most 64 deep (the settings use
// four levels), which keeps the written text within a small multiple of the text read. Files larger than
// kMaxRegistryTextBytes are refused whole; the settings are a few kilobytes.
inline constexpr std::size_t kMaxRegistryTextBytes = std::size_t{1} << 20;
inline constexpr std::size_t kMaxRegistryKeyDepth = 64;
inline constexpr std::size_t kMaxRegistryKeyNameBytes = 255;
inline constexpr std::size_t kMaxRegistryValueNameBytes = 16383;

// The name of the root that every key path of the text begins with.
inline constexpr std::string_view kCurrentUserRootName = "HKEY_CURRENT_USER";

// Kinds of value as the system registry numbers them.
inline constexpr std::uint32_t kRegistryKindBinary = 3;
inline constexpr std::uint32_t kRegistryKindString = 1;
inline constexpr std::uint32_t kRegistryKindInteger = 4;

struct RegistryValue {
    std::string name;  // empty for the key's unnamed value
    RegistryValueType type = RegistryValueType::String;
    std::string text;                // String
    std::uint32_t number = 0;        // Integer
    std::uint32_t kind = 0;          // Other: the system registry's kind number (3 binary, 7 list, ...)
    std::vector<std::uint8_t> data;  // Other
};

// One key: its values in the order first written, and its subkeys. The key owns its subkeys.
class RegistryKeyNode {
public:
    explicit RegistryKeyNode(std::string name = {}) : m_name(std::move(name)) {}

    const std::string& name() const { return m_name; }

    const std::vector<RegistryValue>& values() const { return m_values; }
    const RegistryValue* findValue(std::string_view name) const;
    // Replaces the value of the same name in place, or appends it.
    void setValue(RegistryValue value);

    // Subkeys ordered by their names without case.
    const std::map<std::string, std::unique_ptr<RegistryKeyNode>>& subKeys() const { return m_subKeys; }
    RegistryKeyNode* findSubKey(std::string_view name);
    const RegistryKeyNode* findSubKey(std::string_view name) const;
    // The subkey `name`, made when missing.
    RegistryKeyNode& subKey(std::string_view name);
    bool removeSubKey(std::string_view name);

private:
    std::string m_name;
    std::vector<RegistryValue> m_values;
    std::unordered_map<std::string, std::size_t> m_valueIndex;          // folded name -> position in m_values
    std::map<std::string, std::unique_ptr<RegistryKeyNode>> m_subKeys;  // folded name -> key
};

// `text` with the ASCII letters in lower case: the form in which names are compared.
std::string foldRegistryName(std::string_view text);

// The key names of a path ("\Software\Velloran" gives Software, Velloran; "" and "\" give none; one leading
// and one trailing backslash are allowed), or
// nothing when a name is empty, longer than kMaxRegistryKeyNameBytes or holds a control character, or the
// path is deeper than kMaxRegistryKeyDepth.
std::optional<std::vector<std::string>> splitRegistryPath(std::string_view path);

// Whether `name` can be stored as a value name: at most kMaxRegistryValueNameBytes, no control character.
bool isValidRegistryValueName(std::string_view name);

// Whether `text` can be stored as a string value: it holds no NUL, which ends a registry string.
bool isValidRegistryString(std::string_view text);

struct RegistryParseError {
    std::size_t line = 0;  // 1 for the first line
    std::string reason;
};

// The root key (the current user's) read from the text of a registry file, or where and why the text does
// not parse. An empty text, or one of blanks only, is an empty registry. Text longer than
// kMaxRegistryTextBytes does not parse.
std::variant<RegistryKeyNode, RegistryParseError> parseRegistryText(std::string_view text);

// The text of a registry file holding `root`'s keys, each key after its parent and subkeys in name order.
// Keys without values are written too, so that they survive; the root only when it holds values.
std::string registryText(const RegistryKeyNode& root);

}  // namespace moraven

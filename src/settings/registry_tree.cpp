#include "settings/registry_tree.h"

#include <utility>

namespace moraven {
namespace {

bool isControl(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
}

bool hasControl(std::string_view text) {
    for (char c : text) {
        if (isControl(c)) return true;
    }
    return false;
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    return foldRegistryName(a) == foldRegistryName(b);
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && equalsNoCase(text.substr(0, prefix.size()), prefix);
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// One to eight hexadecimal digits and nothing else.
std::optional<std::uint32_t> parseHexNumber(std::string_view digits) {
    if (digits.empty() || digits.size() > 8) return std::nullopt;
    std::uint32_t value = 0;
    for (char c : digits) {
        const int digit = hexDigit(c);
        if (digit < 0) return std::nullopt;
        value = value << 4 | static_cast<std::uint32_t>(digit);
    }
    return value;
}

// Reads the lines of a text one by one, without their line ends (LF or CR LF).
class LineReader {
public:
    explicit LineReader(std::string_view text) : m_rest(text) {}

    bool atEnd() const { return m_rest.empty(); }
    std::size_t lineNumber() const { return m_lineNumber; }

    std::string_view next() {
        const std::size_t end = m_rest.find('\n');
        std::string_view line = m_rest.substr(0, end);
        m_rest = end == std::string_view::npos ? std::string_view() : m_rest.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        ++m_lineNumber;
        return line;
    }

private:
    std::string_view m_rest;
    std::size_t m_lineNumber = 0;
};

struct ParseFailure {
    std::string reason;
};

// A quoted string at the start of `text` (which begins with the opening quote): its content with the
// escapes \\ and \" undone (a backslash before any other character stays), and the rest after the closing
// quote.
std::variant<std::pair<std::string, std::string_view>, ParseFailure> takeQuoted(std::string_view text) {
    std::string content;
    std::size_t pos = 1;
    while (pos < text.size()) {
        const char c = text[pos];
        if (c == '"') return std::pair{std::move(content), text.substr(pos + 1)};
        if (c == '\0') return ParseFailure{"a NUL character in a quoted text"};
        if (c == '\\' && pos + 1 < text.size() && (text[pos + 1] == '\\' || text[pos + 1] == '"')) {
            content += text[pos + 1];
            pos += 2;
            continue;
        }
        content += c;
        ++pos;
    }
    return ParseFailure{"a quoted text is not closed"};
}

class Parser {
public:
    explicit Parser(std::string_view text) : m_lines(text) {}

    std::variant<RegistryKeyNode, RegistryParseError> run();

private:
    std::optional<ParseFailure> parseLine(std::string_view line);
    std::optional<ParseFailure> parseKeyLine(std::string_view line);
    std::optional<ParseFailure> parseValueLine(std::string_view line);
    std::optional<ParseFailure> parseHexData(std::string_view firstPart, std::vector<std::uint8_t>& bytes);

    LineReader m_lines;
    RegistryKeyNode m_root;
    RegistryKeyNode* m_current = nullptr;
    bool m_seenSignature = false;
};

std::variant<RegistryKeyNode, RegistryParseError> Parser::run() {
    while (!m_lines.atEnd()) {
        const std::string_view line = m_lines.next();
        if (auto failure = parseLine(line)) {
            return RegistryParseError{m_lines.lineNumber(), std::move(failure->reason)};
        }
    }
    return std::move(m_root);
}

std::optional<ParseFailure> Parser::parseLine(std::string_view rawLine) {
    const std::string_view line = trimBlanks(rawLine);
    if (line.empty() || line.front() == ';') return std::nullopt;
    if (!m_seenSignature) {
        if (line != "REGEDIT4") return ParseFailure{"the first line is not REGEDIT4"};
        m_seenSignature = true;
        return std::nullopt;
    }
    if (line.front() == '[') return parseKeyLine(line);
    if (line.front() == '"' || line.front() == '@') return parseValueLine(line);
    return ParseFailure{"a line that is neither a key nor a value"};
}

std::optional<ParseFailure> Parser::parseKeyLine(std::string_view line) {
    if (line.back() != ']') return ParseFailure{"a key line without its closing bracket"};
    std::string_view path = line.substr(1, line.size() - 2);
    if (!path.empty() && path.front() == '-') return ParseFailure{"a key deletion line"};
    if (!startsWithNoCase(path, kCurrentUserRootName)) {
        return ParseFailure{"a key outside HKEY_CURRENT_USER"};
    }
    path.remove_prefix(kCurrentUserRootName.size());
    if (!path.empty() && path.front() != '\\') return ParseFailure{"a key outside HKEY_CURRENT_USER"};
    const auto names = splitRegistryPath(path);
    // Only "[HKEY_CURRENT_USER]" itself names the root; the text never ends a key path with a backslash.
    if (!names || (!path.empty() && (names->empty() || path.back() == '\\'))) {
        return ParseFailure{"an invalid key path"};
    }
    RegistryKeyNode* key = &m_root;
    for (const std::string& name : *names) key = &key->subKey(name);
    m_current = key;
    return std::nullopt;
}

std::optional<ParseFailure> Parser::parseValueLine(std::string_view line) {
    if (m_current == nullptr) return ParseFailure{"a value before the first key"};
    RegistryValue value;
    std::string_view rest;
    if (line.front() == '@') {
        rest = line.substr(1);
    } else {
        auto quoted = takeQuoted(line);
        if (auto* failure = std::get_if<ParseFailure>(&quoted)) return std::move(*failure);
        auto& [name, after] = std::get<0>(quoted);
        value.name = std::move(name);
        rest = after;
    }
    if (!isValidRegistryValueName(value.name)) return ParseFailure{"an invalid value name"};
    rest = trimBlanks(rest);
    if (rest.empty() || rest.front() != '=') return ParseFailure{"a value without \"=\""};
    rest = trimBlanks(rest.substr(1));

    if (!rest.empty() && rest.front() == '"') {
        auto quoted = takeQuoted(rest);
        if (auto* failure = std::get_if<ParseFailure>(&quoted)) return std::move(*failure);
        auto& [text, after] = std::get<0>(quoted);
        if (!trimBlanks(after).empty()) return ParseFailure{"text after a quoted value"};
        value.type = RegistryValueType::String;
        value.text = std::move(text);
    } else if (startsWithNoCase(rest, "dword:")) {
        const auto number = parseHexNumber(trimBlanks(rest.substr(6)));
        if (!number) return ParseFailure{"an invalid dword value"};
        value.type = RegistryValueType::Integer;
        value.number = *number;
    } else if (startsWithNoCase(rest, "hex")) {
        rest.remove_prefix(3);
        std::uint32_t kind = kRegistryKindBinary;
        if (!rest.empty() && rest.front() == '(') {
            const std::size_t close = rest.find(')');
            if (close == std::string_view::npos) return ParseFailure{"an invalid hex value kind"};
            const auto number = parseHexNumber(rest.substr(1, close - 1));
            if (!number) return ParseFailure{"an invalid hex value kind"};
            kind = *number;
            rest.remove_prefix(close + 1);
        }
        if (rest.empty() || rest.front() != ':') return ParseFailure{"an unknown value type"};
        std::vector<std::uint8_t> bytes;
        if (auto failure = parseHexData(rest.substr(1), bytes)) return failure;
        if (kind == kRegistryKindString) {
            // A string's bytes end at its NUL.
            std::size_t length = 0;
            while (length < bytes.size() && bytes[length] != 0) ++length;
            value.type = RegistryValueType::String;
            value.text.assign(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length));
        } else if (kind == kRegistryKindInteger && bytes.size() == 4) {
            value.type = RegistryValueType::Integer;
            value.number = static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
                           static_cast<std::uint32_t>(bytes[2]) << 16 |
                           static_cast<std::uint32_t>(bytes[3]) << 24;
        } else {
            value.type = RegistryValueType::Other;
            value.kind = kind;
            value.data = std::move(bytes);
        }
    } else if (rest == "-") {
        return ParseFailure{"a value deletion line"};
    } else {
        return ParseFailure{"an unknown value type"};
    }
    m_current->setValue(std::move(value));
    return std::nullopt;
}

// Bytes written as two hexadecimal digits each, separated by commas. A line ending with a backslash goes on
// on the next line, so the list may span lines; each line read moves the reader forward.
std::optional<ParseFailure> Parser::parseHexData(std::string_view firstPart,
                                                 std::vector<std::uint8_t>& bytes) {
    std::string list;
    std::string_view part = trimBlanks(firstPart);
    while (!part.empty() && part.back() == '\\') {
        part.remove_suffix(1);
        list += part;
        if (m_lines.atEnd()) return ParseFailure{"a hex value continued past the end of the file"};
        part = trimBlanks(m_lines.next());
    }
    list += part;

    std::string_view items = list;
    while (!items.empty()) {
        const std::size_t comma = items.find(',');
        const std::string_view item = trimBlanks(items.substr(0, comma));
        const bool last = comma == std::string_view::npos;
        items = last ? std::string_view() : items.substr(comma + 1);
        if (item.empty() && items.empty()) break;  // a list may end with a comma
        if (item.empty() || item.size() > 2) return ParseFailure{"an invalid byte in a hex value"};
        const auto byte = parseHexNumber(item);
        if (!byte) return ParseFailure{"an invalid byte in a hex value"};
        bytes.push_back(static_cast<std::uint8_t>(*byte));
    }
    return std::nullopt;
}

void appendQuoted(std::string& out, std::string_view text) {
    out += '"';
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    out += '"';
}

void appendHexData(std::string& out, std::string_view prefix, const std::uint8_t* bytes, std::size_t count) {
    static constexpr char kDigits[] = "0123456789abcdef";
    // Long lists wrap as registry exports do, each line ending in a backslash.
    constexpr std::size_t kLineWidth = 76;
    std::size_t column = out.size() - (out.rfind('\n') == std::string::npos ? 0 : out.rfind('\n') + 1);
    out += prefix;
    column += prefix.size();
    for (std::size_t i = 0; i < count; ++i) {
        if (column + 3 > kLineWidth) {
            out += "\\\n  ";
            column = 2;
        }
        out += kDigits[bytes[i] >> 4];
        out += kDigits[bytes[i] & 0x0F];
        column += 2;
        if (i + 1 < count) {
            out += ',';
            ++column;
        }
    }
}

void appendValue(std::string& out, const RegistryValue& value) {
    if (value.name.empty()) {
        out += '@';
    } else {
        appendQuoted(out, value.name);
    }
    out += '=';
    switch (value.type) {
        case RegistryValueType::String:
            if (hasControl(value.text)) {
                // A line end inside quotes would split the value; its bytes keep it whole.
                std::vector<std::uint8_t> bytes(value.text.begin(), value.text.end());
                bytes.push_back(0);
                appendHexData(out, "hex(1):", bytes.data(), bytes.size());
            } else {
                appendQuoted(out, value.text);
            }
            break;
        case RegistryValueType::Integer: {
            static constexpr char kDigits[] = "0123456789abcdef";
            out += "dword:";
            for (int shift = 28; shift >= 0; shift -= 4) out += kDigits[(value.number >> shift) & 0x0F];
            break;
        }
        case RegistryValueType::Other: {
            std::string prefix = "hex:";
            if (value.kind != kRegistryKindBinary) {
                static constexpr char kDigits[] = "0123456789abcdef";
                std::string digits;
                std::uint32_t kind = value.kind;
                do {
                    digits.insert(digits.begin(), kDigits[kind & 0x0F]);
                    kind >>= 4;
                } while (kind != 0);
                prefix = "hex(" + digits + "):";
            }
            appendHexData(out, prefix, value.data.data(), value.data.size());
            break;
        }
    }
    out += '\n';
}

void appendKey(std::string& out, const RegistryKeyNode& key, std::string& path, bool isRoot) {
    if (!isRoot || !key.values().empty()) {
        out += "\n[";
        out += path;
        out += "]\n";
        for (const RegistryValue& value : key.values()) appendValue(out, value);
    }
    for (const auto& entry : key.subKeys()) {
        const std::size_t size = path.size();
        path += '\\';
        path += entry.second->name();
        appendKey(out, *entry.second, path, false);
        path.resize(size);
    }
}

}  // namespace

std::string foldRegistryName(std::string_view text) {
    std::string folded(text);
    for (char& c : folded) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return folded;
}

std::optional<std::vector<std::string>> splitRegistryPath(std::string_view path) {
    std::vector<std::string> names;
    if (!path.empty() && path.front() == '\\') path.remove_prefix(1);
    if (!path.empty() && path.back() == '\\') path.remove_suffix(1);
    while (!path.empty()) {
        const std::size_t end = path.find('\\');
        const std::string_view name = path.substr(0, end);
        if (name.empty() || name.size() > kMaxRegistryKeyNameBytes || hasControl(name)) return std::nullopt;
        if (names.size() == kMaxRegistryKeyDepth) return std::nullopt;
        names.emplace_back(name);
        if (end == std::string_view::npos) break;
        path.remove_prefix(end + 1);
        if (path.empty()) return std::nullopt;
    }
    return names;
}

bool isValidRegistryString(std::string_view text) { return text.find('\0') == std::string_view::npos; }

bool isValidRegistryValueName(std::string_view name) {
    return name.size() <= kMaxRegistryValueNameBytes && !hasControl(name);
}

const RegistryValue* RegistryKeyNode::findValue(std::string_view name) const {
    const auto found = m_valueIndex.find(foldRegistryName(name));
    return found == m_valueIndex.end() ? nullptr : &m_values[found->second];
}

void RegistryKeyNode::setValue(RegistryValue value) {
    std::string folded = foldRegistryName(value.name);
    const auto found = m_valueIndex.find(folded);
    if (found != m_valueIndex.end()) {
        // The value keeps its place and the name its first spelling.
        value.name = m_values[found->second].name;
        m_values[found->second] = std::move(value);
        return;
    }
    m_valueIndex.emplace(std::move(folded), m_values.size());
    m_values.push_back(std::move(value));
}

RegistryKeyNode* RegistryKeyNode::findSubKey(std::string_view name) {
    const auto found = m_subKeys.find(foldRegistryName(name));
    return found == m_subKeys.end() ? nullptr : found->second.get();
}

const RegistryKeyNode* RegistryKeyNode::findSubKey(std::string_view name) const {
    const auto found = m_subKeys.find(foldRegistryName(name));
    return found == m_subKeys.end() ? nullptr : found->second.get();
}

RegistryKeyNode& RegistryKeyNode::subKey(std::string_view name) {
    auto& slot = m_subKeys[foldRegistryName(name)];
    if (!slot) slot = std::make_unique<RegistryKeyNode>(std::string(name));
    return *slot;
}

bool RegistryKeyNode::removeSubKey(std::string_view name) {
    return m_subKeys.erase(foldRegistryName(name)) > 0;
}

std::variant<RegistryKeyNode, RegistryParseError> parseRegistryText(std::string_view text) {
    if (text.size() > kMaxRegistryTextBytes) return RegistryParseError{0, "the file is larger than 1 MiB"};
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    return Parser(text).run();
}

std::string registryText(const RegistryKeyNode& root) {
    std::string out = "REGEDIT4\n";
    std::string path(kCurrentUserRootName);
    appendKey(out, root, path, true);
    return out;
}

}  // namespace moraven

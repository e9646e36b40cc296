#include "settings/registry_tree.h"

#include <string>
#include <variant>

#include <gtest/gtest.h>

namespace moraven {
namespace {

RegistryKeyNode parsed(std::string_view text) {
    auto result = parseRegistryText(text);
    if (auto* error = std::get_if<RegistryParseError>(&result)) {
        ADD_FAILURE() << "line " << error->line << ": " << error->reason;
        return RegistryKeyNode();
    }
    return std::move(std::get<RegistryKeyNode>(result));
}

const RegistryKeyNode* keyAt(const RegistryKeyNode& root, std::string_view path) {
    const auto names = splitRegistryPath(path);
    if (!names) return nullptr;
    const RegistryKeyNode* key = &root;
    for (const std::string& name : *names) {
        key = key->findSubKey(name);
        if (key == nullptr) return nullptr;
    }
    return key;
}

RegistryValue stringValue(std::string name, std::string text) {
    RegistryValue value;
    value.name = std::move(name);
    value.type = RegistryValueType::String;
    value.text = std::move(text);
    return value;
}

RegistryValue integerValue(std::string name, std::uint32_t number) {
    RegistryValue value;
    value.name = std::move(name);
    value.type = RegistryValueType::Integer;
    value.number = number;
    return value;
}

TEST(RegistryTextTest, WritesTheRegeditSyntax) {
    RegistryKeyNode root;
    RegistryKeyNode& main = root.subKey("Software").subKey("Velloran").subKey("Moraven");
    main.setValue(integerValue("Volume", 10000));
    main.setValue(stringValue("Dossier à ouverture auto", "/home/anne/Vidéos/"));
    main.setValue(stringValue("Quote \"and\" back\\slash", "C:\\dv \"x\""));
    main.setValue(integerValue("Décalage Horaire", static_cast<std::uint32_t>(-5)));
    main.subKey("IncrustFont").setValue(stringValue("Name", "Arial"));
    main.subKey("Actions");

    EXPECT_EQ(registryText(root),
              "REGEDIT4\n"
              "\n"
              "[HKEY_CURRENT_USER\\Software]\n"
              "\n"
              "[HKEY_CURRENT_USER\\Software\\Velloran]\n"
              "\n"
              "[HKEY_CURRENT_USER\\Software\\Velloran\\Moraven]\n"
              "\"Volume\"=dword:00002710\n"
              "\"Dossier à ouverture auto\"=\"/home/anne/Vidéos/\"\n"
              "\"Quote \\\"and\\\" back\\\\slash\"=\"C:\\\\dv \\\"x\\\"\"\n"
              "\"Décalage Horaire\"=dword:fffffffb\n"
              "\n"
              "[HKEY_CURRENT_USER\\Software\\Velloran\\Moraven\\Actions]\n"
              "\n"
              "[HKEY_CURRENT_USER\\Software\\Velloran\\Moraven\\IncrustFont]\n"
              "\"Name\"=\"Arial\"\n");
}

TEST(RegistryTextTest, EveryValueSurvivesWritingAndReading) {
    RegistryKeyNode root;
    RegistryKeyNode& key = root.subKey("Software").subKey("Test");
    key.setValue(stringValue("", "the unnamed value"));
    key.setValue(stringValue("lines", "first\nsecond\r\nthird\ttab"));  // control characters
    key.setValue(stringValue("empty", ""));
    key.setValue(stringValue("bytes", std::string("\xff\xfe not UTF-8 \x80")));
    key.setValue(integerValue("max", 0xFFFFFFFFu));
    key.setValue(integerValue("zero", 0));
    RegistryValue binary;
    binary.name = "binary";
    binary.type = RegistryValueType::Other;
    binary.kind = kRegistryKindBinary;
    for (int i = 0; i < 100; ++i) binary.data.push_back(static_cast<std::uint8_t>(i * 7));  // wraps lines
    key.setValue(binary);
    RegistryValue list = binary;
    list.name = "list";
    list.kind = 7;
    list.data = {'a', 0, 'b', 0, 0};
    key.setValue(list);
    root.setValue(stringValue("at root", "x"));

    const std::string text = registryText(root);
    const RegistryKeyNode again = parsed(text);
    EXPECT_EQ(registryText(again), text);

    const RegistryKeyNode* read = keyAt(again, "\\Software\\Test");
    ASSERT_NE(read, nullptr);
    ASSERT_EQ(read->values().size(), 8u);
    EXPECT_EQ(read->findValue("lines")->text, "first\nsecond\r\nthird\ttab");
    EXPECT_EQ(read->findValue("lines")->type, RegistryValueType::String);
    EXPECT_EQ(read->findValue("bytes")->text, std::string("\xff\xfe not UTF-8 \x80"));
    EXPECT_EQ(read->findValue("")->text, "the unnamed value");
    EXPECT_EQ(read->findValue("max")->number, 0xFFFFFFFFu);
    EXPECT_EQ(read->findValue("binary")->data, binary.data);
    EXPECT_EQ(read->findValue("list")->kind, 7u);
    EXPECT_EQ(read->findValue("list")->data, list.data);
    // Every line of the text is a line of its own: no value spills over.
    EXPECT_EQ(text.find("first\n"), std::string::npos);
}

TEST(RegistryTextTest, ReadsWhatRegistryEditorsWrite) {
    const RegistryKeyNode root = parsed(
        "\xEF\xBB\xBFREGEDIT4\r\n"
        "\r\n"
        "; a comment\r\n"
        "[hkey_current_user\\SOFTWARE\\velloran\\Moraven]\r\n"
        "\"Volume\" = dword:2710\r\n"
        "@=\"default\"\r\n"
        "\"Old\"=dword:00000001\r\n"
        "\"Text\"=hex(1):41,42,00\r\n"
        "\"Int\"=hex(4):10,27,00,00\r\n"
        "\"Expand\"=hex(2):25,00\r\n"
        "\"Long\"=hex:01,02,\\\r\n"
        "  03,04\r\n"
        "  [HKEY_CURRENT_USER\\Software\\Velloran\\Moraven]  \r\n"
        "\"old\"=\"replaced, in place\"\r\n"
        "\"Backslash\"=\"C:\\dv\"\r\n");
    const RegistryKeyNode* key = keyAt(root, "\\Software\\Velloran\\Moraven");
    ASSERT_NE(key, nullptr);
    // The names keep their first spelling; lookups ignore the case of ASCII letters.
    EXPECT_EQ(root.subKeys().begin()->second->name(), "SOFTWARE");
    EXPECT_EQ(key->findValue("VOLUME")->number, 10000u);
    EXPECT_EQ(key->findValue("")->text, "default");
    EXPECT_EQ(key->findValue("Text")->type, RegistryValueType::String);
    EXPECT_EQ(key->findValue("Text")->text, "AB");
    EXPECT_EQ(key->findValue("Int")->type, RegistryValueType::Integer);
    EXPECT_EQ(key->findValue("Int")->number, 10000u);
    EXPECT_EQ(key->findValue("Expand")->type, RegistryValueType::Other);
    EXPECT_EQ(key->findValue("Long")->data, (std::vector<std::uint8_t>{1, 2, 3, 4}));
    EXPECT_EQ(key->findValue("Backslash")->text, "C:\\dv");
    ASSERT_EQ(key->values().size(), 8u);
    EXPECT_EQ(key->values()[2].name, "Old");
    EXPECT_EQ(key->values()[2].type, RegistryValueType::String);
    EXPECT_EQ(key->values()[2].text, "replaced, in place");
}

TEST(RegistryTextTest, AnEmptyFileIsAnEmptyRegistry) {
    for (std::string_view text : {"", "\n\n  \n", "REGEDIT4\n"}) {
        const RegistryKeyNode root = parsed(text);
        EXPECT_TRUE(root.subKeys().empty());
        EXPECT_TRUE(root.values().empty());
    }
}

TEST(RegistryTextTest, RefusesTextThatDoesNotParse) {
    struct Case {
        const char* text;
        std::size_t line;
    };
    const std::string deep = "REGEDIT4\n[HKEY_CURRENT_USER" + [] {
        std::string path;
        for (std::size_t i = 0; i <= kMaxRegistryKeyDepth; ++i) path += "\\k";
        return path;
    }() + "]\n";
    const std::string longName = "REGEDIT4\n[HKEY_CURRENT_USER\\" + std::string(256, 'n') + "]\n";
    const Case cases[] = {
        {"[HKEY_CURRENT_USER\\Software]\n", 1},
        {"Windows Registry Editor Version 5.00\n", 1},
        {"REGEDIT4\n\"Volume\"=dword:1\n", 2},
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software]\n", 2},
        {"REGEDIT4\n[HKEY_CURRENT_USERS\\Software]\n", 2},
        {"REGEDIT4\n[-HKEY_CURRENT_USER\\Software]\n", 2},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\Software\n", 2},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\Software\\\\Velloran]\n", 2},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\Software\\]\n", 2},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\a]\n\"open=\"x\"\n", 3},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\a]\n\"v\"=\"open\n", 3},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\a]\n\"v\"=\"x\" trailing\n", 3},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\a]\n\"v\"\n", 3},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\a]\n\"v\"=dword:123456789\n", 3},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\a]\n\"v\"=dword:\n", 3},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\a]\n\"v\"=dword:12g4\n", 3},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\a]\n\"v\"=hex:1,2,300\n", 3},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\a]\n\"v\"=hex:01,,02\n", 3},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\a]\n\"v\"=hex(:01\n", 3},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\a]\n\"v\"=hex(123456789):01\n", 3},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\a]\n\"v\"=hexa:01\n", 3},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\a]\n\"v\"=-\n", 3},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\a]\n\"v\"=qword:1\n", 3},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\a]\n\"v\"=hex:01,\\\n02,\\\n", 4},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\a]\n\"tab\tname\"=dword:1\n", 3},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\a]\ngarbage\n", 3},
        {"REGEDIT4\nREGEDIT4\n", 2},
        {deep.c_str(), 2},
        {longName.c_str(), 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto result = parseRegistryText(c.text);
        ASSERT_TRUE(std::holds_alternative<RegistryParseError>(result));
        EXPECT_EQ(std::get<RegistryParseError>(result).line, c.line);
        EXPECT_FALSE(std::get<RegistryParseError>(result).reason.empty());
    }
}

TEST(RegistryTextTest, RefusesANulInsideQuotedText) {
    // A registry string ends at its NUL; one inside the quotes would not survive writing.
    std::string text = "REGEDIT4\n[HKEY_CURRENT_USER\\a]\n\"v\"=\"a";
    text += '\0';
    text += "b\"\n";
    const auto result = parseRegistryText(text);
    ASSERT_TRUE(std::holds_alternative<RegistryParseError>(result));
    EXPECT_EQ(std::get<RegistryParseError>(result).line, 3u);
    EXPECT_FALSE(isValidRegistryString(std::string("a\0b", 3)));
}

TEST(RegistryTextTest, RefusesATextLargerThanTheLimitWithoutReadingIt) {
    std::string text = "REGEDIT4\n[HKEY_CURRENT_USER\\a]\n";
    text.append(kMaxRegistryTextBytes, ';');
    const auto result = parseRegistryText(text);
    ASSERT_TRUE(std::holds_alternative<RegistryParseError>(result));
    EXPECT_EQ(std::get<RegistryParseError>(result).line, 0u);
}

TEST(RegistryPathTest, SplitsAbsoluteAndRelativePaths) {
    using Names = std::vector<std::string>;
    EXPECT_EQ(splitRegistryPath("\\Software\\Velloran\\Moraven"), (Names{"Software", "Velloran", "Moraven"}));
    EXPECT_EQ(splitRegistryPath("\\Software\\Velloran\\"), (Names{"Software", "Velloran"}));
    EXPECT_EQ(splitRegistryPath("Moraven"), (Names{"Moraven"}));
    EXPECT_EQ(splitRegistryPath("\\"), Names{});
    EXPECT_EQ(splitRegistryPath(""), Names{});
    EXPECT_FALSE(splitRegistryPath("\\a\\\\b"));
    EXPECT_FALSE(splitRegistryPath("\\a\\\\"));
    EXPECT_FALSE(splitRegistryPath("\\line\nend"));
    EXPECT_FALSE(splitRegistryPath(std::string(256, 'x')));
    EXPECT_TRUE(splitRegistryPath(std::string(255, 'x')));
}

}  // namespace
}  // namespace moraven

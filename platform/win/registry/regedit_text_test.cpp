#include "regedit_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tevo/win/registry.h"

namespace tevo::win::registry {
namespace {

using namespace std::string_literals;

// Writes the value into a one-key REGEDIT4 text and parses it back.
TextValue RoundTrip(const Value& value) {
    const std::string text =
        "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software]\n" + FormatValueLine(value) + "\n";
    std::vector<TextSection> sections;
    std::string error;
    EXPECT_TRUE(ParseRegeditText(text, &sections, &error)) << error << "\n" << text;
    if (sections.size() != 1 || sections[0].values.size() != 1) {
        ADD_FAILURE() << "expected one value in\n" << text;
        return {};
    }
    return sections[0].values[0];
}

TEST(RegeditText, EveryValueComesBackWithItsExactTypeAndBytes) {
    const std::vector<Value> values = {
        {"Text", REG_SZ, "say \"hi\" to C:\\dir\\ and it's fine\0"s},
        {"Unicode", REG_SZ,
         "Gr\xC3\xBC\xC3\x9F"
         "e \xE2\x82\xAC \xF0\x9F\x98\x80\0"s},
        {"Empty", REG_SZ, "\0"s},
        {"NoTerminator", REG_SZ, "abc"},
        {"NothingAtAll", REG_SZ, ""},
        {"EmbeddedZero", REG_SZ, "a\0b\0"s},
        {"LineBreak", REG_SZ, "one\r\ntwo\0"s},
        {"InvalidUtf8", REG_SZ, "\xFF\xFE\0"s},
        {"", REG_SZ, "default\0"s},
        {"@", REG_SZ, "not the default\0"s},
        {"quote\"and\\slash", REG_DWORD, "\x1f\0\0\0"s},
        {"Count", REG_DWORD, "\xff\xff\xff\xff"s},
        {"ShortDword", REG_DWORD, "\x01\x02"s},
        {"Bytes", REG_BINARY, "\0\x01\xff\n\"\\"s},
        {"EmptyBytes", REG_BINARY, ""},
        {"Path", REG_EXPAND_SZ, "%TEMP%\\x\0"s},
        {"List", REG_MULTI_SZ, "one\0two\0\0"s},
        {"Big", REG_QWORD, "\x01\x02\x03\x04\x05\x06\x07\x08"s},
        {"None", REG_NONE, "\x00\x01"s},
        {"Odd type", 0x12345, "x"},
    };
    for (const Value& value : values) {
        const TextValue back = RoundTrip(value);
        EXPECT_EQ(back.name, value.name);
        EXPECT_EQ(back.type, value.type) << value.name;
        EXPECT_EQ(back.data, value.data) << value.name;
        EXPECT_FALSE(back.remove);
    }
}

// "[HKEY_CURRENT_USER\n\n...]": a key `levels` names below the root, each `name`.
std::string Section(size_t levels, const std::string& name) {
    std::string line = "[HKEY_CURRENT_USER";
    for (size_t i = 0; i < levels; ++i) {
        line += "\\" + name;
    }
    return line + "]\n";
}

TEST(RegeditText, KeysBeyondTheRegistryLimitsAreRefusedWithTheirLine) {
    std::vector<TextSection> sections;
    std::string error;
    const std::string accented255 = [] {
        std::string name;
        for (int i = 0; i < 255; ++i) {
            name += "\xC3\xA9";  // two bytes, one character
        }
        return name;
    }();
    EXPECT_TRUE(ParseRegeditText("REGEDIT4\n" + Section(512, "k") +
                                     Section(1, std::string(255, 'n')) + Section(1, accented255),
                                 &sections, &error))
        << error;
    ASSERT_EQ(sections.size(), 3u);
    EXPECT_EQ(sections[0].path.size(), 513u);

    EXPECT_FALSE(ParseRegeditText("REGEDIT4\n\n" + Section(513, "k"), &sections, &error));
    EXPECT_EQ(error, "line 3: the key is more than 512 levels deep");
    EXPECT_FALSE(
        ParseRegeditText("REGEDIT4\n" + Section(2, std::string(256, 'n')), &sections, &error));
    EXPECT_EQ(error, "line 2: a key name is longer than 255 characters");
    EXPECT_FALSE(ParseRegeditText("REGEDIT4\n" + Section(1, accented255 + "x"), &sections, &error));
    EXPECT_EQ(error, "line 2: a key name is longer than 255 characters");
    // Deletions are keys too.
    EXPECT_FALSE(ParseRegeditText("REGEDIT4\n[-HKEY_CURRENT_USER\\" + std::string(256, 'n') + "]\n",
                                  &sections, &error));
    EXPECT_EQ(error, "line 2: a key name is longer than 255 characters");
}

TEST(RegeditText, SectionsOfADeepTreeComeParentsFirstAndDepthFirst) {
    // A chain "a\a\..." 511 keys long, each key with a leaf "z" holding a value.
    constexpr size_t kChain = 511;
    Key root;
    Key* key = &root;
    for (size_t level = 0; level < kChain; ++level) {
        key = key->AddSubkey("a");
        key->AddSubkey("z")->SetValue("v", REG_DWORD, "\x01\0\0\0"s);
    }
    std::string text(kRegeditHeader);
    text += "\n\n";
    AppendRegeditSections(root, "HKEY_CURRENT_USER", false, &text);
    std::vector<TextSection> sections;
    std::string error;
    ASSERT_TRUE(ParseRegeditText(text, &sections, &error)) << error;
    ASSERT_EQ(sections.size(), 2 * kChain);
    // The chain down, then the leaves from the deepest up.
    for (size_t i = 0; i < kChain; ++i) {
        EXPECT_EQ(sections[i].path.size(), i + 2);
        EXPECT_EQ(sections[i].path.back(), "a");
        EXPECT_TRUE(sections[i].values.empty());
        const TextSection& leaf = sections[kChain + i];
        EXPECT_EQ(leaf.path.size(), kChain - i + 2);
        EXPECT_EQ(leaf.path.back(), "z");
        EXPECT_EQ(leaf.values.size(), 1u);
    }
}

TEST(RegeditText, WritesTheRegedit4FormsOfEachType) {
    EXPECT_EQ(FormatValueLine({"Text", REG_SZ, "say \"hi\" C:\\dir\0"s}),
              R"("Text"="say \"hi\" C:\\dir")");
    EXPECT_EQ(FormatValueLine({"", REG_SZ, "x\0"s}), R"(@="x")");
    EXPECT_EQ(FormatValueLine({"n", REG_DWORD, "\x1f\0\0\0"s}), R"("n"=dword:0000001f)");
    EXPECT_EQ(FormatValueLine({"b", REG_BINARY, "\x01\x02"s}), R"("b"=hex:01,02)");
    EXPECT_EQ(FormatValueLine({"e", REG_EXPAND_SZ, "a\0"s}), R"("e"=hex(2):61,00)");
    EXPECT_EQ(FormatValueLine({"m", REG_MULTI_SZ, "a\0\0"s}), R"("m"=hex(7):61,00,00)");
    EXPECT_EQ(FormatValueLine({"q", REG_QWORD, "\x01\0\0\0\0\0\0\0"s}),
              R"("q"=hex(b):01,00,00,00,00,00,00,00)");
    // Strings that the quoted form cannot give back exactly keep their bytes as hex(1).
    EXPECT_EQ(FormatValueLine({"s", REG_SZ, "ab"}), R"("s"=hex(1):61,62)");
    EXPECT_EQ(FormatValueLine({"s", REG_SZ, "a\0b\0"s}), R"("s"=hex(1):61,00,62,00)");
    // UTF-8 text is written as it is.
    EXPECT_EQ(FormatValueLine({"\xC3\xA9", REG_SZ, "\xE2\x82\xAC\0"s}),
              "\"\xC3\xA9\"=\"\xE2\x82\xAC\"");
}

TEST(RegeditText, LongHexListsAreContinuedOverLines) {
    const Value value{"Blob", REG_BINARY, std::string(300, '\x5a')};
    const std::string line = FormatValueLine(value);
    size_t longest = 0;
    size_t start = 0;
    int lines = 0;
    while (start <= line.size()) {
        size_t end = line.find('\n', start);
        if (end == std::string::npos) {
            end = line.size();
        }
        longest = std::max(longest, end - start);
        ++lines;
        start = end + 1;
    }
    EXPECT_GT(lines, 10);
    EXPECT_LE(longest, 80u);
    EXPECT_EQ(RoundTrip(value).data, value.data);
}

TEST(RegeditText, SectionsDeletionsCommentsAndLineEnds) {
    const std::string text =
        "\xEF\xBB\xBFREGEDIT4\r\n\r\n; a comment\r\n[HKEY_LOCAL_MACHINE\\A\\B]\r\n"
        "\"v\"=\"x\"\r\n\"gone\"=-\r\n\r\n[-HKEY_CURRENT_USER\\Old]\r\n"
        "[HKEY_CLASSES_ROOT\\Name ] with ]\r\n@=dword:1\r\n";
    std::vector<TextSection> sections;
    std::string error;
    ASSERT_TRUE(ParseRegeditText(text, &sections, &error)) << error;
    ASSERT_EQ(sections.size(), 3u);
    EXPECT_EQ(sections[0].path, (std::vector<std::string>{"HKEY_LOCAL_MACHINE", "A", "B"}));
    ASSERT_EQ(sections[0].values.size(), 2u);
    EXPECT_EQ(sections[0].values[0].data, "x\0"s);
    EXPECT_TRUE(sections[0].values[1].remove);
    EXPECT_TRUE(sections[1].remove);
    EXPECT_EQ(sections[1].path, (std::vector<std::string>{"HKEY_CURRENT_USER", "Old"}));
    EXPECT_EQ(sections[2].path.back(), "Name ] with ");
    EXPECT_EQ(sections[2].values[0].name, "");
    EXPECT_EQ(sections[2].values[0].data, "\x01\0\0\0"s);
}

TEST(RegeditText, BadSyntaxIsRefusedWithTheLine) {
    const char* const bad[] = {
        "",
        "[HKEY_LOCAL_MACHINE\\A]\n",                            // no header
        "REGEDIT5\n",                                           // wrong header
        "REGEDIT4\n\"v\"=\"outside a key\"\n",                  // value before any key
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A\n",                   // unclosed key
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\\\A]\n",                // empty key name
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"v\"=\"open\n",    // unterminated string
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"v\"=\"a\\q\"\n",  // unknown escape
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"v\"=\"a\" x\n",   // text after the string
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"v\"=dword:123456789\n",
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"v\"=dword:xyz\n",
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"v\"=hex:1,zz\n",
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"v\"=hex:123\n",
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"v\"=hex(q):00\n",
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"v\"=hex:00,\\\n",  // continued past the end
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"v\" \"x\"\n",      // no '='
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\nv=\"x\"\n",          // unquoted name
        "REGEDIT4\n[-HKEY_LOCAL_MACHINE\\A]\n\"v\"=\"x\"\n",     // value in a deleted key
    };
    for (const char* text : bad) {
        std::vector<TextSection> sections;
        std::string error;
        EXPECT_FALSE(ParseRegeditText(text, &sections, &error)) << text;
        EXPECT_NE(error.find("line "), std::string::npos) << text;
    }
}

TEST(RegeditText, SectionsListEveryKeyParentsFirst) {
    Key root;
    Key* software = root.AddSubkey("Software");
    software->AddSubkey("zeta");
    software->AddSubkey("Alpha")->SetValue("v", REG_DWORD, "\x02\0\0\0"s);
    root.AddSubkey("Empty");
    std::string out;
    AppendRegeditSections(root, "HKEY_CURRENT_USER", false, &out);
    EXPECT_EQ(out,
              "[HKEY_CURRENT_USER\\Empty]\n\n"
              "[HKEY_CURRENT_USER\\Software]\n\n"
              "[HKEY_CURRENT_USER\\Software\\Alpha]\n\"v\"=dword:00000002\n\n"
              "[HKEY_CURRENT_USER\\Software\\zeta]\n\n");
}

}  // namespace
}  // namespace tevo::win::registry

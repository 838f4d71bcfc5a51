// Reading registry scripts: every construct of the language, replacements, quoting, and
// the failures of malformed scripts with their lines.
#include <gtest/gtest.h>

#include <string>

#include "registry_script.h"

namespace tevo::com::registrar {
namespace {

TEST(RegistryScriptReading, ReadsEveryConstruct) {
    // The caller doubles the apostrophes of a replacement used inside quotes.
    const Replacements replacements{{"MODULE", "/opt/it''s/lib x.so"}};
    const ParseResult parsed = ParseRegistryScript(
        "HKCR\n"
        "{\n"
        "  NoRemove CLSID\n"
        "  {\n"
        "    ForceRemove {AB} = s 'Class'\n"
        "    {\n"
        "      InprocServer32 = s '%MODULE%' { val ThreadingModel = s 'Both' }\n"
        "      val Flags = d 0x1F\n"
        "      val Count = d 4294967295\n"
        "      'Program mable'\n"
        "    }\n"
        "  }\n"
        "  Delete Old.Class\n"
        "}\n"
        "HKEY_LOCAL_MACHINE { Software { Tevo = s '100%% it''s' } }\n",
        replacements);
    ASSERT_EQ(parsed.error, "");
    ASSERT_EQ(parsed.roots.size(), 2U);
    EXPECT_EQ(parsed.roots[0].root, HKEY_CLASSES_ROOT);
    EXPECT_EQ(parsed.roots[1].root, HKEY_LOCAL_MACHINE);

    ASSERT_EQ(parsed.roots[0].keys.size(), 2U);
    const ScriptKey& clsid = parsed.roots[0].keys[0];
    EXPECT_EQ(clsid.flag, KeyFlag::kNoRemove);
    EXPECT_EQ(clsid.name, "CLSID");
    EXPECT_FALSE(clsid.default_value.has_value());
    ASSERT_EQ(clsid.subkeys.size(), 1U);
    const ScriptKey& entry = clsid.subkeys[0];
    EXPECT_EQ(entry.flag, KeyFlag::kForceRemove);
    EXPECT_EQ(entry.name, "{AB}");
    ASSERT_TRUE(entry.default_value.has_value());
    EXPECT_EQ(entry.default_value->text, "Class");
    ASSERT_EQ(entry.values.size(), 2U);
    EXPECT_EQ(entry.values[0].first, "Flags");
    EXPECT_EQ(entry.values[0].second.type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(entry.values[0].second.number, 0x1FU);
    EXPECT_EQ(entry.values[1].second.number, 4294967295U);
    ASSERT_EQ(entry.subkeys.size(), 2U);
    EXPECT_EQ(entry.subkeys[0].default_value->text, "/opt/it's/lib x.so");
    ASSERT_EQ(entry.subkeys[0].values.size(), 1U);
    EXPECT_EQ(entry.subkeys[0].values[0].first, "ThreadingModel");
    EXPECT_EQ(entry.subkeys[0].values[0].second.text, "Both");
    EXPECT_EQ(entry.subkeys[1].name, "Program mable");
    EXPECT_FALSE(entry.subkeys[1].default_value.has_value());
    EXPECT_EQ(parsed.roots[0].keys[1].flag, KeyFlag::kDelete);
    EXPECT_EQ(parsed.roots[0].keys[1].name, "Old.Class");

    const ScriptKey& tevo = parsed.roots[1].keys[0].subkeys[0];
    EXPECT_EQ(tevo.default_value->text, "100% it's");
}

TEST(RegistryScriptReading, ReplacementNamesIgnoreCaseAndDoubledApostrophesAreUndone) {
    const Replacements replacements{{ReplacementName("Module"), "/a/b''c d.so"}};
    const ParseResult parsed = ParseRegistryScript("HKCU { K = s '%module%' }", replacements);
    ASSERT_EQ(parsed.error, "");
    EXPECT_EQ(parsed.roots[0].keys[0].default_value->text, "/a/b'c d.so");
    EXPECT_EQ(parsed.roots[0].root, HKEY_CURRENT_USER);
}

TEST(RegistryScriptReading, MalformedScriptsFailWithTheirLine) {
    struct Case {
        const char* script;
        const char* error;
    };
    const Case cases[] = {
        {"HKCR\n{\n  A = s 'x'\n", "line 3: the script ends inside a key: '}' missing"},
        {"HKXX { A }", "line 1: unknown root key 'HKXX'"},
        {"HKCR\n{\n  A = q 'x'\n}", "line 3: unknown value type 'q'"},
        {"HKCR { A = s x }", "line 1: a string value must be quoted, not 'x'"},
        {"HKCR\n{\n  A = s 'open\n}\n", "line 3: a quoted text without its closing apostrophe"},
        {"HKCR { A { val B = d 12x } }", "line 1: '12x' is not a DWORD number"},
        {"HKCR { A { val B = d 4294967296 } }", "line 1: '4294967296' is not a DWORD number"},
        {"HKCR { A { val = s 'x' } }", "line 1: expected a value name, found '='"},
        {"HKCR\n\n{ A = s '%NOPE%' }", "line 3: unknown replacement %NOPE%"},
        {"HKCR { A = s '50%' }", "line 1: a '%' without its closing '%'"},
        {"HKCR A", "line 1: expected '{', found 'A'"},
        {"HKCR { 'A\\B' }", "line 1: a key name holds no '\\': nest the keys instead"},
        {"HKCR { '' }", "line 1: an empty key name"},
        {"HKCR { NoRemove }", "line 1: expected a key name, found '}'"},
    };
    for (const Case& c : cases) {
        const ParseResult parsed = ParseRegistryScript(c.script, {});
        EXPECT_EQ(parsed.error, c.error) << c.script;
        EXPECT_TRUE(parsed.roots.empty()) << c.script;
    }
}

// A script of `depth` keys nested one in the other below HKCR.
std::string NestedScript(std::size_t depth) {
    std::string script = "HKCR {";
    for (std::size_t i = 0; i < depth; ++i) {
        script += " K {";
    }
    for (std::size_t i = 0; i < depth; ++i) {
        script += " }";
    }
    return script + " }";
}

TEST(RegistryScriptReading, NestingIsBoundedByTheRegistryDepth) {
    // 512 levels below the root key is as deep as the registry goes.
    const ParseResult deepest = ParseRegistryScript(NestedScript(512), {});
    ASSERT_EQ(deepest.error, "");
    const ScriptKey* key = &deepest.roots.at(0).keys.at(0);
    std::size_t depth = 1;
    while (!key->subkeys.empty()) {
        key = &key->subkeys.front();
        ++depth;
    }
    EXPECT_EQ(depth, 512U);
    EXPECT_EQ(ParseRegistryScript(NestedScript(513), {}).error,
              "line 1: keys are nested more than 512 levels deep");
    // Far deeper nesting fails the same way instead of exhausting the stack.
    const ParseResult abyss = ParseRegistryScript(NestedScript(100000), {});
    EXPECT_EQ(abyss.error, "line 1: keys are nested more than 512 levels deep");
    EXPECT_TRUE(abyss.roots.empty());
}

}  // namespace
}  // namespace tevo::com::registrar

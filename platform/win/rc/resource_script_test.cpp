#include "resource_script.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "compile_error.h"
#include "generated_source.h"
#include "tevo/testing/temp_dir.h"

namespace tevo::rc {
namespace {

namespace fs = std::filesystem;
using tevo::testing::ReadFile;
using tevo::testing::TempDir;
using tevo::testing::WriteFile;

const Resource* Find(const ResourceSet& set, const ResourceId& type, const ResourceId& name,
                     std::uint16_t language) {
    for (const auto& resource : set.resources) {
        if (resource.type == type && resource.name == name && resource.language == language)
            return &resource;
    }
    return nullptr;
}

ResourceId Number(std::uint16_t n) {
    return ResourceId{n, {}};
}
ResourceId Text(const std::string& name) {
    return ResourceId{0, name};
}

std::vector<std::uint8_t> Bytes(const Resource* resource) {
    return resource == nullptr ? std::vector<std::uint8_t>()
                               : std::get<std::vector<std::uint8_t>>(resource->data);
}

// The string `index` (0 to 15) of a string bundle, or "<absent>".
std::wstring BundleString(const Resource* bundle, int index) {
    if (bundle == nullptr)
        return L"<no bundle>";
    const auto& units = std::get<std::vector<wchar_t>>(bundle->data);
    auto length_at = [&](size_t pos) {
        return static_cast<size_t>(static_cast<std::uint32_t>(units.at(pos)));
    };
    size_t pos = 0;
    for (int i = 0; i < index; ++i)
        pos += 1 + length_at(pos) + 1;
    const size_t length = length_at(pos);
    EXPECT_EQ(units.at(pos + 1 + length), L'\0');
    return length == 0 ? L"<absent>" : std::wstring(&units[pos + 1], length);
}

class ResourceScript : public ::testing::Test {
  protected:
    fs::path Write(const std::string& name, const std::string& bytes) {
        return WriteFile(dir_ / name, bytes);
    }
    ResourceSet Compile(const std::string& script, const std::vector<fs::path>& search = {}) {
        return CompileResourceScriptText(script, dir_ / "test.rc", search);
    }
    // The line of the error that compiling the script reports ("file:line" checked too).
    int ErrorLine(const std::string& script, const std::string& expected_text) {
        try {
            Compile(script);
        } catch (const CompileError& error) {
            EXPECT_EQ(error.file(), dir_ / "test.rc");
            EXPECT_NE(std::string(error.what()).find(expected_text), std::string::npos)
                << error.what();
            return error.line();
        }
        return -1;
    }

    TempDir dir_{"tevo-rc-test"};
};

TEST_F(ResourceScript, FilesNamesTypesAndLanguages) {
    const std::string blob("\0TLB\0\xFF\r\n", 8);
    Write("a.bin", blob);
    Write("text.txt", "text");
    const ResourceSet set = Compile(
        "// resources\n"
        "LANGUAGE 9, 1\n"
        "1 TYPELIB \"a.bin\"\n"
        "Settings RCDATA PRELOAD DISCARDABLE \"text.txt\"\n"
        "LANGUAGE 0x07, 0x01 /* German */\n"
        "2 \"Custom Type\" \"a.bin\"\n"
        "0x10 MANIFEST \"text.txt\"\n");
    ASSERT_EQ(set.resources.size(), 4u);
    EXPECT_EQ(Bytes(Find(set, Text("TYPELIB"), Number(1), 0x409)),
              std::vector<std::uint8_t>(blob.begin(), blob.end()));
    EXPECT_NE(Find(set, Number(kTypeRcData), Text("SETTINGS"), 0x409), nullptr);
    EXPECT_NE(Find(set, Text("CUSTOM TYPE"), Number(2), 0x407), nullptr);
    EXPECT_NE(Find(set, Number(kTypeManifest), Number(16), 0x407), nullptr);
    // Every file once, the script first.
    EXPECT_EQ(set.inputs,
              (std::vector<fs::path>{dir_ / "test.rc", dir_ / "a.bin", dir_ / "text.txt"}));
}

TEST_F(ResourceScript, StringTablesWithEscapesInBundlesOfSixteen) {
    const ResourceSet set = Compile(
        "STRINGTABLE\nBEGIN\n"
        "  40009 \"x\\ty\\n\"\n"
        "  40010, \"say \"\"hi\"\"\"\n"
        "  5 L\"\\x00FC\\u00DF\\U0001F600\"\n"
        "  6 \"\\101\\x42\\\\\\\"\"\n"
        "END\n"
        "STRINGTABLE LANGUAGE 7, 1 { 5 \"Gr\xC3\xBC\xC3\x9F"
        "e\" }\n");
    const Resource* high = Find(set, Number(kTypeString), Number(40009 / 16 + 1), 0);
    EXPECT_EQ(BundleString(high, 40009 % 16), L"x\ty\n");
    EXPECT_EQ(BundleString(high, 40010 % 16), L"say \"hi\"");
    EXPECT_EQ(BundleString(high, 0), L"<absent>");
    const Resource* low = Find(set, Number(kTypeString), Number(1), 0);
    EXPECT_EQ(BundleString(low, 5), L"\u00FC\u00DF\U0001F600");
    EXPECT_EQ(BundleString(low, 6), L"AB\\\"");
    EXPECT_EQ(BundleString(Find(set, Number(kTypeString), Number(1), 0x407), 5),
              L"Gr\u00FC\u00DFe");
}

TEST_F(ResourceScript, MessageFilesAreCompiledPerLanguage) {
    Write("msgs.mc",
          "LanguageNames=(German=0x407:MSG00407)\n"
          "MessageId=1\nLanguage=English\nOne\n.\nLanguage=German\nEins\n.\n");
    Write("raw.bin", "raw");
    const ResourceSet set = Compile("1 MESSAGETABLE \"msgs.mc\"\n2 MESSAGETABLE \"raw.bin\"\n");
    EXPECT_NE(Find(set, Number(kTypeMessageTable), Number(1), 0x409), nullptr);
    EXPECT_NE(Find(set, Number(kTypeMessageTable), Number(1), 0x407), nullptr);
    EXPECT_EQ(Bytes(Find(set, Number(kTypeMessageTable), Number(2), 0)),
              (std::vector<std::uint8_t>{'r', 'a', 'w'}));
}

TEST_F(ResourceScript, FilesAreLookedUpInTheSearchDirectories) {
    TempDir other("tevo-rc-search");
    WriteFile(other / "generated.tlb", "tlb");
    const ResourceSet set = Compile("1 TYPELIB \"generated.tlb\"\n", {other.path()});
    EXPECT_EQ(Bytes(Find(set, Text("TYPELIB"), Number(1), 0)),
              (std::vector<std::uint8_t>{'t', 'l', 'b'}));
    EXPECT_EQ(set.inputs.back(), other / "generated.tlb");
    EXPECT_EQ(ErrorLine("\n1 TYPELIB \"generated.tlb\"\n", "cannot find file 'generated.tlb'"), 2);
}

TEST_F(ResourceScript, MalformedScriptsAreRejectedWithTheirLine) {
    Write("a.bin", "a");
    EXPECT_EQ(ErrorLine("1 RCDATA \"a.bin\n", "string is not closed"), 1);
    EXPECT_EQ(ErrorLine("\n\n1 RCDATA \"a\\qb\"\n", "unknown escape sequence"), 3);
    EXPECT_EQ(ErrorLine("0 RCDATA \"a.bin\"\n", "not between 1 and 65535"), 1);
    EXPECT_EQ(ErrorLine("70000 RCDATA \"a.bin\"\n", "not between 1 and 65535"), 1);
    EXPECT_EQ(ErrorLine("1 RCDATA \"a.bin\"\n\n1 RCDATA \"a.bin\"\n", "already defined at line 1"),
              3);
    EXPECT_EQ(ErrorLine("STRINGTABLE {\n 1 \"a\"\n 1 \"b\"\n}\n", "already defined at line 2"), 3);
    EXPECT_EQ(ErrorLine("STRINGTABLE {\n 1 \"a\"\n", "not closed"), 1);
    EXPECT_EQ(ErrorLine("STRINGTABLE {\n 70000 \"a\"\n}\n", "not between 0 and 65535"), 2);
    EXPECT_EQ(ErrorLine("STRINGTABLE {\n 1 2\n}\n", "expected a quoted string"), 2);
    EXPECT_EQ(ErrorLine("1 ICON \"a.bin\"\n", "ICON is not supported"), 1);
    EXPECT_EQ(ErrorLine("1 RCDATA { 1, 2 }\n", "inline resource data"), 1);
    EXPECT_EQ(ErrorLine("1 RCDATA a.bin\n", "expected a quoted file name"), 1);
    EXPECT_EQ(ErrorLine("#include \"resource.h\"\n", "preprocessor"), 1);
    EXPECT_EQ(ErrorLine("\n/* open\n\n", "comment is not closed"), 2);
    EXPECT_EQ(ErrorLine("LANGUAGE 0x400, 1\n", "language id out of range"), 1);
    EXPECT_EQ(ErrorLine("1 RCDATA \"\\xC3\"\n", "not valid UTF-8"), 1);
    EXPECT_EQ(ErrorLine("1 RCDATA \"a.bin\"\n}\n", "unexpected"), 2);
    EXPECT_EQ(ErrorLine("1 RCDATA \"a.bin\" 0x1FFFFFFFF\n", "does not fit in 32 bits"), 1);
}

TEST_F(ResourceScript, MessageFileErrorsNameTheMessageFile) {
    Write("bad.mc", "MessageId=1\nLanguage=English\nno terminator\n");
    try {
        Compile("1 MESSAGETABLE \"bad.mc\"\n");
        FAIL() << "no error";
    } catch (const CompileError& error) {
        EXPECT_EQ(error.file(), dir_ / "bad.mc");
        EXPECT_EQ(error.line(), 2);
    }
}

// Runs tevo-rc; returns its exit status and what it printed on standard error.
int RunCompiler(const std::string& arguments, std::string* errors, const TempDir& dir) {
    const fs::path err = dir / "stderr.txt";
    const std::string command =
        std::string("'") + TEVO_RC_PROGRAM + "' " + arguments + " 2> '" + err.string() + "'";
    const int status = std::system(command.c_str());
    *errors = ReadFile(err);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(ResourceScript, ProgramReportsFileAndLineAndWritesNothing) {
    const fs::path script = Write("bad.rc", "// fine\n1 RCDATA \"missing.bin\"\n");
    const fs::path output = dir_ / "out.cpp";
    std::string errors;
    EXPECT_EQ(RunCompiler("-o '" + output.string() + "' '" + script.string() + "'", &errors, dir_),
              1);
    EXPECT_EQ(errors, script.string() + ":2: error: cannot find file 'missing.bin'\n");
    EXPECT_FALSE(fs::exists(output));
}

TEST_F(ResourceScript, ProgramWritesSourceAndDependencies) {
    TempDir include("tevo-rc-include");
    WriteFile(include / "lib.tlb", std::string("\0\1", 2));
    const fs::path script = Write("good.rc", "1 TYPELIB \"lib.tlb\"\nSTRINGTABLE { 1 \"one\" }\n");
    const fs::path output = dir_ / "out.cpp";
    const fs::path depfile = dir_ / "out.cpp.d";
    std::string errors;
    ASSERT_EQ(RunCompiler("-I '" + include.path().string() + "' -o '" + output.string() +
                              "' --depfile '" + depfile.string() + "' '" + script.string() + "'",
                          &errors, dir_),
              0)
        << errors;
    EXPECT_EQ(errors, "");
    const std::string source = ReadFile(output);
    EXPECT_NE(source.find("tevo::win::RegisterResourceTable(kResourceTable, 2)"),
              std::string::npos);
    EXPECT_NE(source.find("{\"TYPELIB\", 0, nullptr, 1, 0, kData0, 2u}"), std::string::npos);
    EXPECT_EQ(ReadFile(depfile), output.string() + ": " + script.string() + " " +
                                     (include / "lib.tlb").string() + "\n");
    EXPECT_EQ(RunCompiler("'" + script.string() + "'", &errors, dir_), 2);  // no -o
}

TEST(GeneratedSource, EscapesNamesAndDependencyPaths) {
    ResourceSet set;
    Resource resource;
    resource.type = ResourceId{0, "A\"B\\?\xC3\xBC"};
    resource.name = ResourceId{3, {}};
    resource.data = std::vector<std::uint8_t>{1};
    set.resources.push_back(resource);
    const std::string source = GenerateSource(set, "x.rc");
    EXPECT_NE(source.find("{\"A\\042B\\134\\077\\303\\274\", 0, nullptr, 3, 0, kData0, 1u}"),
              std::string::npos)
        << source;
    EXPECT_EQ(GenerateSource(ResourceSet{}, "x.rc").find("Register"), std::string::npos);
    EXPECT_EQ(GenerateDepfile("out dir/x.cpp", {"a#b.rc", "c$d"}),
              "out\\ dir/x.cpp: a\\#b.rc c$$d\n");
}

}  // namespace
}  // namespace tevo::rc

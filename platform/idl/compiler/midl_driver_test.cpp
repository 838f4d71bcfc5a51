#include "midl_driver.h"

#include <gtest/gtest.h>

#include <sstream>

#include "tevo/idl/typelib_format.h"
#include "tevo/testing/temp_dir.h"

namespace tevo::idl {
namespace {

using tevo::testing::ReadFile;
using tevo::testing::TempDir;
using tevo::testing::WriteFile;

constexpr const char* kBaseIdl = R"(
[object, uuid(F0000001-0000-0000-0000-000000000001)] interface IBase : IUnknown { HRESULT Go(); };
[uuid(F0000000-0000-0000-0000-000000000000), version(3.4)] library BaseLib { interface IBase; };
)";

constexpr const char* kUserIdl = R"(
[object, uuid(F0000002-0000-0000-0000-000000000002)] interface IUser : IBase { HRESULT Stop(); };
[uuid(F0000003-0000-0000-0000-000000000003), version(1.0)]
library UserLib { importlib("Base.dll"); interface IUser; };
)";

int Midl(const std::vector<std::string>& args, std::string& messages) {
    std::ostringstream err;
    const int code = RunMidl(args, err);
    messages = err.str();
    return code;
}

TEST(MidlDriverTest, WritesHeaderAndLibraryAndFindsImportsOnTheSearchPath) {
    TempDir dir;
    const auto base_idl = WriteFile(dir / "src/Base.idl", kBaseIdl);
    const auto user_idl = WriteFile(dir / "src/User.idl", kUserIdl);
    std::string messages;
    ASSERT_EQ(Midl({"-o", (dir / "out/base").string(), base_idl.string()}, messages), kMidlOk)
        << messages;
    EXPECT_TRUE(messages.empty()) << messages;
    EXPECT_NE(ReadFile(dir / "out/base/Base.h").find("struct IBase : public IUnknown"),
              std::string::npos);

    // Without the search path the import is not found...
    EXPECT_EQ(Midl({"-o", (dir / "out/user").string(), user_idl.string()}, messages),
              kMidlCompileError);
    EXPECT_NE(messages.find("User.idl:4:"), std::string::npos) << messages;
    EXPECT_NE(messages.find("cannot find Base.tlb"), std::string::npos) << messages;
    EXPECT_FALSE(std::filesystem::exists(dir / "out/user/User.h"));

    // ... with it, both outputs are written; -LDIR works as well as -L DIR.
    ASSERT_EQ(Midl({"-L" + (dir / "out/base").string(), "-o", (dir / "out/user").string(),
                    user_idl.string()},
                   messages),
              kMidlOk)
        << messages;
    Library lib;
    std::string error;
    ASSERT_TRUE(ReadTypeLibFile((dir / "out/user/User.tlb").string(), lib, error)) << error;
    EXPECT_EQ(lib.name, "UserLib");
    ASSERT_EQ(lib.imports.size(), 1u);
    EXPECT_EQ(lib.imports[0].major_version, 3);
    EXPECT_EQ(lib.types.at(0).funcs.at(0).member_id, 0x60020000);
    const std::string header = ReadFile(dir / "out/user/User.h");
    EXPECT_NE(header.find("#include \"Base.h\""), std::string::npos) << header;
    EXPECT_FALSE(std::filesystem::exists(dir / "out/user/User.h.tmp"));
}

TEST(MidlDriverTest, ExplicitOutputPaths) {
    TempDir dir;
    const auto idl = WriteFile(dir / "Base.idl", kBaseIdl);
    std::string messages;
    ASSERT_EQ(Midl({"--header", (dir / "h/x.h").string(), "--tlb", (dir / "t/y.tlb").string(),
                    idl.string()},
                   messages),
              kMidlOk)
        << messages;
    EXPECT_TRUE(std::filesystem::exists(dir / "h/x.h"));
    EXPECT_TRUE(std::filesystem::exists(dir / "t/y.tlb"));
}

TEST(MidlDriverTest, CompileErrorsKeepOldOutputsUntouched) {
    TempDir dir;
    const auto idl = WriteFile(dir / "Base.idl", kBaseIdl);
    std::string messages;
    ASSERT_EQ(Midl({"-o", dir.path().string(), idl.string()}, messages), kMidlOk);
    const std::string old_header = ReadFile(dir / "Base.h");
    WriteFile(dir / "Base.idl",
              "[object, uuid(F0000001-0000-0000-0000-000000000001)]\ninterface IBase : IUnknown "
              "{\n  HRESULT Go(;\n};\n");
    EXPECT_EQ(Midl({"-o", dir.path().string(), idl.string()}, messages), kMidlCompileError);
    EXPECT_EQ(messages, idl.string() + ":3:14: expected a type, found ';'\n");
    EXPECT_EQ(ReadFile(dir / "Base.h"), old_header);
}

TEST(MidlDriverTest, UsageErrors) {
    std::string messages;
    EXPECT_EQ(Midl({}, messages), kMidlUsageError);
    EXPECT_NE(messages.find("no IDL file"), std::string::npos);
    EXPECT_EQ(Midl({"-o"}, messages), kMidlUsageError);
    EXPECT_NE(messages.find("-o needs a value"), std::string::npos);
    EXPECT_EQ(Midl({"--bogus", "x.idl"}, messages), kMidlUsageError);
    EXPECT_NE(messages.find("unknown option --bogus"), std::string::npos);
    EXPECT_EQ(Midl({"a.idl", "b.idl"}, messages), kMidlUsageError);
    EXPECT_EQ(Midl({"--help"}, messages), kMidlOk);
    EXPECT_NE(messages.find("usage: tevo-midl"), std::string::npos);
    EXPECT_EQ(Midl({"/nonexistent/x.idl"}, messages), kMidlCompileError);
    EXPECT_EQ(messages, "/nonexistent/x.idl: cannot open the file\n");
}

TEST(MidlDriverTest, TypeLibraryNeedsALibraryBlock) {
    TempDir dir;
    const auto idl = WriteFile(
        dir / "NoLib.idl",
        "[object, uuid(F0000001-0000-0000-0000-000000000001)] interface I : IUnknown {};");
    std::string messages;
    EXPECT_EQ(Midl({"-o", dir.path().string(), idl.string()}, messages), kMidlOk) << messages;
    EXPECT_TRUE(std::filesystem::exists(dir / "NoLib.h"));
    EXPECT_FALSE(std::filesystem::exists(dir / "NoLib.tlb"));
    EXPECT_EQ(Midl({"--tlb", (dir / "x.tlb").string(), idl.string()}, messages), kMidlCompileError);
    EXPECT_NE(messages.find("no library block"), std::string::npos);
}

}  // namespace
}  // namespace tevo::idl

#include "tevo/idl/typelib_format.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "../testdata/sample_idl.h"
#include "tevo/idl/idl_compiler.h"
#include "tevo/idl/stdole2.h"
#include "tevo/testing/temp_dir.h"

namespace tevo::idl {
namespace {

Library SampleLibrary() {
    CompiledIdl idl;
    Diagnostic error;
    EXPECT_TRUE(CompileIdl(testing::kSampleIdl, "sample.idl", {}, idl, error)) << error.ToString();
    return idl.library;
}

std::vector<std::uint8_t> Bytes(const Library& lib) {
    std::vector<std::uint8_t> bytes;
    std::string error;
    EXPECT_TRUE(WriteTypeLib(lib, bytes, error)) << error;
    return bytes;
}

// Recomputes the header's checksum, so that damage reaches the structural checks behind it.
void FixChecksum(std::vector<std::uint8_t>& bytes) {
    const std::uint32_t crc = Crc32(bytes.data() + kHeaderSize, bytes.size() - kHeaderSize);
    for (int i = 0; i < 4; ++i) {
        bytes[16 + i] = static_cast<std::uint8_t>(crc >> (8 * i));
    }
}

TEST(TypeLibFormatTest, RoundTripKeepsEveryField) {
    const Library lib = SampleLibrary();
    const std::vector<std::uint8_t> bytes = Bytes(lib);
    Library back;
    std::string error;
    ASSERT_TRUE(ReadTypeLib(bytes.data(), bytes.size(), back, error)) << error;
    EXPECT_EQ(back, lib);
    // Spot checks of what the comparison covers: absent names stay absent, blanks stay.
    const TypeInfo& widget = back.types.at(static_cast<std::size_t>(back.FindType("IWidget")));
    EXPECT_EQ(widget.doc.help_string, "Widget interface ");
    EXPECT_FALSE(widget.funcs.at(1).params.at(0).name.has_value());
    EXPECT_FALSE(widget.funcs.at(3).doc.help_string.has_value());
    // Writing is deterministic.
    EXPECT_EQ(Bytes(back), bytes);
}

TEST(TypeLibFormatTest, RoundTripOfBuiltInStdoleAndThroughFiles) {
    tevo::testing::TempDir dir;
    const std::string path = (dir / "stdole2.tlb").string();
    std::string error;
    ASSERT_TRUE(WriteTypeLibFile(path, Stdole2(), error)) << error;
    Library back;
    ASSERT_TRUE(ReadTypeLibFile(path, back, error)) << error;
    EXPECT_EQ(back, Stdole2());
    EXPECT_FALSE(ReadTypeLibFile((dir / "missing.tlb").string(), back, error));
    EXPECT_NE(error.find("cannot open"), std::string::npos);
}

TEST(TypeLibFormatTest, HeaderIsMagicVersionSizeAndChecksum) {
    const std::vector<std::uint8_t> bytes = Bytes(SampleLibrary());
    ASSERT_GT(bytes.size(), kHeaderSize);
    EXPECT_EQ(std::memcmp(bytes.data(), "TEVOTLB\x1a", 8), 0);
    EXPECT_EQ(bytes[8] | (bytes[9] << 8), kFormatMajor);
    const std::uint32_t size =
        bytes[12] | (bytes[13] << 8) | (bytes[14] << 16) | (std::uint32_t{bytes[15]} << 24);
    EXPECT_EQ(size, bytes.size() - kHeaderSize);
}

TEST(TypeLibFormatTest, RejectsForeignAndNewerFiles) {
    std::vector<std::uint8_t> bytes = Bytes(SampleLibrary());
    Library back;
    std::string error;

    std::vector<std::uint8_t> foreign = bytes;
    foreign[0] = 'M';
    EXPECT_FALSE(ReadTypeLib(foreign.data(), foreign.size(), back, error));
    EXPECT_NE(error.find("bad magic"), std::string::npos) << error;

    std::vector<std::uint8_t> newer = bytes;
    newer[8] = kFormatMajor + 1;
    EXPECT_FALSE(ReadTypeLib(newer.data(), newer.size(), back, error));
    EXPECT_NE(error.find("unsupported format version 2.0"), std::string::npos) << error;

    // A later minor version may append data that this reader skips.
    std::vector<std::uint8_t> extended = bytes;
    extended[10] = kFormatMinor + 1;
    extended.push_back(0xAB);
    const std::uint32_t size = static_cast<std::uint32_t>(extended.size() - kHeaderSize);
    for (int i = 0; i < 4; ++i) {
        extended[12 + i] = static_cast<std::uint8_t>(size >> (8 * i));
    }
    FixChecksum(extended);
    EXPECT_TRUE(ReadTypeLib(extended.data(), extended.size(), back, error)) << error;
    EXPECT_EQ(back, SampleLibrary());
    // ... but the same bytes under the current minor version are damage.
    extended[10] = kFormatMinor;
    FixChecksum(extended);
    EXPECT_FALSE(ReadTypeLib(extended.data(), extended.size(), back, error));
    EXPECT_NE(error.find("unexpected bytes"), std::string::npos) << error;

    EXPECT_FALSE(ReadTypeLib(nullptr, 0, back, error));
}

TEST(TypeLibFormatTest, EveryTruncationIsRejected) {
    const std::vector<std::uint8_t> bytes = Bytes(SampleLibrary());
    for (std::size_t length = 0; length < bytes.size(); ++length) {
        // A copy of exactly `length` bytes, so that the sanitizers see any read past it.
        const std::vector<std::uint8_t> prefix(bytes.begin(),
                                               bytes.begin() + static_cast<std::ptrdiff_t>(length));
        Library back;
        std::string error;
        EXPECT_FALSE(ReadTypeLib(prefix.data(), prefix.size(), back, error)) << length;
        EXPECT_FALSE(error.empty());
        // With the header patched to claim exactly the bytes present, the structure itself
        // must be found cut short.
        if (length > kHeaderSize) {
            std::vector<std::uint8_t> claimed = prefix;
            const auto size = static_cast<std::uint32_t>(length - kHeaderSize);
            for (int i = 0; i < 4; ++i) {
                claimed[12 + i] = static_cast<std::uint8_t>(size >> (8 * i));
            }
            FixChecksum(claimed);
            EXPECT_FALSE(ReadTypeLib(claimed.data(), claimed.size(), back, error)) << length;
        }
    }
}

TEST(TypeLibFormatTest, ByteFlipsAreRejectedOrReadConsistently) {
    const Library original = SampleLibrary();
    const std::vector<std::uint8_t> bytes = Bytes(original);
    std::mt19937 random(20240611);
    int rejected_by_checksum = 0;
    int rejected_by_structure = 0;
    int accepted = 0;
    for (int round = 0; round < 3000; ++round) {
        std::vector<std::uint8_t> damaged = bytes;
        const int flips = 1 + static_cast<int>(random() % 4);
        for (int f = 0; f < flips; ++f) {
            const std::size_t at = kHeaderSize + random() % (bytes.size() - kHeaderSize);
            damaged[at] ^= static_cast<std::uint8_t>(1 + random() % 255);
        }
        Library back;
        std::string error;
        // The checksum catches the damage...
        if (!ReadTypeLib(damaged.data(), damaged.size(), back, error)) {
            ++rejected_by_checksum;
        }
        // ... and behind it every structural check holds on its own.
        FixChecksum(damaged);
        if (!ReadTypeLib(damaged.data(), damaged.size(), back, error)) {
            ++rejected_by_structure;
            EXPECT_FALSE(error.empty());
            continue;
        }
        // Damage that still reads (a changed name, a flag) must give a library that is
        // valid and writes back to the same bytes.
        ++accepted;
        std::string check;
        EXPECT_TRUE(ValidateLibrary(back, check)) << check;
        std::vector<std::uint8_t> again;
        ASSERT_TRUE(WriteTypeLib(back, again, check)) << check;
        Library reread;
        ASSERT_TRUE(ReadTypeLib(again.data(), again.size(), reread, check)) << check;
        EXPECT_EQ(Bytes(reread), again);
    }
    EXPECT_EQ(rejected_by_checksum, 3000);
    EXPECT_GT(rejected_by_structure, 0);
    EXPECT_GT(accepted, 0);
}

TEST(TypeLibFormatTest, HugeCountsAreRefusedBeforeAllocating) {
    std::vector<std::uint8_t> bytes = Bytes(SampleLibrary());
    // The string count is the first payload word.
    for (int i = 0; i < 4; ++i) {
        bytes[kHeaderSize + i] = 0xFF;
    }
    FixChecksum(bytes);
    Library back;
    std::string error;
    EXPECT_FALSE(ReadTypeLib(bytes.data(), bytes.size(), back, error));
    EXPECT_NE(error.find("exceeds what the file holds"), std::string::npos) << error;
}

TEST(TypeLibFormatTest, OneLongStringUsedOverAndOverIsRefused) {
    // The file holds the string once and names it 2000 times, four bytes per use: read
    // naively, 40 kB of file would become 200 MB of copies.
    Library lib;
    lib.name = "Big";
    TypeInfo itf;
    itf.name = "IBig";
    itf.kind = TypeKind::kInterface;
    itf.vtable_size = static_cast<std::uint16_t>((3 + 200) * kPointerSize);
    const std::string long_name(100000, 'x');
    for (int f = 0; f < 200; ++f) {
        Func func;
        func.name = "F" + std::to_string(f);
        func.vtable_offset = static_cast<std::int16_t>((3 + f) * kPointerSize);
        func.return_type = TypeDesc::Of(VarType::kHresult);
        for (int p = 0; p < 10; ++p) {
            func.params.push_back(
                Param{long_name, kParamIn, TypeDesc::Of(VarType::kI4), std::nullopt});
        }
        itf.funcs.push_back(func);
    }
    lib.types.push_back(itf);
    const std::vector<std::uint8_t> bytes = Bytes(lib);
    EXPECT_LT(bytes.size(), 200000u);
    Library back;
    std::string error;
    EXPECT_FALSE(ReadTypeLib(bytes.data(), bytes.size(), back, error));
    EXPECT_NE(error.find("used more often"), std::string::npos) << error;

    // The same library with a short name reads back.
    for (Func& func : lib.types[0].funcs) {
        for (Param& param : func.params) {
            param.name = "Value";
        }
    }
    const std::vector<std::uint8_t> small = Bytes(lib);
    EXPECT_TRUE(ReadTypeLib(small.data(), small.size(), back, error)) << error;
    EXPECT_EQ(back, lib);
}

TEST(TypeLibFormatTest, InconsistentModelsAreNotWritten) {
    const Library good = SampleLibrary();
    struct Case {
        const char* what;
        void (*damage)(Library&);
        const char* message;
    };
    const Case cases[] = {
        {"local ref out of range",
         [](Library& lib) { lib.types[1].funcs[1].params[0].type.ref.index = 99; }, "missing type"},
        {"imported ref out of range",
         [](Library& lib) { lib.types[1].impl_types[0].ref.index = 99; }, "missing imported type"},
        {"imported type names no library", [](Library& lib) { lib.imported_types[0].library = 5; },
         "names library"},
        {"base is an enumeration",
         [](Library& lib) {
             lib.types[1].impl_types[0].ref = TypeRef{TypeRef::Scope::kLocal, 0};
         },
         "not an interface"},
        {"wrapper is not a pointer",
         [](Library& lib) { lib.types[1].funcs[0].params[0].type.wrappers = {VarType::kI4}; },
         "VT_PTR"},
        {"base type unknown",
         [](Library& lib) { lib.types[1].funcs[0].return_type.base = VarType::kPtr; },
         "unknown base type"},
        {"slot outside vtable", [](Library& lib) { lib.types[1].funcs[0].vtable_offset = 8 * 40; },
         "outside the vtable"},
        {"unaligned slot", [](Library& lib) { lib.types[1].funcs[0].vtable_offset = 27; },
         "outside the vtable"},
        {"default flag without value",
         [](Library& lib) { lib.types[1].funcs[0].params[4].default_value.reset(); }, "disagree"},
        {"constant out of range",
         [](Library& lib) { lib.types[0].vars[0].value.integer = 1ll << 40; }, "out of range"},
        {"optional count too high",
         [](Library& lib) { lib.types[1].funcs[0].optional_param_count = 9; },
         "optional parameter count"},
        {"functions on an enumeration", [](Library& lib) { lib.types[0].funcs.push_back(Func{}); },
         "not an interface"},
        {"invoke kind unknown",
         [](Library& lib) { lib.types[1].funcs[0].invoke_kind = static_cast<InvokeKind>(3); },
         "invoke kind"},
    };
    for (const Case& c : cases) {
        Library lib = good;
        c.damage(lib);
        std::vector<std::uint8_t> bytes;
        std::string error;
        EXPECT_FALSE(WriteTypeLib(lib, bytes, error)) << c.what;
        EXPECT_TRUE(bytes.empty());
        EXPECT_NE(error.find(c.message), std::string::npos) << c.what << ": " << error;
    }
}

}  // namespace
}  // namespace tevo::idl

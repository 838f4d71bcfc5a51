// Faults of the processes that write the package's files: several processes writing the
// registry and the configuration store at once, and writers of the registry, the store and
// the help collection registry killed with SIGKILL while they save. Every write that was
// reported done must be there, every file must be the old or the new complete content, and
// the next program run must read it.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "fault_summary.h"
#include "help_registry_bulk.h"
#include "tevo/platform.h"
#include "tevo/quill.h"
#include "tevo/testing/run_program.h"
#include "tevo/testing/temp_dir.h"
#include "tevo/win/sysroot.h"

namespace tevo::reliability {
namespace {

namespace fs = std::filesystem;
using tevo::testing::ReadFile;
using tevo::testing::RunProgram;
using tevo::testing::WriteFile;

constexpr std::chrono::seconds kProgramLimit{60};
constexpr int kWriters = 4;
constexpr int kWritesEach = 6;
constexpr int kMinimumKills = 5;

// Runs the commands at once, each as its own process, and expects each to succeed.
void RunAtOnce(const std::vector<std::vector<std::string>>& commands) {
    std::vector<std::unique_ptr<ChildProcess>> children;
    for (const auto& command : commands) {
        children.push_back(std::make_unique<ChildProcess>("/bin/sh", command));
        ASSERT_TRUE(children.back()->started());
    }
    for (auto& child : children) {
        EXPECT_EQ(child->WaitExit(kProgramLimit), 0) << "a writer failed or did not end";
    }
}

// One shell loop per writer that runs `program` with the arguments of one write
// `kWritesEach` times: $1 is the program, $2 the writer's number, $i the write's.
std::vector<std::vector<std::string>> WriterLoops(const std::string& program,
                                                  const std::string& write_arguments) {
    const std::string script = "i=0; while [ \"$i\" -lt " + std::to_string(kWritesEach) +
                               " ]; do \"$1\" " + write_arguments +
                               " >/dev/null || exit 1; i=$((i+1)); done";
    std::vector<std::vector<std::string>> loops;
    loops.reserve(kWriters);
    for (int writer = 0; writer < kWriters; ++writer) {
        loops.push_back(ShellCommand(script, {program, std::to_string(writer)}));
    }
    return loops;
}

std::string WriteName(int writer, int write) {
    return "W" + std::to_string(writer) + "_" + std::to_string(write);
}

std::string RegistryString(const char* key, const std::string& name) {
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_READ, &handle) != ERROR_SUCCESS) {
        return "<no key>";
    }
    char data[256] = {};
    DWORD size = sizeof data - 1;
    DWORD type = 0;
    const LONG read = RegQueryValueExA(handle, name.c_str(), nullptr, &type,
                                       reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(handle);
    return read == ERROR_SUCCESS && type == REG_SZ ? std::string(data) : "<no value>";
}

TEST(WriterFaults, ConcurrentRegistryWritersFromSeveralProcesses) {
    RunAtOnce(WriterLoops(TEVO_REG_PROGRAM,
                          "add 'HKCU\\Software\\Faults' /v \"W$2_$i\" /d \"data-$2-$i\" /f"));
    for (int writer = 0; writer < kWriters; ++writer) {
        for (int write = 0; write < kWritesEach; ++write) {
            EXPECT_EQ(RegistryString("Software\\Faults", WriteName(writer, write)),
                      "data-" + std::to_string(writer) + "-" + std::to_string(write));
        }
    }
    // The hive parses for the next program too.
    const auto query = RunProgram(TEVO_REG_PROGRAM, {"query", "HKCU\\Software\\Faults"});
    EXPECT_EQ(query.exit_code, 0) << query.err;
    EXPECT_NE(query.out.find("W3_5"), std::string::npos);
    RecordOutcome(std::to_string(kWriters * kWritesEach) + " values from " +
                  std::to_string(kWriters) + " concurrent reg processes all present");
}

TEST(WriterFaults, ConcurrentConfigurationStoreWritersFromSeveralProcesses) {
    tevo::testing::TempDir dir;
    const std::string store = (dir / "store.xml").string();
    RunAtOnce(
        WriterLoops(TEVO_IVI_CONFIG_PROGRAM,
                    "--store '" + store +
                        "' add hardware-asset \"W$2_$i\" --resource \"TCPIP0::h$2-$i::INSTR\""));
    const auto list =
        RunProgram(TEVO_IVI_CONFIG_PROGRAM, {"--store", store, "list", "hardware-asset"});
    ASSERT_EQ(list.exit_code, 0) << list.err;
    for (int writer = 0; writer < kWriters; ++writer) {
        for (int write = 0; write < kWritesEach; ++write) {
            EXPECT_NE(list.out.find(WriteName(writer, write) + "\n"), std::string::npos)
                << WriteName(writer, write);
        }
    }
    const auto show =
        RunProgram(TEVO_IVI_CONFIG_PROGRAM, {"--store", store, "show", "hardware-asset", "W2_4"});
    EXPECT_NE(show.out.find("TCPIP0::h2-4::INSTR"), std::string::npos) << show.out;
    RecordOutcome(std::to_string(kWriters * kWritesEach) + " entries from " +
                  std::to_string(kWriters) + " concurrent ivi-config processes all present");
}

// ---- Kills during saves.

// A file's two complete forms: before the writer's change and after it.
struct FileForms {
    fs::path file;
    std::string before;
    std::string after;
};

// What the kills found.
struct KillTally {
    int kills = 0;        // processes ended by the kill
    int left_before = 0;  // ... that left the old content
    int left_after = 0;   // ... that left the new content
};

// Kills writers at varying points: each round restores the old content, starts a writer
// with `start`, lets `ready` wait for its progress (if any), waits a random time up to
// `spread`, kills it, and checks that the file holds one of its two forms and that
// `next_run_reads` accepts it.
template <class Start, class Ready, class NextRun>
KillTally KillAtVaryingPoints(const FileForms& forms, std::chrono::microseconds spread, Start start,
                              Ready ready, NextRun next_run_reads) {
    KillTally tally;
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    std::uniform_int_distribution<long long> delay(0, spread.count());
    // About six seconds of rounds, longer when slow writers (sanitizer builds) have not yet
    // been killed often enough, but never beyond a minute.
    const auto begin = std::chrono::steady_clock::now();
    const auto going_on = [&] {
        const auto elapsed = std::chrono::steady_clock::now() - begin;
        return elapsed < std::chrono::seconds(60) &&
               (elapsed < std::chrono::seconds(6) || tally.kills < kMinimumKills);
    };
    for (int round = 0; round < 25 && going_on(); ++round) {
        WriteFile(forms.file, forms.before);
        std::unique_ptr<ChildProcess> writer = start();
        EXPECT_TRUE(writer->started());
        if (!writer->started() || !ready(*writer)) {
            ADD_FAILURE() << "the writer did not get going";
            break;
        }
        // Not a wait for anything: the moment of the kill is what varies.
        std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
        tally.kills += writer->Kill() ? 1 : 0;
        const std::string now = ReadFile(forms.file);
        const bool before = now == forms.before;
        const bool after = now == forms.after;
        EXPECT_TRUE(before || after)
            << "round " << round << ": " << now.size() << " bytes, " << forms.before.size()
            << " before, " << forms.after.size() << " after";
        tally.left_before += before ? 1 : 0;
        tally.left_after += after ? 1 : 0;
        EXPECT_TRUE(next_run_reads()) << "round " << round;
        if (::testing::Test::HasFailure()) {
            break;
        }
    }
    EXPECT_GE(tally.kills, kMinimumKills);
    return tally;
}

std::string Describe(const KillTally& tally) {
    return std::to_string(tally.kills) + " kills, file old " + std::to_string(tally.left_before) +
           " times, new " + std::to_string(tally.left_after) + " times, never damaged";
}

bool NoMark(ChildProcess& /*writer*/) {
    return true;
}

// How long a run of the program takes to its end, as the spread of the kill moments.
std::chrono::microseconds TimedRun(const std::string& program,
                                   const std::vector<std::string>& args) {
    const auto begin = std::chrono::steady_clock::now();
    const auto run = RunProgram(program, args);
    EXPECT_EQ(run.exit_code, 0) << run.err;
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() -
                                                                 begin);
}

TEST(WriterFaults, SigkillDuringRegistrySave) {
    // A large hive, so that a save takes a while.
    std::string bulk = "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Faults\\Bulk]\n";
    for (int i = 0; i < 2000; ++i) {
        bulk += "\"Value" + std::to_string(i) + "\"=\"" + std::string(40, 'v') + "\"\n";
    }
    const fs::path import = WriteFile(tevo::testing::CurrentSystemRoot() / "bulk.reg", bulk + "\n");
    ASSERT_EQ(RunProgram(TEVO_REG_PROGRAM, {"import", import.string()}).exit_code, 0);
    const std::vector<std::string> change = {
        "add", "HKCU\\Software\\Faults", "/v", "Toggle", "/d", "new", "/f"};
    FileForms forms;
    forms.file = tevo::win::RegistryDirectory() / "HKCU.reg";
    forms.before = ReadFile(forms.file);
    ASSERT_FALSE(forms.before.empty());
    const auto spread = TimedRun(TEVO_REG_PROGRAM, change);
    forms.after = ReadFile(forms.file);
    ASSERT_NE(forms.after, forms.before);

    std::vector<std::string> args = change;
    const KillTally tally = KillAtVaryingPoints(
        forms, spread, [&] { return std::make_unique<ChildProcess>(TEVO_REG_PROGRAM, args); },
        NoMark,
        [] {
            return RunProgram(TEVO_REG_PROGRAM,
                              {"query", "HKCU\\Software\\Faults\\Bulk", "/v", "Value1999"})
                       .exit_code == 0;
        });
    RecordOutcome("reg add: " + Describe(tally));
}

TEST(WriterFaults, SigkillDuringConfigurationStoreSave) {
    tevo::testing::TempDir dir;
    const std::string store = (dir / "store.xml").string();
    // A store of some size, so that a save takes a while (long descriptions rather than many
    // entries, which 'run' is slow to add).
    std::string commands;
    for (int i = 0; i < 10; ++i) {
        commands += "add hardware-asset Bulk" + std::to_string(i) + " --resource TCPIP0::bulk" +
                    std::to_string(i) + "::INSTR --description '" + std::string(2400, 'd') + "'\n";
    }
    const auto filled = RunProgram(TEVO_IVI_CONFIG_PROGRAM, {"--store", store, "run"}, commands);
    ASSERT_EQ(filled.exit_code, 0) << filled.err;
    const std::vector<std::string> change = {
        "--store", store, "add", "hardware-asset", "Extra", "--resource", "TCPIP0::extra::INSTR"};
    FileForms forms;
    forms.file = store;
    forms.before = ReadFile(forms.file);
    const auto spread = TimedRun(TEVO_IVI_CONFIG_PROGRAM, change);
    forms.after = ReadFile(forms.file);
    ASSERT_NE(forms.after, forms.before);

    const KillTally tally = KillAtVaryingPoints(
        forms, spread,
        [&] { return std::make_unique<ChildProcess>(TEVO_IVI_CONFIG_PROGRAM, change); }, NoMark,
        [&] {
            const auto show = RunProgram(TEVO_IVI_CONFIG_PROGRAM,
                                         {"--store", store, "show", "hardware-asset", "Bulk9"});
            return show.exit_code == 0 &&
                   show.out.find("TCPIP0::bulk9::INSTR") != std::string::npos;
        });
    RecordOutcome("ivi-config add: " + Describe(tally));
}

constexpr const char* kHelpRegistry = R"(<?xml version="1.0" encoding="UTF-8"?>
<HelpCollectionRegistry>
	<Version value="1.0"/>
	<Collections>
		<Collection>
			<ColNum value="1"/>
			<ColName value="C:\Help\Samples.col"/>
		</Collection>
	</Collections>
	<DocCompilations>
		<DocCompilation>
			<DocCompId value="analyzer-guide"/>
			<DocCompLanguage value="1033"/>
		</DocCompilation>
	</DocCompilations>
</HelpCollectionRegistry>
)";

// The registry file as Quill saves it without (`before`) and with the bulk documents.
void SavedHelpRegistryForms(FileForms* forms) {
    unsigned long registry = 0;
    ASSERT_EQ(QuillOpenDocInfo(forms->file.c_str(), &registry), QUILL_OK);
    ASSERT_EQ(QuillSaveDocInfo(registry), QUILL_OK);
    forms->before = ReadFile(forms->file);
    ASSERT_TRUE(AddBulkDocuments(registry));
    ASSERT_EQ(QuillSaveDocInfo(registry), QUILL_OK);
    forms->after = ReadFile(forms->file);
    ASSERT_TRUE(RemoveBulkDocuments(registry));
    ASSERT_EQ(QuillSaveDocInfo(registry), QUILL_OK);
    EXPECT_EQ(ReadFile(forms->file), forms->before);
    QuillCloseDocInfo(registry);
}

bool HelpRegistryReads(const fs::path& file) {
    unsigned long registry = 0;
    if (QuillOpenDocInfo(file.c_str(), &registry) != QUILL_OK) {
        return false;
    }
    unsigned long doc = 0;
    const bool found = QuillFindDoc(registry, "analyzer-guide", &doc) == QUILL_OK;
    if (found) {
        QuillCloseDoc(doc);
    }
    QuillCloseDocInfo(registry);
    return found;
}

TEST(WriterFaults, SigkillDuringHelpRegistrySave) {
    FileForms forms;
    forms.file = WriteFile(tevo::testing::CurrentSystemRoot() / "hhcolreg.dat", kHelpRegistry);
    ASSERT_NO_FATAL_FAILURE(SavedHelpRegistryForms(&forms));
    ASSERT_GT(forms.after.size(), forms.before.size() + 10000);

    // The spread: one save cycle of the loop, timed from mark to mark.
    std::chrono::microseconds spread{0};
    {
        WriteFile(forms.file, forms.before);
        ChildProcess loop(TEVO_HELP_REGISTRY_SAVE_LOOP, {forms.file.string()});
        ASSERT_TRUE(loop.ReadMark(kProgramLimit));
        const auto begin = std::chrono::steady_clock::now();
        ASSERT_TRUE(loop.ReadMark(kProgramLimit));
        ASSERT_TRUE(loop.ReadMark(kProgramLimit));
        spread = std::chrono::duration_cast<std::chrono::microseconds>(
            std::chrono::steady_clock::now() - begin);
    }
    std::mt19937 random(std::random_device{}());
    const KillTally tally = KillAtVaryingPoints(
        forms, spread,
        [&] {
            return std::make_unique<ChildProcess>(TEVO_HELP_REGISTRY_SAVE_LOOP,
                                                  std::vector<std::string>{forms.file.string()});
        },
        [&](ChildProcess& writer) {
            // One or two saves first, so that the kill comes in the middle of the loop.
            const int saves = std::uniform_int_distribution<int>(1, 2)(random);
            for (int i = 0; i < saves; ++i) {
                if (!writer.ReadMark(kProgramLimit)) {
                    return false;
                }
            }
            return true;
        },
        [&] { return HelpRegistryReads(forms.file); });
    RecordOutcome("help registry save loop: " + Describe(tally));
}

}  // namespace
}  // namespace tevo::reliability

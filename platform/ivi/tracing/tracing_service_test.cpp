#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tevo/TraceRuntime.h"
#include "tevo/com/com_ptr.h"
#include "tevo/com/holders.h"
#include "tevo/testing/temp_dir.h"
#include "tevo/win/windows.h"
#include "trace_log.h"

namespace tevo::ivi::tracing {
namespace {

using tevo::com::Bstr;
using tevo::com::ComPtr;

// Sets TEVO_TRACE_FILE for the life of the object (unset: the default log).
class TraceFileVariable {
  public:
    explicit TraceFileVariable(const std::string* value) {
        if (const char* old = std::getenv("TEVO_TRACE_FILE")) {
            old_ = old;
            had_old_ = true;
        }
        if (value != nullptr) {
            setenv("TEVO_TRACE_FILE", value->c_str(), 1);
        } else {
            unsetenv("TEVO_TRACE_FILE");
        }
    }
    ~TraceFileVariable() {
        if (had_old_) {
            setenv("TEVO_TRACE_FILE", old_.c_str(), 1);
        } else {
            unsetenv("TEVO_TRACE_FILE");
        }
    }
    TraceFileVariable(const TraceFileVariable&) = delete;
    TraceFileVariable& operator=(const TraceFileVariable&) = delete;

  private:
    std::string old_;
    bool had_old_ = false;
};

std::vector<std::string> ReadLines(const std::filesystem::path& path) {
    std::istringstream in(tevo::testing::ReadFile(path));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

const std::regex kRecord(R"((\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}) \[(\d+)\] (.*))");

// The text of a record, after checking its time stamp and process id prefix.
std::string RecordText(const std::string& line, pid_t pid = getpid()) {
    std::smatch match;
    if (!std::regex_match(line, match, kRecord)) {
        ADD_FAILURE() << "not a trace record: " << line;
        return {};
    }
    EXPECT_EQ(match[2].str(), std::to_string(pid)) << line;
    return match[3].str();
}

ComPtr<ITraceSink> CreateService() {
    ComPtr<ITraceSink> sink;
    EXPECT_EQ(CoCreateInstance(CLSID_TracingService, nullptr, CLSCTX_INPROC_SERVER, IID_ITraceSink,
                               reinterpret_cast<void**>(&sink)),
              S_OK);
    return sink;
}

LONG RegisterWith(ITraceSink* sink) {
    Bstr name(L"Tests");
    Bstr view(L"");
    SAFEARRAY* events = nullptr;
    SAFEARRAY* latencies = nullptr;
    SAFEARRAY* orders = nullptr;
    SAFEARRAY* logs = nullptr;
    LONG cookie = -1;
    EXPECT_EQ(sink->Register(0, 0, 0, name.Get(), name.Get(), view.Get(), &events, &latencies,
                             &orders, &logs, &cookie),
              S_OK);
    EXPECT_EQ(events, nullptr);
    EXPECT_EQ(logs, nullptr);
    return cookie;
}

std::string RegistryValue(const std::string& key, const char* name) {
    char value[1024] = {};
    DWORD size = sizeof value;
    if (RegGetValueA(HKEY_CLASSES_ROOT, key.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &size) !=
        ERROR_SUCCESS) {
        return "<missing>";
    }
    return value;
}

TEST(TracingServiceTest, NewSystemRootHasTheServiceRegisteredAsInProcessServerOfEitherModel) {
    const std::string key = "CLSID\\{07ADA726-FEC7-4F1E-9CAF-A481F454F340}\\InprocServer32";
    EXPECT_EQ(RegistryValue(key, "ThreadingModel"), "Both");
    const std::filesystem::path module = RegistryValue(key, nullptr);
    EXPECT_EQ(module.filename(), "libtevotracing.so");
    EXPECT_TRUE(std::filesystem::exists(module)) << module;
}

TEST(TracingServiceTest, WritesEachLineWithTimeAndProcessToTheNamedLog) {
    tevo::testing::TempDir dir;
    const std::string log = (dir / "calls.log").string();
    TraceFileVariable variable(&log);
    ComPtr<ITraceSink> sink = CreateService();
    ASSERT_TRUE(sink);
    const LONG first = RegisterWith(sink.Get());
    const LONG second = RegisterWith(sink.Get());
    EXPECT_GT(first, 0);
    EXPECT_GT(second, 0);
    EXPECT_NE(first, second);

    EXPECT_EQ(sink->Write(0x08000000, Bstr(L">>> 7: IIviDriver::Initialize()").Get(), first), S_OK);
    EXPECT_EQ(sink->Write(0x08000000, Bstr(L"gr\u00fc\u00dfe \u03a9").Get(), second), S_OK);
    EXPECT_EQ(sink->Write(0, nullptr, first), S_OK);
    EXPECT_EQ(sink->Write(0, Bstr(L"one\ntwo\r\nthree").Get(), first), S_OK);
    EXPECT_EQ(sink->Flush(), S_OK);

    const std::vector<std::string> lines = ReadLines(log);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(RecordText(lines[0]), ">>> 7: IIviDriver::Initialize()");
    EXPECT_EQ(RecordText(lines[1]),
              "gr\xC3\xBC\xC3\x9F"
              "e \xCE\xA9");
    EXPECT_EQ(RecordText(lines[2]), "");
    // A line break inside a line never starts a record of its own.
    EXPECT_EQ(RecordText(lines[3]), "one two  three");
}

TEST(TracingServiceTest, WithoutTheVariableWritesTraceLogInTheTemporaryDirectory) {
    TraceFileVariable variable(nullptr);
    ComPtr<ITraceSink> sink = CreateService();
    ASSERT_TRUE(sink);
    const LONG cookie = RegisterWith(sink.Get());
    ASSERT_EQ(sink->Write(0, Bstr(L"default log").Get(), cookie), S_OK);
    const std::filesystem::path log = tevo::win::TempDirectory() / "trace.log";
    EXPECT_EQ(log, tevo::testing::CurrentSystemRoot() / "Windows" / "Temp" / "trace.log");
    const std::vector<std::string> lines = ReadLines(log);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(RecordText(lines[0]), "default log");
}

TEST(TracingServiceTest, UnregisterEndsTheRegistrationAndLaterWritesAreRefused) {
    tevo::testing::TempDir dir;
    const std::string log = (dir / "t.log").string();
    TraceFileVariable variable(&log);
    ComPtr<ITraceSink> sink = CreateService();
    ASSERT_TRUE(sink);
    const LONG cookie = RegisterWith(sink.Get());
    VARIANT_BOOL registered = VARIANT_FALSE;
    EXPECT_EQ(sink->IsRegistered(cookie, &registered), S_OK);
    EXPECT_EQ(registered, VARIANT_TRUE);

    EXPECT_EQ(sink->Unregister(cookie), S_OK);
    EXPECT_EQ(sink->IsRegistered(cookie, &registered), S_OK);
    EXPECT_EQ(registered, VARIANT_FALSE);
    EXPECT_EQ(sink->Write(0, Bstr(L"late").Get(), cookie), E_INVALIDARG);
    EXPECT_EQ(sink->Unregister(cookie), E_INVALIDARG);
    EXPECT_EQ(sink->Write(0, Bstr(L"never registered").Get(), 0), E_INVALIDARG);
    EXPECT_FALSE(std::filesystem::exists(log));

    // A cookie of one service object is unknown to another.
    ComPtr<ITraceSink> other = CreateService();
    const LONG foreign = RegisterWith(other.Get());
    EXPECT_EQ(sink->Write(0, Bstr(L"foreign").Get(), foreign), E_INVALIDARG);
}

TEST(TracingServiceTest, RefusesNullOutputsAndUnknownInterfaces) {
    ComPtr<ITraceSink> sink = CreateService();
    ASSERT_TRUE(sink);
    EXPECT_EQ(sink->Register(0, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr),
              E_POINTER);
    EXPECT_EQ(sink->IsRegistered(1, nullptr), E_POINTER);
    void* other = reinterpret_cast<void*>(1);
    EXPECT_EQ(sink->QueryInterface(IID_ITraceSwitch, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
}

constexpr int kLinesPerWriter = 400;

// "writer W line N" padded to a long line, so that a torn write would show.
std::string WriterLine(int writer, int line) {
    return "writer " + std::to_string(writer) + " line " + std::to_string(line) + " " +
           std::string(300, static_cast<char>('a' + writer % 26));
}

// Every record intact, and each writer's lines all there, in order.
void ExpectAllLinesWhole(const std::vector<std::string>& lines, int writers) {
    ASSERT_EQ(lines.size(), static_cast<size_t>(writers * kLinesPerWriter));
    std::map<int, int> next_line;
    const std::regex body(R"(writer (\d+) line (\d+) ([a-z]{300}))");
    for (const std::string& line : lines) {
        std::smatch record;
        ASSERT_TRUE(std::regex_match(line, record, kRecord)) << line;
        const std::string text = record[3].str();
        std::smatch parts;
        ASSERT_TRUE(std::regex_match(text, parts, body)) << line;
        const int writer = std::stoi(parts[1].str());
        ASSERT_EQ(text, WriterLine(writer, std::stoi(parts[2].str())));
        ASSERT_EQ(std::stoi(parts[2].str()), next_line[writer]++);
    }
    ASSERT_EQ(next_line.size(), static_cast<size_t>(writers));
}

TEST(TracingServiceTest, LinesOfManyThreadsNeverInterleave) {
    tevo::testing::TempDir dir;
    const std::string log = (dir / "threads.log").string();
    TraceFileVariable variable(&log);
    ComPtr<ITraceSink> sink = CreateService();
    ASSERT_TRUE(sink);
    constexpr int kThreads = 8;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            const LONG cookie = RegisterWith(sink.Get());
            for (int i = 0; i < kLinesPerWriter; ++i) {
                Bstr line = Bstr::FromUtf8(WriterLine(t, i));
                EXPECT_EQ(sink->Write(0x08000000, line.Get(), cookie), S_OK);
            }
            EXPECT_EQ(sink->Unregister(cookie), S_OK);
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    ExpectAllLinesWhole(ReadLines(log), kThreads);
}

TEST(TracingServiceTest, LinesOfSeveralProcessesNeverInterleave) {
    tevo::testing::TempDir dir;
    const std::string log = (dir / "processes.log").string();
    TraceFileVariable variable(&log);
    constexpr int kProcesses = 4;
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // Each process has its own log handle, as each process has its own service.
            TraceLog own;
            for (int i = 0; i < kLinesPerWriter; ++i) {
                if (FAILED(own.Append(WriterLine(p, i)))) {
                    _exit(1);
                }
            }
            _exit(0);
        }
        children.push_back(child);
    }
    for (const pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    ExpectAllLinesWhole(ReadLines(log), kProcesses);
}

}  // namespace
}  // namespace tevo::ivi::tracing

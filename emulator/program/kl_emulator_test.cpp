// The kl-emulator program as a separate process: its first output line, *IDN? over TCP,
// its log file and its limit, dropping idle clients, checked identity fields, a clean exit on
// SIGTERM, and VXI-11 served on the port it announces.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "client/scpi_client.h"
#include "onc_rpc.h"
#include "tevo/testing/temp_dir.h"
#include "vxi11.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;

// A child process with its standard output on a pipe.
class Program {
  public:
    explicit Program(const std::vector<std::string>& arguments) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        std::vector<std::string> all{TEVO_KL_EMULATOR_PATH};
        all.insert(all.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        argv.reserve(all.size() + 1);
        for (std::string& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        const int rc =
            posix_spawn(&pid_, TEVO_KL_EMULATOR_PATH, &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        out_ = fds[0];
        if (rc != 0)
            throw std::runtime_error("cannot start kl-emulator");
    }

    ~Program() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        ::close(out_);
    }

    // The next line of standard output, or empty after the timeout.
    std::string ReadLine(std::chrono::milliseconds timeout = 10s) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (true) {
            const size_t lf = output_.find('\n');
            if (lf != std::string::npos) {
                std::string line = output_.substr(0, lf);
                output_.erase(0, lf + 1);
                return line;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd fds{out_, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&fds, 1, static_cast<int>(left.count())) <= 0)
                return {};
            char chunk[4096];
            const ssize_t got = ::read(out_, chunk, sizeof(chunk));
            if (got <= 0)
                return {};
            output_.append(chunk, static_cast<size_t>(got));
        }
    }

    // The rest of standard output up to its end, or what came before the timeout (a
    // program that should have exited but runs on does not hang the test).
    std::string ReadAll(std::chrono::milliseconds timeout = 10s) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        std::string all = output_;
        output_.clear();
        while (true) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd fds{out_, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&fds, 1, static_cast<int>(left.count())) <= 0)
                return all;
            char chunk[4096];
            const ssize_t got = ::read(out_, chunk, sizeof(chunk));
            if (got <= 0)
                return all;
            all.append(chunk, static_cast<size_t>(got));
        }
    }

    void Signal(int signal) { ::kill(pid_, signal); }

    // The exit code, or -1 when it did not exit normally within the timeout.
    int Wait(std::chrono::milliseconds timeout = 10s) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            const pid_t done = ::waitpid(pid_, &status, WNOHANG);
            if (done == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            // Polling with a deadline: there is no portable way to wait for a child with a
            // timeout, and the child normally exits within milliseconds.
            pollfd none{-1, 0, 0};
            ::poll(&none, 0, 5);
        }
        return -1;
    }

  private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string output_;
};

uint16_t ListeningPort(const std::string& line) {
    const std::string prefix = "listening on ";
    if (line.rfind(prefix, 0) != 0)
        return 0;
    return static_cast<uint16_t>(std::stoi(line.substr(prefix.size())));
}

}  // namespace

TEST(KlEmulatorProgram, AnnouncesItsPortAnswersAndExitsCleanlyOnSigterm) {
    tevo::testing::TempDir dir;
    const std::string log = (dir / "emulator.log").string();
    Program program(
        {"--port", "0", "--model", "KLD", "--serial", "SN77", "--firmware=9.9", "--log", log});
    const std::string first = program.ReadLine();
    const uint16_t port = ListeningPort(first);
    ASSERT_NE(port, 0) << "first line: " << first;

    {
        tevo::emulator::ScpiClient client(port);
        EXPECT_EQ(client.Query("*IDN?"), "Valdacor,KLD,SN77,9.9");
        EXPECT_EQ(client.Query("SENS:FREQ:STOP?"), "2.65E+10");
    }
    program.Signal(SIGTERM);
    EXPECT_EQ(program.Wait(), 0);

    const std::string logged = tevo::testing::ReadFile(log);
    EXPECT_NE(logged.find("[1] << *IDN?\n[1] >> Valdacor,KLD,SN77,9.9\\n\n"), std::string::npos)
        << logged;
    EXPECT_NE(logged.find("[1] << SENS:FREQ:STOP?\n"), std::string::npos) << logged;
}

TEST(KlEmulatorProgram, ExitsCleanlyOnSigintWhileAClientIsConnected) {
    Program program({"--port", "0", "--time-scale", "0"});
    const uint16_t port = ListeningPort(program.ReadLine());
    ASSERT_NE(port, 0);
    tevo::emulator::ScpiClient client(port);
    ASSERT_EQ(client.Query("*OPC?"), "1");
    program.Signal(SIGINT);
    EXPECT_EQ(program.Wait(), 0);
    EXPECT_TRUE(client.WaitForClose(5s));
}

TEST(KlEmulatorProgram, HelpAndBadArguments) {
    {
        Program program({"--help"});
        EXPECT_EQ(program.Wait(), 0);
        const std::string usage = program.ReadAll();
        EXPECT_NE(usage.find("usage: kl-emulator"), std::string::npos);
        EXPECT_NE(usage.find("--time-scale"), std::string::npos);
    }
    {
        Program program({"--model", "KLZ"});
        EXPECT_EQ(program.Wait(), 2);
        EXPECT_EQ(program.ReadAll(), "");  // the complaint goes to standard error
    }
}

TEST(KlEmulatorProgram, DropsAnIdleClientAndServesTheOthers) {
    Program program({"--port", "0", "--time-scale", "0", "--idle-timeout", "0.2"});
    const uint16_t port = ListeningPort(program.ReadLine());
    ASSERT_NE(port, 0);
    tevo::emulator::ScpiClient silent(port);
    tevo::emulator::ScpiClient busy(port);
    EXPECT_EQ(busy.Query("*IDN?"), "Valdacor,KLC,100482,3.12");
    EXPECT_TRUE(silent.WaitForClose(5s));
    program.Signal(SIGTERM);
    EXPECT_EQ(program.Wait(), 0);
}

TEST(KlEmulatorProgram, KeepsItsLogBelowTheLimit) {
    tevo::testing::TempDir dir;
    const std::filesystem::path log = dir / "emulator.log";
    Program program(
        {"--port", "0", "--time-scale", "0", "--log", log.string(), "--log-limit", "4K"});
    const uint16_t port = ListeningPort(program.ReadLine());
    ASSERT_NE(port, 0);
    {
        tevo::emulator::ScpiClient client(port);
        for (int i = 0; i < 200; ++i)  // about 9 KB of log
            ASSERT_EQ(client.Query("*ESE " + std::to_string(i) + ";*ESE?"), std::to_string(i));
    }
    program.Signal(SIGTERM);
    EXPECT_EQ(program.Wait(), 0);
    EXPECT_LE(std::filesystem::file_size(log), 4096u);
    EXPECT_LE(std::filesystem::file_size(log.string() + ".1"), 4096u);
    EXPECT_NE(tevo::testing::ReadFile(log).find("[1] >> 199\\n\n"), std::string::npos);
}

TEST(KlEmulatorProgram, RefusesIdentityFieldsThatWouldBreakTheIdentityReply) {
    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"--serial", "12,34"},
             {"--firmware", "1.0\nSYST:ERR?"},
             {"--serial=1;2"},
         }) {
        Program program(bad);
        EXPECT_EQ(program.Wait(), 2) << bad[0];
        EXPECT_EQ(program.ReadAll(), "") << bad[0];  // nothing listens, nothing is announced
    }
}

// create_link on a VXI-11 core channel at port, as one blocking RPC call (each receive
// bounded by 10 s); the reply's error code, or -1 when no reply decodes.
long CreateVxi11Link(uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    timeval limit{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    long error = -1;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        std::string device = "inst0";
        Create_LinkParms args{};
        args.device = device.data();
        const std::string call = tevo::oncrpc::EncodeCall(
            7, {DEVICE_CORE, DEVICE_CORE_VERSION, create_link},
            tevo::oncrpc::Xdr<Create_LinkParms, xdr_Create_LinkParms>, &args);
        ::send(fd, call.data(), call.size(), MSG_NOSIGNAL);
        tevo::oncrpc::RecordReader reader;
        char chunk[4096];
        std::optional<std::string> record;
        ssize_t got = 0;
        while (!(record = reader.Next()) && (got = ::recv(fd, chunk, sizeof chunk, 0)) > 0)
            reader.Append(chunk, static_cast<size_t>(got));
        Create_LinkResp reply{};
        if (record && tevo::oncrpc::DecodeReply(
                          *record, tevo::oncrpc::Xdr<Create_LinkResp, xdr_Create_LinkResp>,
                          &reply) == tevo::oncrpc::ReplyOutcome::kResults)
            error = reply.error;
    }
    ::close(fd);
    return error;
}

TEST(KlEmulatorProgram, ServesVxi11OnTheAnnouncedPort) {
    {
        Program help({"--help"});
        EXPECT_EQ(help.Wait(), 0);
        EXPECT_NE(help.ReadAll().find("--vxi11-port"), std::string::npos);
    }
    Program program({"--port", "0", "--vxi11-port", "0", "--time-scale", "0"});
    ASSERT_NE(ListeningPort(program.ReadLine()), 0);
    const std::string announced = program.ReadLine();
    const std::string prefix = "vxi11 on ";
    ASSERT_EQ(announced.rfind(prefix, 0), 0u) << announced;
    const auto port = static_cast<uint16_t>(std::stoi(announced.substr(prefix.size())));
    ASSERT_NE(port, 0);
    EXPECT_EQ(CreateVxi11Link(port), 0);
    program.Signal(SIGTERM);
    EXPECT_EQ(program.Wait(), 0);
}

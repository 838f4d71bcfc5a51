#include "tevo/testing/run_program.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tevo/testing/temp_dir.h"

extern char** environ;

namespace tevo::testing {

ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::string& input, const std::filesystem::path& cwd) {
    const std::filesystem::path dir =
        CurrentSystemRoot().empty() ? std::filesystem::temp_directory_path() : CurrentSystemRoot();
    const auto in_path = WriteFile(dir / "program-stdin", input);
    const auto out_path = dir / "program-stdout";
    const auto err_path = dir / "program-stderr";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, in_path.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    if (!cwd.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
    }
    std::vector<std::string> argv_text = {program};
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    std::vector<char*> argv;
    argv.reserve(argv_text.size() + 1);
    for (std::string& arg : argv_text) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    ProgramRun run;
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        run.err = "cannot start " + program;
        return run;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = ReadFile(out_path);
    run.err = ReadFile(err_path);
    return run;
}

}  // namespace tevo::testing

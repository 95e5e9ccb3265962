#include "program_run.h"

#include <cstdlib>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "test_files.h"

extern char** environ;

std::string KovdiscPath() {
    const char* other = std::getenv("KOV_KOVDISC");
    return other != nullptr && *other != '\0' ? other : KOVDISC_PATH;
}

// posix_spawn rather than fork: it does not copy the test process, which grows large under
// AddressSanitizer and would make every run slow.
pid_t StartProgram(const std::string& program, const std::vector<std::string>& arguments,
                   const std::string& folder, const std::string& out, const std::string& err) {
    std::vector<std::string> words = arguments;
    words.insert(words.begin(), program);
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    pid_t child = 0;
    const int failed = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return failed == 0 ? child : -1;
}

ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                      const std::string& folder) {
    const TempFolder streams;
    const std::string out = streams.File("out");
    const std::string err = streams.File("err");
    const pid_t child = StartProgram(program, arguments, folder, out, err);
    if (child < 0) {
        return {127, 0, "", ""};
    }
    int status = 0;
    waitpid(child, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1,
            WIFSIGNALED(status) ? WTERMSIG(status) : 0, ReadFileBytes(out), ReadFileBytes(err)};
}

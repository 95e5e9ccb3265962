// Runs a program as a child process in a chosen folder and keeps what it wrote. POSIX only.
#pragma once

#include <cstdlib>
#include <string>
#include <vector>

#include <sys/types.h>

struct ProgramRun {
    int code;   // the exit code; -1 when the program did not exit by itself
    int signal; // the signal that ended it, 0 when it exited
    std::string out;
    std::string err;
};

// Runs `program` with `arguments` in `folder`, with standard input empty and standard output
// and error each going to a file, so neither is a terminal.
ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                      const std::string& folder);

// The kovdisc the tests run: the one named by KOV_KOVDISC where it is set (kovdisc built for
// another machine, run under an emulator), else this build's.
std::string KovdiscPath();

// While one lives, every kovdisc started commits a batch once `seconds` of copying have gone by
// (KOVDISC_BATCH_SECONDS): "0" commits each trailer on its own, a large value the whole run.
struct BatchSeconds {
    explicit BatchSeconds(const char* seconds) { setenv("KOVDISC_BATCH_SECONDS", seconds, 1); }
    ~BatchSeconds() { unsetenv("KOVDISC_BATCH_SECONDS"); }
};

// Starts it the same way, its standard output and error going to the files `out` and `err`, and
// leaves it running: the child's process id, or -1 when it could not be started.
pid_t StartProgram(const std::string& program, const std::vector<std::string>& arguments,
                   const std::string& folder, const std::string& out, const std::string& err);

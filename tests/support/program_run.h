// Runs a program as a child process in a chosen folder and keeps what it wrote. POSIX only.
#pragma once

#include <string>
#include <vector>

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

// kovdisc's messages on standard error.
#include <cstdio>

#include "commands.h"

void Warn(const std::string& sentence) {
    std::fprintf(stderr, "kovdisc: %s\n", sentence.c_str());
}

ExitCode Fail(ExitCode code, const std::string& sentence) {
    Warn(sentence);
    return code;
}

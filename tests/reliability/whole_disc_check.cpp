// whole_disc_check FOLDER
// Checks a destination disc left by a killed program, as the kill rounds of the end-to-end test
// need from outside Wine: exit status 0 when it is whole (see whole_disc.h), 1 when not, 3 when
// another program still holds it (a killed Wine program's lock outlives it for a moment). Prints
// how many trailers it lists and how much unfinished audio was cut off.
#include <cstdio>

#include "whole_disc.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: whole_disc_check FOLDER\n");
        return 2;
    }
    const WholeDiscCheck check = CheckWholeDisc(argv[1]);
    if (check.held) {
        std::printf("held: %s\n", check.fault.c_str());
        return 3;
    }
    if (!check.whole) {
        std::printf("not whole: %s\n", check.fault.c_str());
        return 1;
    }
    std::printf("whole: %d trailers, %lld bytes of an unfinished add cut off\n",
                static_cast<int>(check.trailers), static_cast<long long>(check.cutBytes));
    return 0;
}

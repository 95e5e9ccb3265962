#include "progress.h"

#include <cstdio>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

bool ErrorIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(fileno(stderr)) != 0;
#endif
}

} // namespace

Progress::Progress(std::int32_t trailers, std::int64_t totalBytes)
    : terminal_(ErrorIsTerminal()), trailers_(trailers), totalBytes_(totalBytes), shownLength_(0) {}

void Progress::Copying(std::int32_t number, const std::string& name, std::int64_t doneBytes) {
    if (terminal_) {
        Show("adding " + Step(number, name, doneBytes), false);
    }
}

// On a terminal the line is rewritten once more, to count the trailer's bytes as done.
void Progress::Copied(std::int32_t number, const std::string& name, std::int64_t doneBytes) {
    Show("added " + Step(number, name, doneBytes), !terminal_);
}

std::string Progress::Step(std::int32_t number, const std::string& name,
                           std::int64_t doneBytes) const {
    return std::to_string(number) + " of " + std::to_string(trailers_) + ": " + name + ", " +
           std::to_string(doneBytes) + " of " + std::to_string(totalBytes_) + " bytes";
}

void Progress::Skipped(const std::string& name) {
    Show("skipped " + name + ": the disc already shows it", true);
}

void Progress::Finish() {
    if (shownLength_ > 0) {
        std::fputc('\n', stderr);
        shownLength_ = 0;
    }
}

// A kept line ends with a newline. On a terminal every line replaces the rewritten one, and a
// kept line stays above the next.
void Progress::Show(const std::string& line, bool keep) {
    if (terminal_) {
        std::string padded = line;
        if (padded.size() < shownLength_) {
            padded.append(shownLength_ - padded.size(), ' ');
        }
        std::fprintf(stderr, "\r%s", padded.c_str());
        shownLength_ = keep ? 0 : line.size();
    } else {
        std::fputs(line.c_str(), stderr);
    }
    if (keep) {
        std::fputc('\n', stderr);
    }
    std::fflush(stderr);
}

#include "progress.h"

#include <cstdio>

#include "trailer_text.h"

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
    : terminal_(ErrorIsTerminal()), trailers_(trailers), totalBytes_(totalBytes) {}

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

void Progress::Holds(const std::string& disc, std::int32_t count) {
    Show("committed: " + disc + " now holds " + CountOf(count, "trailer"), true);
}

void Progress::Finish() {
    if (!shown_.empty()) {
        std::fputc('\n', stderr);
        shown_.clear();
    }
}

// A kept line ends with a newline. On a terminal a line first replaces the rewritten one, and
// after a kept line the rewritten one is shown again below it.
void Progress::Show(const std::string& line, bool keep) {
    if (!terminal_) {
        std::fprintf(stderr, "%s\n", line.c_str());
        return;
    }
    std::string padded = line;
    if (padded.size() < shown_.size()) {
        padded.append(shown_.size() - padded.size(), ' ');
    }
    if (keep) {
        std::fprintf(stderr, "\r%s\n%s", padded.c_str(), shown_.c_str());
    } else {
        std::fprintf(stderr, "\r%s", padded.c_str());
        shown_ = line;
    }
    std::fflush(stderr);
}

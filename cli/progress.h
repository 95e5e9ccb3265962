// The progress of `kovdisc add` on standard error: on a terminal one line that rewrites
// itself, elsewhere one plain line per trailer added or skipped.
#pragma once

#include <cstdint>
#include <string>

class Progress {
public:
    // `trailers` will be copied, `totalBytes` in all.
    Progress(std::int32_t trailers, std::int64_t totalBytes);

    // Trailer `number` (from 1) starts copying after `doneBytes` of the total.
    void Copying(std::int32_t number, const std::string& name, std::int64_t doneBytes);
    void Copied(std::int32_t number, const std::string& name, std::int64_t doneBytes);
    void Skipped(const std::string& name);
    // A commit before the last: how many trailers `disc` now holds.
    void Holds(const std::string& disc, std::int32_t count);
    // Ends the rewritten line, if one is shown.
    void Finish();

private:
    std::string Step(std::int32_t number, const std::string& name, std::int64_t doneBytes) const;
    void Show(const std::string& line, bool keep);

    bool terminal_;
    std::int32_t trailers_;
    std::int64_t totalBytes_;
    std::string shown_; // the rewritten line now on the terminal
};

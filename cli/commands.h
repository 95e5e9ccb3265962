// kovdisc's commands: what each is given, and the exit codes they end with.
#pragma once

#include <string>
#include <vector>

enum class ExitCode {
    Success = 0,
    Failure = 1, // the disc is damaged or full, another program is writing it, or a write failed
    Usage = 2,   // bad usage, or an input that cannot be read
    Interrupted = 130, // add or copy stopped by Ctrl-C, what it copied committed
};

struct ListOptions {
    std::string index;
    bool json = false;
};

struct CheckOptions {
    std::string index;
    bool repair = false;
};

struct NewOptions {
    std::string folder;
    bool force = false;
};

struct AddOptions {
    std::string discIndex;
    std::string sourceIndex;
    std::vector<std::string> picks; // none: every trailer of the source
};

struct CopyOptions {
    std::string discIndex;
    std::string folder;
    std::vector<std::string> picks;   // none: every trailer of the disc
    std::vector<std::string> excepts; // trailers left out wherever they were picked
    bool force = false;
};

struct VerifyOptions {
    std::string discIndex;
    std::vector<std::string> sourceIndexes;
    bool json = false;
};

struct RecoverOptions {
    std::string discIndex;
    std::vector<std::string> sourceIndexes;
    bool write = false;
    bool force = false; // write even over an index whose trailers the recovered one drops
    bool json = false;
};

ExitCode RunList(const ListOptions& options);
ExitCode RunCheck(const CheckOptions& options);
ExitCode RunNew(const NewOptions& options);
ExitCode RunAdd(const AddOptions& options);
ExitCode RunCopy(const CopyOptions& options);
ExitCode RunVerify(const VerifyOptions& options);
ExitCode RunRecover(const RecoverOptions& options);

// Writes "kovdisc: " and the sentence to standard error.
void Warn(const std::string& sentence);
// Warns, and gives back the code.
ExitCode Fail(ExitCode code, const std::string& sentence);

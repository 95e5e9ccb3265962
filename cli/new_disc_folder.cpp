#include "new_disc_folder.h"

#include <filesystem>
#include <system_error>

#include "disc_files.h"
#include "disc_pair.h"
#include "disc_problems.h"
#include "stream_io.h"

namespace fs = std::filesystem;

namespace {

// Creates the folder and every missing folder above it, one at a time: create_directories of
// the Windows runtime refuses a drive-relative name such as C:disc. Each new folder's entry is
// flushed to the device in the folder above, so that the disc made in it lasts a power cut.
void MakeFolders(const fs::path& folder) {
    std::error_code error;
    const fs::path parent = folder.parent_path();
    if (!parent.empty() && parent != folder && !fs::is_directory(parent, error)) {
        MakeFolders(parent);
    }
    if (fs::create_directory(folder, error)) {
        FlushFolder(NarrowName(parent).c_str());
    }
}

} // namespace

ExitCode PrepareNewDiscFolder(const std::string& given, bool force) {
    const std::string folder = TrimFolder(given);
    const std::string tooLong = NameLengthProblem(IndexPathIn(folder));
    if (!tooLong.empty()) {
        return Fail(ExitCode::Usage, tooLong);
    }
    for (const char* file : {kIndexFileName, kAudioFileName}) {
        const std::string kind = FileKindProblem(folder + kPathSeparator + file);
        if (!kind.empty()) {
            return Fail(ExitCode::Usage, kind);
        }
    }
    std::error_code error;
    if (!force) {
        for (const char* name : {kIndexFileName, kAudioFileName}) {
            if (fs::exists(NativePath(folder.c_str()) / name, error)) {
                return Fail(ExitCode::Failure,
                            given + " already holds a disc (" + name + "); --force replaces it.");
            }
        }
    }
    MakeFolders(NativePath(folder.c_str()));
    if (!fs::is_directory(NativePath(folder.c_str()), error)) {
        return Fail(ExitCode::Failure, "cannot create the folder " + given + ".");
    }
    return ExitCode::Success;
}

ExitCode NewDiscRefused(const DiscPair& discs, const std::string& given) {
    if (discs.DestinationInUse()) {
        return Fail(ExitCode::Failure, DiscInUse(IndexPathIn(TrimFolder(given))));
    }
    return Fail(ExitCode::Failure, "could not write a new disc in " + given + ".");
}

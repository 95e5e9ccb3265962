// kovdisc new FOLDER [--force]: an empty disc, as Start New Disc writes it. Unlike the window
// it does not replace a disc unless told to.
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

#include "commands.h"
#include "disc_files.h"
#include "disc_pair.h"

namespace fs = std::filesystem;

namespace {

// Creates the folder and every missing folder above it, one at a time: create_directories of
// the Windows runtime refuses a drive-relative name such as C:disc.
void MakeFolders(const fs::path& folder) {
    std::error_code error;
    const fs::path parent = folder.parent_path();
    if (!parent.empty() && parent != folder && !fs::is_directory(parent, error)) {
        MakeFolders(parent);
    }
    fs::create_directory(folder, error);
}

} // namespace

ExitCode RunNew(const NewOptions& options) {
    const std::string folder = TrimFolder(options.folder);
    const std::string tooLong = NameLengthProblem(IndexPathIn(folder));
    if (!tooLong.empty()) {
        return Fail(ExitCode::Usage, tooLong);
    }
    MakeFolders(folder);
    std::error_code error;
    if (!fs::is_directory(folder, error)) {
        return Fail(ExitCode::Failure, "cannot create the folder " + options.folder + ".");
    }
    if (!options.force) {
        for (const char* name : {kIndexFileName, kAudioFileName}) {
            if (fs::exists(fs::path(folder) / name, error)) {
                return Fail(ExitCode::Failure, options.folder + " already holds a disc (" + name +
                                                   "); --force replaces it.");
            }
        }
    }
    const auto discs = std::make_unique<DiscPair>();
    if (!discs->OpenDestinationDisc(true, folder.c_str(), 0)) {
        return Fail(ExitCode::Failure, "could not write a new disc in " + options.folder + ".");
    }
    discs->CloseDestinationDisc();
    std::printf("new empty disc: %s\n", IndexPathIn(folder).c_str());
    return ExitCode::Success;
}

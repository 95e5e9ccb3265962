// kovdisc new FOLDER [--force]: an empty disc, as Start New Disc writes it. Unlike the window
// it does not replace a disc unless told to.
#include <cstdio>
#include <memory>

#include "commands.h"
#include "disc_files.h"
#include "disc_pair.h"
#include "new_disc_folder.h"

ExitCode RunNew(const NewOptions& options) {
    const std::string folder = TrimFolder(options.folder);
    const ExitCode prepared = PrepareNewDiscFolder(options.folder, options.force);
    if (prepared != ExitCode::Success) {
        return prepared;
    }
    const auto discs = std::make_unique<DiscPair>();
    if (!discs->OpenDestinationDisc(true, folder.c_str(), 0)) {
        return NewDiscRefused(*discs, options.folder);
    }
    discs->CloseDestinationDisc();
    std::printf("new empty disc: %s\n", IndexPathIn(folder).c_str());
    return ExitCode::Success;
}

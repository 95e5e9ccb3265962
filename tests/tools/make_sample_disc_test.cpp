// make_sample_disc answers --help with its usage, and takes no option for its FOLDER.
#include <gtest/gtest.h>

#include "program_run.h"
#include "test_files.h"

TEST(MakeSampleDisc, AnswersHelpAndRefusesAnOptionInPlaceOfTheFolder) {
    TempFolder folder;
    const std::string usage = "usage: make_sample_disc FOLDER [--trailers N] [--seconds S] "
                              "[--fixed-units U] [--seed X]\n"
                              "Writes a source trailer disc into FOLDER, creating the folder if "
                              "needed.\n";
    for (const char* help : {"--help", "-h"}) {
        const ProgramRun run = RunProgram(MAKE_SAMPLE_DISC_PATH, {help}, folder.Path());
        EXPECT_EQ(run.code, 0);
        EXPECT_EQ(run.out, usage);
        EXPECT_EQ(run.err, "");
    }
    const std::vector<std::vector<std::string>> refused = {
        {"--trailers", "3"}, {"--bogus"}, {"out", "--bogus", "3"}, {"out", "--trailers"}};
    for (const std::vector<std::string>& arguments : refused) {
        const ProgramRun run = RunProgram(MAKE_SAMPLE_DISC_PATH, arguments, folder.Path());
        EXPECT_EQ(run.code, 2) << arguments[0];
        EXPECT_EQ(run.err, usage) << arguments[0];
    }
    EXPECT_EQ(FilesIn(folder.Path()), std::vector<std::string>{});
}

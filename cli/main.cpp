// kovdisc: lists, checks, creates and fills trailer discs from the command line, with the same
// core as the window, so it writes the same bytes.
#include <CLI/CLI.hpp>
#include <string>
#include <vector>

#include "commands.h"
#include "console_output.h"
#include "disc_files.h"

namespace {

const char kVersion[] = "kovdisc 1.2";

const char kProgramHelp[] =
    "Examples:\n"
    "  kovdisc list source/R14TRLR.TXT\n"
    "  kovdisc new mydisc\n"
    "  kovdisc add mydisc/R14TRLR.TXT source/R14TRLR.TXT ALPHA '#4'\n"
    "  kovdisc check mydisc/R14TRLR.TXT\n"
    "  kovdisc copy mydisc/R14TRLR.TXT fixed --except BETA\n"
    "  kovdisc verify fixed/R14TRLR.TXT source/R14TRLR.TXT\n"
    "  kovdisc recover mydisc/R14TRLR.TXT source/R14TRLR.TXT --write\n"
    "\n"
    "Exit codes: 0 success; 1 the disc is damaged or full, another program is writing it, a\n"
    "file could not be written, or recover left audio unexplained; 2 bad usage, or an input\n"
    "that cannot be read; 130 add or copy stopped by Ctrl-C, keeping what it had copied.\n"
    "\"kovdisc COMMAND --help\" describes each command.";

} // namespace

int main(int argc, char** argv) {
    PrintInProgramCodePage();
    CLI::App app("Lists, checks, creates and fills trailer discs: an index R14TRLR.TXT and the "
                 "audio file R14T5.AUD beside it.",
                 "kovdisc");
    app.set_version_flag("--version", kVersion, "Print the version and exit");
    app.require_subcommand(1);
    app.footer(kProgramHelp);

    ListOptions list;
    CLI::App* const listCommand = app.add_subcommand(
        "list", "List the trailers of a disc, source or written, one line each, with a total.");
    listCommand->add_option("INDEX", list.index, "The disc's index file, under any name")
        ->required();
    listCommand->add_flag("--json", list.json, "Print one JSON object instead");
    listCommand->footer("A trailer whose audio runs past the end of R14T5.AUD shows how many of "
                        "its bytes are missing.\n\nExample:\n  kovdisc list D:/reel14/R14TRLR.TXT "
                        "--json");

    CheckOptions check;
    CLI::App* const checkCommand = app.add_subcommand(
        "check", "Check a written disc as Continue Disc does; exit 1 if it is damaged.");
    checkCommand->add_option("INDEX", check.index, "The disc's index file")->required();
    checkCommand->add_flag("--repair", check.repair,
                           "Cut off any audio after the last trailer (add and Continue Disc cut "
                           "it unasked only where an add never finished); refuse every other "
                           "repair");
    checkCommand->footer("Nothing is changed without --repair.\n\nExample:\n"
                         "  kovdisc check mydisc/R14TRLR.TXT --repair");

    NewOptions create;
    CLI::App* const newCommand =
        app.add_subcommand("new", "Create an empty disc in FOLDER, creating the folder if needed.");
    newCommand->add_option("FOLDER", create.folder, "Where the disc's two files go")->required();
    newCommand->add_flag("--force", create.force, "Replace a disc the folder already holds");
    newCommand->footer("Example:\n  kovdisc new mydisc");

    AddOptions add;
    CLI::App* const addCommand = app.add_subcommand(
        "add", "Add trailers of a source disc to the end of a written disc, in the order given.");
    addCommand->add_option("DISC_INDEX", add.discIndex, "The index of the disc to add to")
        ->required();
    addCommand->add_option("SOURCE_INDEX", add.sourceIndex, "The index of the source disc")
        ->required();
    addCommand->add_option("PICK", add.picks,
                           "A trailer name (letter case ignored if no name matches exactly), or "
                           "#N for the source's Nth trailer; none picks every trailer");
    addCommand->footer(
        "A trailer the disc already shows (same name and seconds, letter case ignored) is "
        "skipped.\nEvery PICK is resolved before anything is copied.\n\nExample:\n"
        "  kovdisc add mydisc/R14TRLR.TXT source/R14TRLR.TXT ALPHA beta '#7'");

    CopyOptions copy;
    CLI::App* const copyCommand = app.add_subcommand(
        "copy", "Copy trailers of a written disc, in the order given, into a new disc in FOLDER.");
    copyCommand->add_option("DISC_INDEX", copy.discIndex, "The index of the disc to copy from")
        ->required();
    copyCommand->add_option("FOLDER", copy.folder, "Where the new disc's two files go")->required();
    copyCommand->add_option("PICK", copy.picks,
                            "A trailer name (letter case ignored if no name matches exactly), or "
                            "#N for the disc's Nth trailer; none picks every trailer");
    copyCommand
        ->add_option("--except", copy.excepts,
                     "Leave out this trailer, a PICK, wherever it was picked; repeatable")
        ->type_name("PICK")
        ->allow_extra_args(false);
    copyCommand->add_flag("--force", copy.force, "Replace a disc FOLDER already holds");
    copyCommand->footer(
        "Each block is copied from where the disc holds it, so the new disc is the one that "
        "adding\nthe same trailers from their source discs would make. A trailer picked twice is "
        "copied once.\nThe disc itself is never changed.\n\nExample:\n"
        "  kovdisc copy mydisc/R14TRLR.TXT fixed --except BETA");

    VerifyOptions verify;
    CLI::App* const verifyCommand = app.add_subcommand(
        "verify", "Compare the audio of a written disc's trailers with their source discs.");
    verifyCommand->add_option("DISC_INDEX", verify.discIndex, "The index of the disc to verify")
        ->required();
    verifyCommand
        ->add_option("SOURCE_INDEX", verify.sourceIndexes,
                     "The index of a source disc; a trailer's source is the first with its "
                     "name, SERIAL, START and END")
        ->required();
    verifyCommand->add_flag("--json", verify.json, "Print one JSON object instead");
    verifyCommand->footer("Exit code 1 when a trailer differs from its source or has none. "
                          "Nothing is changed.\n\nExample:\n"
                          "  kovdisc verify mydisc/R14TRLR.TXT reel1/R14TRLR.TXT "
                          "reel2/R14TRLR.TXT --json");

    RecoverOptions recover;
    CLI::App* const recoverCommand = app.add_subcommand(
        "recover", "Find which source trailers a disc's audio holds, whatever its index says, "
                   "and with --write list them in its index.");
    recoverCommand
        ->add_option("DISC_INDEX", recover.discIndex,
                     "The disc's index file, which may be missing, empty, damaged or stale; "
                     "R14T5.AUD beside it is read")
        ->required();
    recoverCommand
        ->add_option("SOURCE_INDEX", recover.sourceIndexes,
                     "The index of a disc the trailers were added from, read as add reads it "
                     "(a written disc: as copy reads it); where blocks match in several, the "
                     "first given is used")
        ->required();
    CLI::Option* const writeFlag = recoverCommand->add_flag(
        "--write", recover.write,
        "Write the index that lists the trailers found; the audio file is never changed");
    recoverCommand
        ->add_flag("--force", recover.force,
                   "Write it even where the disc's index lists trailers it does not begin with")
        ->needs(writeFlag);
    recoverCommand->add_flag("--json", recover.json, "Print one JSON object instead");
    recoverCommand->footer(
        "The audio after the header must be the sources' blocks back to back, as add lays them;\n"
        "what no block explains is reported, never guessed at. Trailers without audio (END 0)\n"
        "cannot be found. Exit code 1 when some audio is left unexplained, or --write refused.\n"
        "Nothing is changed without --write.\n\nExample:\n"
        "  kovdisc recover mydisc/R14TRLR.TXT reel1/R14TRLR.TXT reel2/R14TRLR.TXT --write");

    // CLI11 would take an unknown command for a missing one.
    bool known = argc < 2 || argv[1][0] == '-';
    for (const CLI::App* command : {listCommand, checkCommand, newCommand, addCommand, copyCommand,
                                    verifyCommand, recoverCommand}) {
        known = known || command->get_name() == argv[1];
    }
    if (!known) {
        return static_cast<int>(Fail(ExitCode::Usage, std::string("unknown command ") + argv[1] +
                                                          "; the commands are list, check, new, "
                                                          "add, copy, verify and recover."));
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        if (error.get_exit_code() == 0) {
            return app.exit(error); // --help and --version
        }
        std::string message = error.what();
        if (message.empty()) {
            message = "bad usage";
        }
        // "A subcommand is required" reads as the rest of the sentence; "INDEX is" stays.
        if (message.size() > 1 && message[0] >= 'A' && message[0] <= 'Z' &&
            !(message[1] >= 'A' && message[1] <= 'Z')) {
            message[0] = static_cast<char>(message[0] - 'A' + 'a');
        }
        if (message.back() != '.') {
            message += '.';
        }
        return static_cast<int>(
            Fail(ExitCode::Usage, message + " \"kovdisc --help\" shows the usage."));
    }

    // A folder given for an index stands for the index in it.
    std::vector<std::string*> indexes = {&list.index,       &check.index,    &add.discIndex,
                                         &add.sourceIndex,  &copy.discIndex, &verify.discIndex,
                                         &recover.discIndex};
    for (std::vector<std::string>* more : {&verify.sourceIndexes, &recover.sourceIndexes}) {
        for (std::string& index : *more) {
            indexes.push_back(&index);
        }
    }
    for (std::string* index : indexes) {
        const std::string problem = ResolveIndex(*index);
        if (!problem.empty()) {
            return static_cast<int>(Fail(ExitCode::Usage, problem));
        }
    }

    ExitCode code = ExitCode::Usage;
    if (listCommand->parsed()) {
        code = RunList(list);
    } else if (checkCommand->parsed()) {
        code = RunCheck(check);
    } else if (newCommand->parsed()) {
        code = RunNew(create);
    } else if (addCommand->parsed()) {
        code = RunAdd(add);
    } else if (copyCommand->parsed()) {
        code = RunCopy(copy);
    } else if (verifyCommand->parsed()) {
        code = RunVerify(verify);
    } else if (recoverCommand->parsed()) {
        code = RunRecover(recover);
    }
    return static_cast<int>(code);
}

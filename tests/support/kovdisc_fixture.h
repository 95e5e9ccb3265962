// The built kovdisc (or the one KOV_KOVDISC names: another machine's under an emulator, or
// Windows' under Wine) run as a process, with its outputs compared with golden files.
//
// Each test starts in a new temporary top folder holding the fixed discs (a fixture that
// builds discs of its own overrides SetUp):
//   source/   tests/cli/discs/source.txt and 551342 bytes of sample audio (make_sample_disc
//             FOLDER --trailers 1 --fixed-units 150 writes the same bytes)
//   empty/    tests/cli/discs/pair.txt and an empty audio file
//   noaudio/  tests/cli/discs/pair.txt and no audio file
//   wrapped/  tests/cli/discs/wrapped.txt and the audio of source/
//   disc/     a written disc, as the window writes it: Zebra, twin and Part of source/
//
// A golden file, tests/cli/golden/CASE.txt, holds the transcript of one case: for each run its
// command line, as "FOLDER$ kovdisc ARGUMENTS" with FOLDER the run's folder below the top
// folder (empty for the top folder), "-- exit N" ("-- signal N" for a crash), "-- stdout" and
// what the program wrote there, "-- stderr" and what it wrote there; then, where the case says
// so, "-- file NAME" and the bytes of a file it wrote. KOV_UPDATE_GOLDEN=1 rewrites them.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "disc_fixture.h" // the header bytes of written discs
#include "test_files.h"

using FileSnapshot = std::map<std::string, std::string>;

class KovdiscTest : public ::testing::Test {
protected:
    void SetUp() override;

    // Runs kovdisc in `folder` below the top folder and gives back its transcript.
    std::string Kov(const std::vector<std::string>& arguments, const std::string& folder = "");
    // Runs it the same way, adding its transcript to the session's, `transcript`; gives back its
    // exit code.
    int Run(const std::vector<std::string>& arguments, const std::string& folder = "");
    // A file below the top folder, for a transcript: "-- file NAME" and its bytes.
    std::string FileText(const std::string& name) const;
    // Fails the test unless tests/cli/golden/CASE.txt holds exactly `transcript`.
    void ExpectGolden(const std::string& name, const std::string& transcript) const;

    std::string Path(const std::string& name) const; // below the top folder
    std::string Read(const std::string& name) const;
    void Write(const std::string& name, const std::string& bytes) const;
    // Every file below `folder` (the top folder when empty) with its bytes.
    FileSnapshot Files(const std::string& folder = "") const;
    // A disc in `folder` below the top folder: the index, and an audio file of `audioSize`
    // bytes, the header and then byte i = i * step % 251.
    void WriteDisc(const std::string& folder, const std::string& index, std::size_t audioSize,
                   int step) const;
    // The index and the audio file of the disc in `folder`, as one string.
    std::string DiscBytes(const std::string& folder) const;

    TempFolder top;
    std::string transcript; // the session's, which Run adds to
};

// The names of the files added, removed or changed from one snapshot to the other, one a line;
// empty when none. Tests compare it with "" rather than print whole audio files.
std::string ChangedFiles(const FileSnapshot& before, const FileSnapshot& after);

// Where two byte strings first differ, in words; empty when they are equal.
std::string FirstDifference(const std::string& bytes, const std::string& expected);

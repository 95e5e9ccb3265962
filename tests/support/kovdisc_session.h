// kovdisc run as a process inside a work folder of its own, each run's command line, outputs
// and exit code added to a transcript, so that whole outputs, with the relative paths they are
// given, can be compared with the golden files of tests/cli/golden.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "test_files.h"

class KovdiscSession : public ::testing::Test {
protected:
    // A disc in `folder` below the work folder: the index, and an audio file of `audioSize`
    // bytes, the header and then byte i = i * step % 251.
    void WriteDisc(const std::string& folder, const std::string& index, std::size_t audioSize,
                   int step) const;
    // Runs kovdisc in the work folder, adding the run to the transcript; gives back its code.
    int Run(const std::vector<std::string>& arguments);
    // The transcript must equal tests/cli/golden/NAME; KOV_UPDATE_GOLDEN=1 writes it instead.
    void ExpectGolden(const std::string& name) const;
    // The index and the audio file of the disc in `folder`.
    std::string Files(const std::string& folder) const;

    TempFolder work;
    std::string transcript;
};

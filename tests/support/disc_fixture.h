// What the disc tests share: the fixed bytes every written disc starts with, and a source and
// a destination folder around one disc pair.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "disc_pair.h"
#include "test_files.h"

// Inline, so a test file's own constants built from these are initialised after them.
// The two comment lines at the top of every index this system writes.
inline const std::string kIndexHeaderLines = ";NAME           SERIAL  START   END     OFFSET\r\n"
                                             ";----           ------  -----   ---     ------\r\n";
// The 92 bytes at the start of every audio file this system writes.
inline const std::string kAudioHeaderBytes =
    std::string("Trailers Reel 14") + std::string(44, '\0') + std::string("english\0none", 12) +
    std::string("\x00\x00\x00\x01\x00\x00\x0E\x00\x15\x04\x05\x00\x00\x06\x00\x00\x10\x04\x20\x00",
                20);

class DiscTest : public ::testing::Test {
protected:
    // Writes a source disc with this index text and audio, and opens it.
    void OpenSource(const std::string& index, const std::string& audio);
    bool Continue();
    std::string DestinationIndex() const;
    std::string DestinationAudio() const;

    TempFolder source;
    TempFolder destination;
    DiscPair discs;
};

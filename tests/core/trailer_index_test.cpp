// Reading index files in both dialects, and the index text the writer produces.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "disc_fixture.h"
#include "disc_pair.h"

namespace {

struct Expected {
    const char* name; // 8 characters, blank padded
    int32_t serial;
    int32_t start; // in bytes
    int32_t end;
    int32_t offset;
};

void ExpectEntry(const TrailerEntry& entry, const Expected& expected) {
    EXPECT_STREQ(entry.name, expected.name);
    EXPECT_EQ(entry.serial, expected.serial);
    EXPECT_EQ(entry.start, expected.start);
    EXPECT_EQ(entry.end, expected.end);
    EXPECT_EQ(entry.offset, expected.offset);
}

struct SourceCase {
    const char* what;
    std::string text;
    std::vector<Expected> entries;
};

// The golden example: ABC and LONGNAME as the writer lays them out.
const std::string kGolden = kIndexHeaderLines + "ABC\t\t7\t0\t2\t92\r\n" + "LONGNAME\t12\t5\t10\t" +
                            std::to_string(92 + 2 * 3675) + "\r\n\x1A";

} // namespace

TEST(SourceIndex, ReadsTheDialectsFreedoms) {
    const std::vector<Expected> two = {{"ABC     ", 7, 0, 2 * 3675, 92},
                                       {"LONGNAME", 12, 5 * 3675, 10 * 3675, 7442}};
    const std::vector<SourceCase> cases = {
        {"TABs", ";c1\r\n;c2\r\nABC\t7\t0\t2\t92\r\nLONGNAME\t12\t5\t10\t7442\r\n\x1A", two},
        {"blanks", "ABC 7 0 2 92\r\nLONGNAME 12 5 10 7442\r\n\x1A", two},
        {"runs of both", "ABC \t 7\t\t0   2 \t92 \r\nLONGNAME  12 5\t10\t7442\r\n\x1A", two},
        {"no end marker", "ABC 7 0 2 92\r\nLONGNAME 12 5 10 7442\r\n", two},
        {"up to 8 trailing bytes ignored", "ABC 7 0 2 92\r\nLONGNAME 12 5 10 7442\r\nXY 1 1 1",
         two},
        {"10 trailing bytes are a record",
         "ABC 7 0 2 92\r\nX 1 2 3 4\r",
         {{"ABC     ", 7, 0, 2 * 3675, 92}, {"X       ", 1, 2 * 3675, 3 * 3675, 4}}},
        {"only comments", ";one\r\n;two\r\n\x1A", {}},
        {"empty file", "", {}},
        {"file ends inside a comment", ";one\r\n;tw", {}},
        {"a ';' line after a record is a record",
         "A 1 2 3 4\r\n;B 5 6 7 8\r\n\x1A",
         {{"A       ", 1, 2 * 3675, 3 * 3675, 4}, {";B      ", 5, 6 * 3675, 7 * 3675, 8}}},
        // The ninth character is dropped and the tenth starts SERIAL; the columns shift, and
        // OFFSET (ended only by CR or blank) takes in a TAB: 2, TAB, 9, 2 gives -1808.
        {"long name",
         "ABCDEFGHIJ\t7\t0\t2\t92\r\n\x1A",
         {{"ABCDEFGH", 'J' - 48, 7 * 3675, 0, -1808}}},
        // A line ending in LF alone does not end OFFSET: LF, B and blank become digits.
        {"LF without CR",
         "A 1 2 3 4\nB 5 6 7 8\r\n\x1A",
         {{"A       ", 1, 2 * 3675, 3 * 3675, ((4 * 10 + ('\n' - 48)) * 10 + ('B' - 48))}}},
        {"file ends inside a record",
         "A 1 2 3 4\r\nBBBBBB 5 6 7",
         {{"A       ", 1, 7350, 11025, 4}}},
        {"file ends after OFFSET, before LF",
         "A 1 2 3 4\r\nBBBBBB 5 6 7 8\r",
         {{"A       ", 1, 7350, 11025, 4}, {"BBBBBB  ", 5, 22050, 25725, 8}}},
        // Digits are not checked, and the arithmetic wraps in 32 bits.
        {"wrapping numbers",
         "A 99999999999 -1 4294967296 12x\r\n\x1A",
         {{"A       ", static_cast<int32_t>(99999999999 % 4294967296), (('-' - 48) * 10 + 1) * 3675,
           0, 12 * 10 + ('x' - 48)}}},
    };
    for (const SourceCase& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder folder;
        WriteFileBytes(folder.File("R14TRLR.TXT"), c.text);
        DiscPair discs;
        ASSERT_TRUE(discs.ReadIndex(IndexDialect::Source, folder.File("R14TRLR.TXT").c_str()));
        ASSERT_EQ(discs.SourceCount(), static_cast<int32_t>(c.entries.size()));
        for (size_t i = 0; i < c.entries.size(); ++i) {
            ExpectEntry(discs.SourceTrailer(static_cast<int32_t>(i)), c.entries[i]);
        }
    }
}

TEST(SourceIndex, MissingFileFailsAndLongListsStopAt255) {
    TempFolder folder;
    DiscPair discs;
    EXPECT_FALSE(discs.ReadIndex(IndexDialect::Source, folder.File("NONE.TXT").c_str()));
    EXPECT_EQ(discs.SourceCount(), 0);

    std::string text;
    for (int i = 0; i < 300; ++i) {
        text += "T" + std::to_string(i) + "\t" + std::to_string(i) + "\t0\t1\t92\r\n";
    }
    WriteFileBytes(folder.File("MANY.TXT"), text + "\x1A");
    ASSERT_TRUE(discs.ReadIndex(IndexDialect::Source, folder.File("MANY.TXT").c_str()));
    EXPECT_EQ(discs.SourceCount(), 255);
    EXPECT_STREQ(discs.SourceTrailer(254).name, "T254    ");
}

TEST(DestinationIndex, ReadsWhatTheWriterWrites) {
    TempFolder folder;
    const std::string path = folder.File("R14TRLR.TXT");
    WriteFileBytes(path, kGolden);
    DiscPair discs;
    ASSERT_TRUE(discs.ReadIndex(IndexDialect::Destination, path.c_str()));
    ASSERT_EQ(discs.DestinationCount(), 2);
    ExpectEntry(discs.DestinationTrailer(0), {"ABC     ", 7, 0, 2 * 3675, 92});
    ExpectEntry(discs.DestinationTrailer(1), {"LONGNAME", 12, 5 * 3675, 10 * 3675, 7442});

    // One or two TABs after a name of any length.
    WriteFileBytes(path,
                   kIndexHeaderLines + "ABC\t7\t0\t2\t92\r\nLONGNAME\t\t12\t5\t10\t7442\r\n\x1A");
    ASSERT_TRUE(discs.ReadIndex(IndexDialect::Destination, path.c_str()));
    ASSERT_EQ(discs.DestinationCount(), 2);
    ExpectEntry(discs.DestinationTrailer(0), {"ABC     ", 7, 0, 2 * 3675, 92});
    ExpectEntry(discs.DestinationTrailer(1), {"LONGNAME", 12, 5 * 3675, 10 * 3675, 7442});

    // The first character of a column is converted even when it is the terminator.
    WriteFileBytes(path, kIndexHeaderLines + "ABC\t\t\t\t0\t2\t92\r\n\x1A");
    ASSERT_TRUE(discs.ReadIndex(IndexDialect::Destination, path.c_str()));
    EXPECT_EQ(discs.DestinationTrailer(0).serial, '\t' - 48);

    WriteFileBytes(path, kIndexHeaderLines + "\x1A");
    EXPECT_TRUE(discs.ReadIndex(IndexDialect::Destination, path.c_str()));
    EXPECT_EQ(discs.DestinationCount(), 0);
}

TEST(DestinationIndex, FileCutAnywhereBeforeItsEndMarkerFails) {
    TempFolder folder;
    const std::string path = folder.File("R14TRLR.TXT");
    DiscPair discs;
    for (size_t length = 0; length < kGolden.size(); ++length) {
        WriteFileBytes(path, kGolden.substr(0, length));
        EXPECT_FALSE(discs.ReadIndex(IndexDialect::Destination, path.c_str())) << length;
        EXPECT_EQ(discs.DestinationCount(), 0) << length;
    }
    EXPECT_FALSE(discs.ReadIndex(IndexDialect::Destination, folder.File("NONE.TXT").c_str()));
}

TEST(DestinationIndex, MoreThan255RecordsFail) {
    TempFolder folder;
    std::string text = kIndexHeaderLines;
    for (int i = 0; i < 256; ++i) {
        text += "T\t\t1\t0\t1\t92\r\n";
    }
    WriteFileBytes(folder.File("R14TRLR.TXT"), text + "\x1A");
    DiscPair discs;
    EXPECT_FALSE(discs.ReadIndex(IndexDialect::Destination, folder.File("R14TRLR.TXT").c_str()));
    EXPECT_EQ(discs.DestinationCount(), 0);
}

TEST(IndexWriter, RewritesOffsetsAndCutsNamesAtTheirFirstOddCharacter) {
    struct WriterCase {
        const char* what;
        std::string source; // a source index; every trailer of it is added in order
        std::string written;
    };
    const std::vector<WriterCase> cases = {
        {"golden, source offsets not kept", "ABC 7 0 2 500\r\nLONGNAME 12 5 10 92\r\n\x1A",
         kGolden},
        {"names cut, one TAB only after 8 characters",
         "AB-CD 1 0 1 92\r\nA.B 2 0 1 92\r\nz{ 3 0 1 92\r\n12345678 4 3 0 92\r\nX 5 0 1 9\r\n",
         kIndexHeaderLines + "AB\t\t1\t0\t1\t92\r\nA\t\t2\t0\t1\t3767\r\nz\t\t3\t0\t1\t7442\r\n" +
             "12345678\t4\t3\t0\t11117\r\nX\t\t5\t0\t1\t11117\r\n\x1A"},
        {"empty list", "\x1A", kIndexHeaderLines + "\x1A"},
    };
    for (const WriterCase& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder source;
        TempFolder destination;
        WriteFileBytes(source.File("R14TRLR.TXT"), c.source);
        WriteFileBytes(source.File("R14T5.AUD"), std::string(92 + 20 * 3675, 'x'));
        DiscPair discs;
        ASSERT_TRUE(discs.OpenSourceDisc(source.File("R14TRLR.TXT").c_str(),
                                         static_cast<int32_t>(source.Prefix().size())));
        ASSERT_TRUE(discs.OpenDestinationDisc(true, destination.Path().c_str(), 0));
        for (int32_t i = 0; i < discs.SourceCount(); ++i) {
            ASSERT_TRUE(discs.AddTrailer(i));
        }
        discs.CloseDestinationDisc();
        EXPECT_EQ(ReadFileBytes(destination.File("R14TRLR.TXT")), c.written);
    }
}

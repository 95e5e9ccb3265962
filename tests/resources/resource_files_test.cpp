// The committed pictures: the background's format and caption placement, and the icon's layout.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

uint32_t U16(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | b[at + 1] << 8;
}
uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
    return U16(b, at) | U16(b, at + 2) << 16;
}

struct Extent {
    int left = 10000, right = -1, top = 10000, bottom = -1;
    void Add(int x, int y) {
        left = std::min(left, x), right = std::max(right, x);
        top = std::min(top, y), bottom = std::max(bottom, y);
    }
};

} // namespace

// The dialog places its controls next to the captions, so their ink must stay put.
TEST(ResourceFiles, BackgroundIsA740x480TrueColourBitmapWithCaptionsInPlace) {
    const std::vector<uint8_t> bmp = ReadFile(KOV_RESOURCES_DIR "/background.bmp");
    ASSERT_GE(bmp.size(), 54u);
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(bmp[1], 'M');
    EXPECT_EQ(U32(bmp, 2), bmp.size());
    EXPECT_EQ(U32(bmp, 14), 40u);
    const int width = int(U32(bmp, 18)), height = int(U32(bmp, 22));
    ASSERT_EQ(width, 740);
    ASSERT_EQ(height, 480); // positive: rows stored bottom-up
    ASSERT_EQ(U16(bmp, 28), 24u);
    ASSERT_EQ(U32(bmp, 30), 0u); // BI_RGB
    const size_t offset = U32(bmp, 10), stride = (width * 3 + 3) & ~3;
    ASSERT_EQ(offset + stride * height, bmp.size());

    Extent left, right;
    int blackOutsideBand = 0;
    for (int y = 0; y < height; ++y) { // y counts from the top
        const uint8_t* row = &bmp[offset + stride * (height - 1 - y)];
        for (int x = 0; x < width; ++x) {
            if (row[3 * x] != 0 || row[3 * x + 1] != 0 || row[3 * x + 2] != 0) {
                continue;
            }
            (x < 300 ? left : right).Add(x, y);
            blackOutsideBand += y < 11 || y > 38;
        }
    }
    EXPECT_EQ(blackOutsideBand, 0);
    EXPECT_EQ(left.left, 12);
    EXPECT_EQ(left.right, 123);
    EXPECT_EQ(right.left, 409);
    EXPECT_EQ(right.right, 587);
    EXPECT_GE(std::min(left.top, right.top), 11);
    EXPECT_LE(std::max(left.bottom, right.bottom), 38);
}

TEST(ResourceFiles, IconHoldsOne32x32SixteenColourImage) {
    const std::vector<uint8_t> ico = ReadFile(KOV_RESOURCES_DIR "/program.ico");
    ASSERT_GE(ico.size(), 22u);
    EXPECT_EQ(U16(ico, 0), 0u);
    EXPECT_EQ(U16(ico, 2), 1u); // icon, not cursor
    ASSERT_EQ(U16(ico, 4), 1u);
    EXPECT_EQ(ico[6], 32);
    EXPECT_EQ(ico[7], 32);
    EXPECT_EQ(ico[8], 16);
    EXPECT_EQ(U16(ico, 12), 4u);
    const size_t size = U32(ico, 14), at = U32(ico, 18);
    // Info header, 16 palette entries, 4-bit colour rows, then 1-bit transparency rows.
    ASSERT_EQ(size, 40u + 16 * 4 + 32 * 16 + 32 * 4);
    ASSERT_EQ(at + size, ico.size());
    EXPECT_EQ(U32(ico, at), 40u);
    EXPECT_EQ(U32(ico, at + 4), 32u);
    EXPECT_EQ(U32(ico, at + 8), 64u); // colour and mask rows together
    EXPECT_EQ(U16(ico, at + 14), 4u);
    EXPECT_EQ(U32(ico, at + 16), 0u);
    const uint32_t used = U32(ico, at + 32);
    EXPECT_TRUE(used == 0 || used == 16);
}

#include "golden_files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "test_files.h"

void ExpectGolden(const std::string& path, const std::string& text) {
    const char* const update = std::getenv("KOV_UPDATE_GOLDEN");
    if (update != nullptr && std::strcmp(update, "1") == 0) {
        WriteFileBytes(path, text);
        return;
    }
    ASSERT_TRUE(FileExists(path)) << path << " is missing; KOV_UPDATE_GOLDEN=1 writes it";
    EXPECT_EQ(ReadFileBytes(path), text) << "differs from " << path;
}

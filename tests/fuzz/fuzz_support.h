// What both fuzz targets share: a scratch folder of their own, file writes and failed checks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include <unistd.h>

// Reports a broken invariant; the abort makes libFuzzer save the input.
inline void Check(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "fuzz check failed: %s\n", what);
        std::abort();
    }
}

// A folder of this process under the temporary folder ($TMPDIR), ending with the separator.
// It is made on first use and removed when the process exits normally; the string is never
// destroyed, so the removal at exit can still use it.
inline const std::string& ScratchFolder() {
    static const std::string* const folder = [] {
        const std::filesystem::path path =
            std::filesystem::temp_directory_path() / ("kov_fuzz_" + std::to_string(getpid()));
        std::filesystem::create_directories(path);
        return new std::string(path.string() + "/");
    }();
    static const int removal = std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(*folder, ignored);
    });
    static_cast<void>(removal);
    return *folder;
}

inline void WriteFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::FILE* const stream = std::fopen(path.c_str(), "wb");
    Check(stream != nullptr, "cannot create a scratch file");
    const bool written = size == 0 || std::fwrite(data, 1, size, stream) == size;
    Check(std::fclose(stream) == 0 && written, "cannot write a scratch file");
}

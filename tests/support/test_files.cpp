#include "test_files.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "disc_pair.h"
#include "stream_io.h"

namespace fs = std::filesystem;

TempFolder::TempFolder() {
    static int created = 0;
    std::error_code error;
    const fs::path base = fs::temp_directory_path(error);
    for (;;) {
        const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
        const fs::path candidate = base / ("kov-test-" + std::to_string(now % 1000000007) + "-" +
                                           std::to_string(++created));
        if (fs::create_directory(candidate, error)) {
            path_ = candidate.string();
            return;
        }
    }
}

TempFolder::~TempFolder() {
    std::error_code error;
    fs::remove_all(path_, error);
}

std::string TempFolder::Prefix() const {
    return path_ + kPathSeparator;
}

std::string TempFolder::File(const std::string& name) const {
    return Prefix() + name;
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool FileExists(const std::string& path) {
    std::error_code error;
    return fs::exists(NativePath(path.c_str()), error);
}

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const fs::directory_entry& entry :
         fs::directory_iterator(NativePath(folder.c_str()), error)) {
        names.push_back(NarrowName(entry.path().filename()));
    }
    std::sort(names.begin(), names.end());
    return names;
}

void MakeFolder(const std::string& path) {
    std::error_code error;
    fs::create_directory(NativePath(path.c_str()), error);
}

#include "disc_files.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "disc_pair.h"
#include "stream_io.h"

namespace fs = std::filesystem;

namespace {

// Windows takes both slashes, and a drive letter's colon ends a folder part too.
bool IsSeparator(char character) {
#ifdef _WIN32
    return character == '\\' || character == '/' || character == ':';
#else
    return character == '/';
#endif
}

std::string Unreadable(const std::string& path, const std::string& reason) {
    return "cannot read the index " + path + ": " + reason + ".";
}

// What a file that is not a regular one is, in words.
const char* KindName(fs::file_type type) {
    switch (type) {
    case fs::file_type::directory:
        return "a folder";
    case fs::file_type::fifo:
        return "a named pipe";
    case fs::file_type::character:
        return "a character device";
    case fs::file_type::block:
        return "a block device";
    case fs::file_type::socket:
        return "a socket";
    default:
        return nullptr;
    }
}

} // namespace

std::string NameLengthProblem(const std::string& name) {
    const std::size_t longest = kFileNameSize - 1;
    if (name.size() <= longest) {
        return "";
    }
    return name + " is too long a name: a disc's file names can have at most " +
           std::to_string(longest) + " characters, folder included, and it has " +
           std::to_string(name.size()) + ".";
}

std::int32_t FolderLength(const std::string& indexPath) {
    std::int32_t length = static_cast<std::int32_t>(indexPath.size());
    while (length > 0 && !IsSeparator(indexPath[length - 1])) {
        --length;
    }
    return length;
}

std::string AudioPathBeside(const std::string& indexPath) {
    return indexPath.substr(0, static_cast<std::size_t>(FolderLength(indexPath))) + kAudioFileName;
}

std::string IndexPathIn(const std::string& folder) {
    return folder + kPathSeparator + kIndexFileName;
}

std::string TrimFolder(const std::string& folder) {
    std::string trimmed = folder;
    while (trimmed.size() > 1 && IsSeparator(trimmed.back()) && trimmed.back() != ':') {
        trimmed.pop_back();
    }
    return trimmed;
}

std::string IndexFileProblem(const std::string& path) {
    for (const std::string& name : {path, AudioPathBeside(path)}) {
        const std::string tooLong = NameLengthProblem(name);
        if (!tooLong.empty()) {
            return tooLong;
        }
    }
    std::error_code error;
    if (!fs::exists(fs::status(NativePath(path.c_str()), error))) {
        return Unreadable(path, "there is no such file");
    }
    for (const std::string& file : {path, AudioPathBeside(path)}) {
        const std::string kind = FileKindProblem(file);
        if (!kind.empty()) {
            return kind;
        }
    }
    // An index is text, and no text holds a 0 byte; an audio file does in its header.
    std::FILE* const file = OpenRegularFile(path.c_str(), "rb");
    if (file == nullptr) {
        return Unreadable(path, "it cannot be opened");
    }
    bool text = true;
    char buffer[4096];
    std::size_t read = 0;
    while (text && (read = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        text = std::memchr(buffer, 0, read) == nullptr;
    }
    const bool readError = std::ferror(file) != 0;
    std::fclose(file);
    if (readError) {
        return Unreadable(path, "it cannot be read");
    }
    return text ? "" : Unreadable(path, "it is not a text file, so no index (it holds a 0 byte)");
}

std::string FileKindProblem(const std::string& path) {
    std::error_code error;
    const fs::file_status status = fs::status(NativePath(path.c_str()), error);
    if (!fs::exists(status) || fs::is_regular_file(status)) {
        return "";
    }
    const char* const kind = KindName(status.type());
    return kind == nullptr ? path + " is not a file." : path + " is " + kind + ", not a file.";
}

std::string ResolveIndex(std::string& index) {
    std::error_code error;
    if (index.empty() || !fs::is_directory(NativePath(index.c_str()), error)) {
        return "";
    }
    const std::string inside =
        index + (IsSeparator(index.back()) ? "" : std::string(1, kPathSeparator)) + kIndexFileName;
    if (!fs::exists(fs::status(NativePath(inside.c_str()), error))) {
        return index + " is a folder without an index: there is no " + inside + ".";
    }
    index = inside;
    return "";
}

std::int64_t AudioFileSize(const std::string& indexPath) {
    std::error_code error;
    const std::uintmax_t size =
        fs::file_size(NativePath(AudioPathBeside(indexPath).c_str()), error);
    return error ? -1 : static_cast<std::int64_t>(size);
}

AudioFile OpenAudioToRead(const std::string& indexPath) {
    AudioFile file(OpenRegularFile(AudioPathBeside(indexPath).c_str(), "rb"), std::fclose);
    if (file) {
        std::setvbuf(file.get(), nullptr, _IONBF, 0);
    }
    return file;
}

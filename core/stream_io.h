// File calls the core needs beyond plain stdio: 64-bit positions, single-byte reads and writes
// without the per-call lock (every stream of the core is used by one thread only), and resizing.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <system_error>

inline bool SeekStream(std::FILE* stream, std::int64_t position, int origin) {
#ifdef _WIN32
    return _fseeki64(stream, position, origin) == 0;
#else
    return fseeko(stream, static_cast<off_t>(position), origin) == 0;
#endif
}

// The position, or -1 on failure.
inline std::int64_t StreamPosition(std::FILE* stream) {
#ifdef _WIN32
    return _ftelli64(stream);
#else
    return ftello(stream);
#endif
}

inline int GetByte(std::FILE* stream) {
#ifdef _WIN32
    return _getc_nolock(stream);
#else
    return getc_unlocked(stream);
#endif
}

inline int PutByte(int byte, std::FILE* stream) {
#ifdef _WIN32
    return _putc_nolock(byte, stream);
#else
    return putc_unlocked(byte, stream);
#endif
}

// Closes an open stream and empties the field that held it.
inline void CloseStream(std::FILE*& stream) {
    if (stream != nullptr) {
        std::fclose(stream);
        stream = nullptr;
    }
}

// Cuts a file back, or makes it longer, to `size` bytes.
inline bool ResizeFile(const char* name, std::int64_t size) {
    std::error_code error;
    std::filesystem::resize_file(name, static_cast<std::uintmax_t>(size), error);
    return !error;
}

// Puts the file `from` in the place of `to` in one step, replacing any file there.
inline bool ReplaceFile(const char* from, const char* to) {
    std::error_code error;
    std::filesystem::rename(from, to, error);
    return !error;
}

inline void RemoveFile(const char* name) {
    std::error_code error;
    std::filesystem::remove(name, error);
}

// Whether a file or folder of that name exists; false also when that cannot be found out.
inline bool PathExists(const char* name) {
    std::error_code error;
    return std::filesystem::exists(name, error);
}

// True when both names lead to one existing file, whatever the spelling of the names.
inline bool SameFile(const char* name, const char* other) {
    std::error_code error;
    return std::filesystem::equivalent(name, other, error) && !error;
}

// Temporary folders and whole-file reads and writes for the tests.
#pragma once

#include <string>
#include <vector>

// A new empty folder under the system's temporary folder, removed with its contents at the end.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Path() const { return path_; }
    // The folder's path followed by the separator, as an open-file dialog's folder part.
    std::string Prefix() const;
    std::string File(const std::string& name) const;

private:
    std::string path_;
};

std::string ReadFileBytes(const std::string& path); // empty when the file cannot be read
void WriteFileBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);
std::vector<std::string> FilesIn(const std::string& folder); // names, sorted
void MakeFolder(const std::string& path);

// Folder names in four scripts, as UTF-8: what the Windows programs' names are, by their
// manifest, and what the Linux programs pass on as bytes.
const char* const kNamesInOtherScripts[] = {"トレーラー", "Трейлеры", "Reel 🎬", "Café crème"};

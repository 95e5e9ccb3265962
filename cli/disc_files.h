// The paths of a disc's files, as kovdisc is given them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

// The length of the folder part of an index path, its last separator included; 0 for a path
// without one, which names a file in the current folder.
std::int32_t FolderLength(const std::string& indexPath);

// R14T5.AUD in the folder of the index, whatever the index file is called.
std::string AudioPathBeside(const std::string& indexPath);

// The index file in a disc's folder.
std::string IndexPathIn(const std::string& folder);

// A folder name without the separators it may end in, unless it is nothing but one.
std::string TrimFolder(const std::string& folder);

// Empty when a name of one of a disc's files fits the file name buffer of the core; otherwise
// the sentence that says it is too long.
std::string NameLengthProblem(const std::string& name);

// Empty when the path names a text file that can be read, and the audio file beside it a name
// that fits and, if it is there, a regular file; otherwise a sentence that says what is wrong.
std::string IndexFileProblem(const std::string& path);

// Empty when the path leads, after any symbolic links, to a regular file or to nothing; for a
// folder, a named pipe, a device and the like, the sentence that says what it is.
std::string FileKindProblem(const std::string& path);

// A disc's or a source's index as kovdisc is given it: a folder stands for the index it holds,
// and `index` becomes that index's path. Empty, or for a folder without an index, the sentence
// that says what was looked for.
std::string ResolveIndex(std::string& index);

// The size of the audio file beside an index, or -1 when there is none or it cannot be sized.
std::int64_t AudioFileSize(const std::string& indexPath);

using AudioFile = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

// The audio file beside an index, opened to read without the stream's own buffer, for commands
// that read it into large buffers of their own; empty when it cannot be opened.
AudioFile OpenAudioToRead(const std::string& indexPath);

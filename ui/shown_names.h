// Trailer names as the window shows them. A name's bytes are Windows-1252 text, the code page of
// the Windows the discs were made on. Where the program's ANSI code page is UTF-8 (its manifest
// asks for that, and Windows 10 version 1903 and later grant it), a name is converted to UTF-8,
// so that it shows as before and two names that differ only in bytes of 0x80 and above stay
// two trailers; elsewhere its bytes pass as they are.
#pragma once

// The name `name` (up to its terminating 0) as the window's ANSI calls take it, in `shown`, a
// buffer of `size` bytes.
void ShowableName(const char* name, char* shown, int size);

// How many bytes of a list line its name takes: the line's first 8 characters, or fewer where
// the line is shorter.
int ShownNameLength(const char* line);

#include "shown_names.h"

#include <windows.h>

#include <cstring>

namespace {

const UINT kNameCodePage = 1252;
const int kNameCharacters = 8;

bool ProgramUsesUtf8() {
    return GetACP() == CP_UTF8;
}

} // namespace

void ShowableName(const char* name, char* shown, int size) {
    if (ProgramUsesUtf8()) {
        wchar_t wide[kNameCharacters + 1];
        const int characters =
            MultiByteToWideChar(kNameCodePage, 0, name, -1, wide, kNameCharacters + 1);
        if (characters > 0 &&
            WideCharToMultiByte(CP_UTF8, 0, wide, -1, shown, size, nullptr, nullptr) > 0) {
            return;
        }
    }
    std::strncpy(shown, name, static_cast<std::size_t>(size) - 1);
    shown[size - 1] = 0;
}

int ShownNameLength(const char* line) {
    const bool utf8 = ProgramUsesUtf8();
    int bytes = 0;
    for (int characters = 0; characters < kNameCharacters && line[bytes] != 0; ++characters) {
        ++bytes;
        // The bytes that continue a UTF-8 character.
        while (utf8 && (static_cast<unsigned char>(line[bytes]) & 0xC0) == 0x80) {
            ++bytes;
        }
    }
    return bytes;
}

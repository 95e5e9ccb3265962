#include "trailer_text.h"

#include <cstdio>

namespace {

char LowerCase(char character) {
    return character >= 'A' && character <= 'Z' ? static_cast<char>(character - 'A' + 'a')
                                                : character;
}

} // namespace

std::string TrailerName(const TrailerEntry& entry) {
    std::string name = entry.name; // the ninth character is always 0
    while (!name.empty() && name.back() == ' ') {
        name.pop_back();
    }
    return name;
}

std::string JsonName(const TrailerEntry& entry) {
    std::string text;
    for (const char character : TrailerName(entry)) {
        const unsigned char code = static_cast<unsigned char>(character);
        if (code < 0x80) {
            text += character;
        } else {
            text += static_cast<char>(0xC0 | (code >> 6));
            text += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return text;
}

std::string PrintableName(const TrailerEntry& entry) {
    std::string name = TrailerName(entry);
    for (char& character : name) {
        const unsigned char code = static_cast<unsigned char>(character);
        if (code < 0x20 || code == 0x7F) {
            character = '?';
        }
    }
    return name;
}

std::int32_t TrailerSeconds(const TrailerEntry& entry) {
    return entry.end / kBytesPerSecond;
}

std::string ListLine(const TrailerEntry& entry) {
    char line[64];
    std::snprintf(line, sizeof line, kListLineFormat, entry.name,
                  static_cast<int>(TrailerSeconds(entry)));
    return line;
}

std::string CountOf(std::int64_t count, const std::string& noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

bool SameIgnoringCase(const std::string& text, const std::string& other) {
    if (text.size() != other.size()) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (LowerCase(text[i]) != LowerCase(other[i])) {
            return false;
        }
    }
    return true;
}

#include "picks.h"

#include "trailer_text.h"

namespace {

// "#2", "#2 or #5", "#2, #5 or #7", from list positions.
std::string PositionsText(const std::vector<std::int32_t>& positions) {
    std::string text;
    for (std::size_t i = 0; i < positions.size(); ++i) {
        if (i > 0) {
            text += i + 1 == positions.size() ? " or " : ", ";
        }
        text += "#" + std::to_string(positions[i] + 1);
    }
    return text;
}

// A PICK of '#' and digits names a position, however many digits; any other PICK is a name.
bool IsPosition(const std::string& pick) {
    if (pick.size() < 2 || pick[0] != '#') {
        return false;
    }
    for (std::size_t i = 1; i < pick.size(); ++i) {
        if (pick[i] < '0' || pick[i] > '9') {
            return false;
        }
    }
    return true;
}

bool ResolvePosition(const DiscPair& discs, const std::string& sourceIndex, const std::string& pick,
                     std::int32_t& position, std::string& error) {
    const std::int32_t count = discs.SourceCount();
    // Counting stops once past every list position, so no number of digits overflows it.
    std::int32_t number = 0;
    for (std::size_t i = 1; i < pick.size() && number <= kMaxTrailers; ++i) {
        number = number * 10 + (pick[i] - '0');
    }
    if (number < 1 || number > count) {
        error =
            pick + " is out of range: " + sourceIndex + " holds " + CountOf(count, "trailer") + ".";
        return false;
    }
    position = number - 1;
    return true;
}

// An exact match first; without one, a match with letter case ignored.
bool ResolveName(const DiscPair& discs, const std::string& sourceIndex, const std::string& pick,
                 std::int32_t& position, std::string& error) {
    std::string name = pick;
    while (!name.empty() && name.back() == ' ') {
        name.pop_back();
    }
    std::vector<std::int32_t> exact;
    std::vector<std::int32_t> anyCase;
    for (std::int32_t i = 0; i < discs.SourceCount(); ++i) {
        const std::string trailer = TrailerName(discs.SourceTrailer(i));
        if (trailer == name) {
            exact.push_back(i);
        } else if (SameIgnoringCase(trailer, name)) {
            anyCase.push_back(i);
        }
    }
    if (exact.size() == 1) {
        position = exact[0];
        return true;
    }
    if (exact.size() > 1) {
        error = name + " names more than one trailer of " + sourceIndex +
                ": pick one by its position, " + PositionsText(exact) + ".";
        return false;
    }
    if (anyCase.size() == 1) {
        position = anyCase[0];
        return true;
    }
    if (anyCase.size() > 1) {
        error = "no trailer of " + sourceIndex + " is named exactly " + name +
                " and more than one is in other letter case: pick one by its position, " +
                PositionsText(anyCase) + ".";
        return false;
    }
    error = "no trailer of " + sourceIndex + " is named " + name + ".";
    return false;
}

} // namespace

bool ResolvePicks(const DiscPair& discs, const std::string& sourceIndex,
                  const std::vector<std::string>& picks, std::vector<std::int32_t>& positions,
                  std::string& error) {
    positions.clear();
    if (picks.empty()) {
        for (std::int32_t i = 0; i < discs.SourceCount(); ++i) {
            positions.push_back(i);
        }
        return true;
    }
    for (const std::string& pick : picks) {
        std::int32_t position = 0;
        const bool resolved = IsPosition(pick)
                                  ? ResolvePosition(discs, sourceIndex, pick, position, error)
                                  : ResolveName(discs, sourceIndex, pick, position, error);
        if (!resolved) {
            return false;
        }
        positions.push_back(position);
    }
    return true;
}

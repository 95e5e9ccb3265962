#include "recover_search.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <unordered_map>

#include "stream_io.h"

namespace {

// Blocks are found by a hash of their first bytes. Every block add copies is whole index units
// long, so every block has this many.
const std::size_t kHeadSize = kIndexUnit;
// The disc's audio is read in pieces of this size.
const std::size_t kPieceSize = std::size_t{1} << 20;

std::uint64_t HashOf(const unsigned char* bytes, std::size_t size) {
    std::uint64_t hash = 14695981039346656037ULL; // FNV-1a
    for (std::size_t i = 0; i < size; ++i) {
        hash = (hash ^ bytes[i]) * 1099511628211ULL;
    }
    return hash;
}

// A block being compared with the disc's audio from `start` on; `matched` bytes are equal.
struct Match {
    std::int64_t start;
    std::size_t block;
    std::int64_t matched;
};

// The disc's audio after the header, held from `base` to `base + bytes.size()`.
struct Window {
    std::vector<unsigned char> bytes;
    std::int64_t base = 0;

    const unsigned char* At(std::int64_t position) const {
        return bytes.data() + (position - base);
    }
};

class Search {
public:
    Search(std::FILE* discAudio, std::int64_t audioBytes, const std::vector<SourceBlock>& blocks,
           const std::vector<std::FILE*>& sourceAudio)
        : discAudio_(discAudio), size_(audioBytes), blocks_(blocks), sourceAudio_(sourceAudio),
          heads_(blocks.size()), sourcePiece_(kPieceSize) {}

    bool Run(Recovery& recovery);

private:
    bool ReadHeads();
    bool Fill(std::int64_t from, std::int64_t to);
    // Compares the match up to `limit` or its block's end. False on a read error; `ended` says
    // whether the match ended there, found whole or not.
    bool Advance(Match& match, std::int64_t limit, bool& ended);
    bool StartAt(std::int64_t position, std::int64_t limit);
    void Choose(Recovery& recovery) const;

    std::int64_t BlockSize(std::size_t block) const { return blocks_[block].record.end; }

    std::FILE* discAudio_;
    std::int64_t size_; // bytes after the header
    const std::vector<SourceBlock>& blocks_;
    const std::vector<std::FILE*>& sourceAudio_;
    std::vector<std::vector<unsigned char>> heads_;
    std::unordered_map<std::uint64_t, std::vector<std::size_t>> byHead_;
    Window window_;
    std::vector<unsigned char> sourcePiece_;
    std::vector<Match> active_;
    std::set<std::int64_t> pending_; // positions a sequence of blocks reaches, not yet searched
    std::set<std::int64_t> reached_;
    std::map<std::int64_t, std::vector<std::size_t>> whole_;   // blocks found at a position
    std::map<std::int64_t, std::vector<std::size_t>> partial_; // blocks the rest is the start of
};

bool Search::ReadHeads() {
    for (std::size_t b = 0; b < blocks_.size(); ++b) {
        std::FILE* const audio = sourceAudio_[blocks_[b].source];
        heads_[b].resize(kHeadSize);
        if (!SeekStream(audio, blocks_[b].from, SEEK_SET) ||
            !ReadTrailerAudio(audio, heads_[b].data(), kHeadSize)) {
            return false;
        }
        byHead_[HashOf(heads_[b].data(), kHeadSize)].push_back(b);
    }
    return true;
}

// Makes the window hold the audio from `from` to `to`, keeping what it holds of it already.
bool Search::Fill(std::int64_t from, std::int64_t to) {
    const std::int64_t held = window_.base + static_cast<std::int64_t>(window_.bytes.size());
    const std::int64_t kept = std::max<std::int64_t>(0, held - from);
    std::memmove(window_.bytes.data(), window_.bytes.data() + (from - window_.base),
                 static_cast<std::size_t>(kept));
    window_.bytes.resize(static_cast<std::size_t>(to - from));
    window_.base = from;
    const std::size_t wanted = static_cast<std::size_t>(to - from - kept);
    return std::fread(window_.bytes.data() + kept, 1, wanted, discAudio_) == wanted;
}

bool Search::Advance(Match& match, std::int64_t limit, bool& ended) {
    const SourceBlock& block = blocks_[match.block];
    const std::int64_t blockEnd = match.start + BlockSize(match.block);
    std::FILE* const audio = sourceAudio_[block.source];
    ended = false;
    while (match.start + match.matched < std::min(limit, blockEnd)) {
        const std::size_t piece = static_cast<std::size_t>(
            std::min<std::int64_t>(std::min(limit, blockEnd) - match.start - match.matched,
                                   static_cast<std::int64_t>(kPieceSize)));
        if (!SeekStream(audio, block.from + match.matched, SEEK_SET) ||
            !ReadTrailerAudio(audio, sourcePiece_.data(), piece)) {
            return false;
        }
        if (std::memcmp(window_.At(match.start + match.matched), sourcePiece_.data(), piece) != 0) {
            ended = true;
            return true;
        }
        match.matched += static_cast<std::int64_t>(piece);
    }
    if (match.matched == BlockSize(match.block)) {
        ended = true;
        whole_[match.start].push_back(match.block);
        if (reached_.count(blockEnd) == 0) {
            pending_.insert(blockEnd);
        }
    }
    return true;
}

// Starts comparing every block whose first bytes the audio has at `position`. Where less than
// a block's first bytes remain, the blocks they are the start of are noted instead.
bool Search::StartAt(std::int64_t position, std::int64_t limit) {
    reached_.insert(position);
    const std::int64_t rest = size_ - position;
    if (rest == 0) {
        return true;
    }
    if (rest < static_cast<std::int64_t>(kHeadSize)) {
        for (std::size_t b = 0; b < blocks_.size(); ++b) {
            if (std::memcmp(heads_[b].data(), window_.At(position),
                            static_cast<std::size_t>(rest)) == 0) {
                partial_[position].push_back(b);
            }
        }
        return true;
    }
    const auto candidates = byHead_.find(HashOf(window_.At(position), kHeadSize));
    if (candidates == byHead_.end()) {
        return true;
    }
    for (const std::size_t b : candidates->second) {
        if (std::memcmp(heads_[b].data(), window_.At(position), kHeadSize) != 0) {
            continue;
        }
        Match match{position, b, static_cast<std::int64_t>(kHeadSize)};
        bool ended = false;
        if (!Advance(match, limit, ended)) {
            return false;
        }
        if (!ended) {
            active_.push_back(match);
        }
    }
    return true;
}

bool Search::Run(Recovery& recovery) {
    if (!ReadHeads()) {
        return false;
    }
    pending_.insert(0);
    for (std::int64_t position = 0; position < size_;) {
        const std::int64_t limit =
            std::min(size_, position + static_cast<std::int64_t>(kPieceSize));
        // The first bytes of a block starting just before the limit lie after it.
        if (!Fill(position, std::min(size_, limit + static_cast<std::int64_t>(kHeadSize)))) {
            return false;
        }
        std::vector<Match> going;
        for (Match& match : active_) {
            bool ended = false;
            if (!Advance(match, limit, ended)) {
                return false;
            }
            if (!ended) {
                going.push_back(match);
            }
        }
        active_ = going;
        while (!pending_.empty() && *pending_.begin() < limit) {
            const std::int64_t start = *pending_.begin();
            pending_.erase(pending_.begin());
            if (!StartAt(start, limit)) {
                return false;
            }
        }
        position = limit;
    }
    // A block still matching when the audio ends is one the rest is the start of.
    for (const Match& match : active_) {
        partial_[match.start].push_back(match.block);
    }
    for (const std::int64_t start : pending_) {
        reached_.insert(start); // only the end of the audio can be left
    }
    Choose(recovery);
    return true;
}

// The most bytes explained from each position reached, and the sequence that explains them.
void Search::Choose(Recovery& recovery) const {
    std::map<std::int64_t, std::int64_t> most;
    for (auto position = reached_.rbegin(); position != reached_.rend(); ++position) {
        std::int64_t best = 0;
        const auto found = whole_.find(*position);
        if (found != whole_.end()) {
            for (const std::size_t b : found->second) {
                best = std::max(best, BlockSize(b) + most.at(*position + BlockSize(b)));
            }
        }
        most[*position] = best;
    }
    std::int64_t position = 0;
    while (most.at(position) > 0) {
        std::vector<std::size_t> here = whole_.at(position);
        std::sort(here.begin(), here.end());
        FoundBlock chosen{blocks_.size(), {}};
        for (const std::size_t b : here) {
            const bool best = BlockSize(b) + most.at(position + BlockSize(b)) == most.at(position);
            if (best && chosen.block == blocks_.size()) {
                chosen.block = b;
            } else if (best && BlockSize(b) == BlockSize(chosen.block)) {
                chosen.alsoMatching.push_back(b); // the same bytes as the chosen block
            }
        }
        recovery.found.push_back(chosen);
        position += BlockSize(chosen.block);
    }
    recovery.foundBytes = position;
    if (position == size_) {
        recovery.rest = RestKind::None;
        return;
    }
    const auto partial = partial_.find(position);
    if (partial == partial_.end()) {
        recovery.rest = RestKind::Unmatched;
        return;
    }
    recovery.rest = RestKind::Unfinished;
    recovery.restBlock = *std::min_element(partial->second.begin(), partial->second.end());
}

} // namespace

bool SearchBlocks(std::FILE* discAudio, std::int64_t audioSize,
                  const std::vector<SourceBlock>& blocks,
                  const std::vector<std::FILE*>& sourceAudio, Recovery& recovery) {
    recovery = Recovery();
    if (!SeekStream(discAudio, kAudioHeaderSize, SEEK_SET)) {
        return false;
    }
    Search search(discAudio, audioSize - kAudioHeaderSize, blocks, sourceAudio);
    return search.Run(recovery);
}

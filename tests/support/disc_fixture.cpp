#include "disc_fixture.h"

void DiscTest::OpenSource(const std::string& index, const std::string& audio) {
    WriteFileBytes(source.File(kIndexFileName), index);
    WriteFileBytes(source.File(kAudioFileName), audio);
    ASSERT_TRUE(discs.OpenSourceDisc(source.File(kIndexFileName).c_str(),
                                     static_cast<int32_t>(source.Prefix().size())));
}

bool DiscTest::Continue() {
    return discs.OpenDestinationDisc(false, destination.File(kIndexFileName).c_str(),
                                     static_cast<int32_t>(destination.Prefix().size()));
}

std::string DiscTest::DestinationIndex() const {
    return ReadFileBytes(destination.File(kIndexFileName));
}

std::string DiscTest::DestinationAudio() const {
    return ReadFileBytes(destination.File(kAudioFileName));
}

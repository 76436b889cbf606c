// SpanDSP's DTMF receiver, written by nobody here, must hear every
// sounding key once, in order, and nothing for the silent ones.
#include "InteropFiles.h"

#include <spandsp.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

// The receiver's own digit buffer is small; it is drained after every slot.
constexpr int kDigitsPerDrain = MAX_DTMF_DIGITS;

std::int16_t linearFromUnsigned8(unsigned char sample)
{
    return static_cast<std::int16_t>((sample - 128) << 8);
}

std::string keysHeard(const interop::ScratchFile& wave)
{
    const std::vector<unsigned char> bytes = interop::fileSamples(wave.path);
    std::vector<std::int16_t> linear;
    for (const unsigned char byte : bytes) {
        linear.push_back(linearFromUnsigned8(byte));
    }
    dtmf_rx_state_t* receiver = dtmf_rx_init(nullptr, nullptr, nullptr);
    if (receiver == nullptr) {
        ADD_FAILURE() << "dtmf_rx_init failed";
        return {};
    }
    std::string heard;
    char digits[kDigitsPerDrain + 1];
    for (std::size_t start = 0; start < linear.size(); start += interop::kSlotBytes) {
        dtmf_rx(receiver, linear.data() + start, static_cast<int>(interop::kSlotBytes));
        heard.append(digits, dtmf_rx_get(receiver, digits, kDigitsPerDrain));
    }
    dtmf_rx_free(receiver);
    return heard;
}

std::string narrowAscii(const std::u16string& keys)
{
    return {keys.begin(), keys.end()};
}

TEST(SpandspReceiveTest, HearsAllSixteenKeysOnceInOrder)
{
    EXPECT_EQ(keysHeard(interop::ScratchFile(interop::kSixteenKeys, "spandsp_sixteen.wav")), "123A456B789C*0#D");
}

TEST(SpandspReceiveTest, HearsOnlyTheSoundingKeysBetweenSilentSlots)
{
    EXPECT_EQ(keysHeard(interop::ScratchFile(u"1a2 3", "spandsp_silent.wav")), "123");
    EXPECT_EQ(keysHeard(interop::ScratchFile(u"abc d\u00e9", "spandsp_all_silent.wav")), "");
}

TEST(SpandspReceiveTest, HearsEveryKeyOfALongString)
{
    const std::u16string keys = interop::keysRepeated(200);
    EXPECT_EQ(keysHeard(interop::ScratchFile(keys, "spandsp_long.wav")), narrowAscii(keys));
}

} // namespace

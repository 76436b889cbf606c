#include "BenchWriters.h"

#include <spandsp.h>

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

constexpr std::size_t kHeaderBytes = 44;
constexpr int kToneSamples = 2000;
constexpr std::size_t kSlotBytes = 4000;
constexpr int kToneMs = 250;
constexpr int kPauseMs = 250;
constexpr uint8_t kSilence = 128;
constexpr char kKeypad[] = "123A456B789C*0#D";
constexpr int kRowHz[4] = {697, 770, 852, 941};
constexpr int kColumnHz[4] = {1209, 1336, 1477, 1633};
// Each of the module's tones peaks at 63 of 128 steps, -6.2 dB below full
// scale; SpanDSP puts a full-scale sine at +3.14 dBm0, so -3 dBm0 a tone
// matches it, with no twist between the two.
constexpr int kSpandspToneLevelDbm0 = -3;
constexpr int kSpandspTwistDb = 0;

void littleEndianPut(uint8_t* at, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i) {
        at[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

// RIFF WAVE, PCM, one channel, 8000 samples/s, 8 bits.
void waveHeaderFill(uint8_t* header, uint32_t dataBytes)
{
    std::memcpy(header, "RIFF", 4);
    littleEndianPut(header + 4, dataBytes + 36, 4);
    std::memcpy(header + 8, "WAVEfmt ", 8);
    littleEndianPut(header + 16, 16, 4);
    littleEndianPut(header + 20, 1, 2);
    littleEndianPut(header + 22, 1, 2);
    littleEndianPut(header + 24, 8000, 4);
    littleEndianPut(header + 28, 8000, 4);
    littleEndianPut(header + 32, 1, 2);
    littleEndianPut(header + 34, 8, 2);
    std::memcpy(header + 36, "data", 4);
    littleEndianPut(header + 40, dataBytes, 4);
}

// The module's write pattern, through a stream with the C library's own
// buffering as the module's; slotFill(i, slot) gives slot i's 4000 bytes.
template <typename SlotFill>
bool slotsWrite(const std::string& path, std::size_t slotCount, SlotFill slotFill)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        return false;
    }
    // The module's stream buffer, so that every writer makes the same writes.
    static char streamBuffer[64 * 1024];
    std::setvbuf(file, streamBuffer, _IOFBF, sizeof streamBuffer);
    uint8_t header[kHeaderBytes] = {};
    bool written = std::fwrite(header, 1, kHeaderBytes, file) == kHeaderBytes;
    static uint8_t slot[kSlotBytes];
    for (std::size_t i = 0; written && i < slotCount; ++i) {
        written = std::fwrite(slotFill(i, slot), 1, kSlotBytes, file) == kSlotBytes;
    }
    waveHeaderFill(header, static_cast<uint32_t>(slotCount * kSlotBytes));
    written =
        written && std::fseek(file, 0, SEEK_SET) == 0 && std::fwrite(header, 1, kHeaderBytes, file) == kHeaderBytes;
    return std::fclose(file) == 0 && written;
}

void scalarToneFill(char key, uint8_t* slot)
{
    const char* found = key ? std::strchr(kKeypad, key) : nullptr;
    const long index = found ? found - kKeypad : -1;
    const double lowStep = (index < 0 ? 0 : kRowHz[index / 4]) * 6.283185307179586 * 0.000125;
    const double highStep = (index < 0 ? 0 : kColumnHz[index % 4]) * 6.283185307179586 * 0.000125;
    for (int i = 0; i < kToneSamples; ++i) {
        const double x = i;
        const double sum = std::sin(x * highStep) + std::sin(x * lowStep);
        slot[i] = static_cast<uint8_t>(128 + static_cast<int>(sum * 63.0));
    }
    std::memset(slot + kToneSamples, kSilence, kSlotBytes - kToneSamples);
}

} // namespace

bool spandspWaveWrite(const std::string& path, const std::string& keys)
{
    dtmf_tx_state_t* generator = dtmf_tx_init(nullptr);
    if (!generator) {
        return false;
    }
    dtmf_tx_set_level(generator, kSpandspToneLevelDbm0, kSpandspTwistDb);
    dtmf_tx_set_timing(generator, kToneMs, kPauseMs);
    int16_t samples[kSlotBytes];
    const bool written = slotsWrite(path, keys.size(), [&](std::size_t i, uint8_t* slot) {
        // One digit at a time: the generator queues at most 128.
        dtmf_tx_put(generator, &keys[i], 1);
        const int produced = dtmf_tx(generator, samples, static_cast<int>(kSlotBytes));
        for (int j = 0; j < static_cast<int>(kSlotBytes); ++j) {
            const int sample = j < produced ? samples[j] : 0;
            slot[j] = static_cast<uint8_t>((sample >> 8) + 128);
        }
        return slot;
    });
    dtmf_tx_free(generator);
    return written;
}

bool scalarWaveWrite(const std::string& path, const std::string& keys)
{
    return slotsWrite(path, keys.size(), [&](std::size_t i, uint8_t* slot) {
        scalarToneFill(keys[i], slot);
        return slot;
    });
}

bool imageWaveWrite(const std::string& path, const std::vector<uint8_t>& image)
{
    const std::size_t slotCount = (image.size() - kHeaderBytes) / kSlotBytes;
    return slotsWrite(path, slotCount,
                      [&](std::size_t i, uint8_t*) { return image.data() + kHeaderBytes + i * kSlotBytes; });
}

std::vector<uint8_t> scalarWaveImage(const std::string& keys)
{
    std::vector<uint8_t> image(kHeaderBytes + keys.size() * kSlotBytes);
    waveHeaderFill(image.data(), static_cast<uint32_t>(keys.size() * kSlotBytes));
    for (std::size_t i = 0; i < keys.size(); ++i) {
        scalarToneFill(keys[i], image.data() + kHeaderBytes + i * kSlotBytes);
    }
    return image;
}

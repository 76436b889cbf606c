#include "ReliabilitySupport.h"

#include <cstdint>

#if defined(__SANITIZE_ADDRESS__)
#  define VUZ_LEAK_CHECKS 1
#elif defined(__has_feature)
#  if __has_feature(address_sanitizer)
#    define VUZ_LEAK_CHECKS 1
#  endif
#endif
#if defined(VUZ_LEAK_CHECKS)
#  include <sanitizer/lsan_interface.h>
#endif

namespace {

constexpr uint32_t kRiffOverheadBytes = 36;
constexpr uint32_t kSampleRateHz = 8000;

std::string headerProblem(const Bytes& bytes, uint32_t dataSize)
{
    const ParsedWaveHeader header = waveHeaderParse(bytes);
    if (header.riffId != "RIFF" || header.waveId != "WAVE" || header.fmtId != "fmt ") {
        return "chunk tags";
    }
    if (header.riffSize != kRiffOverheadBytes + dataSize) {
        return "RIFF size " + std::to_string(header.riffSize);
    }
    const bool formatRight = header.fmtSize == 16 && header.formatTag == 1 && header.channelCount == 1
        && header.sampleRate == kSampleRateHz && header.byteRate == kSampleRateHz && header.blockAlign == 1
        && header.bitsPerSample == 8;
    if (!formatRight) {
        return "format chunk";
    }
    if (header.dataId != "data" || header.dataSize != dataSize) {
        return "data chunk header";
    }
    return {};
}

} // namespace

std::string waveShapeProblem(const Bytes& bytes, std::size_t slotCount)
{
    if (bytes.size() != kHeaderBytes + kSlotSize * slotCount) {
        return "size " + std::to_string(bytes.size()) + " for " + std::to_string(slotCount) + " slots";
    }
    const std::string header = headerProblem(bytes, static_cast<uint32_t>(kSlotSize * slotCount));
    if (!header.empty()) {
        return header;
    }
    for (std::size_t slot = 0; slot < slotCount; ++slot) {
        const std::size_t pause = kHeaderBytes + slot * kSlotSize + kToneBytes;
        for (std::size_t i = pause; i < pause + kSlotSize - kToneBytes; ++i) {
            if (bytes[i] != kSilence) {
                return "pause byte " + std::to_string(i) + " is " + std::to_string(bytes[i]);
            }
        }
    }
    return {};
}

bool leaksFound()
{
#if defined(VUZ_LEAK_CHECKS)
    return __lsan_do_recoverable_leak_check() != 0;
#else
    return false;
#endif
}

// The exported call: key string in, complete WAVE file out.
#include "DTMFWave.h"

#include "CoreCall.h"
#include "CoreOutput.h"
#include "DTMFSequence.h"
#include "DTMFTone.h"
#include "ModuleState.h"
#include "WaveHeader.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>

// The platform layer has its own name for the UTF-16 unit; it must be the
// very type the public header hands over.
static_assert(std::is_same_v<DTMFWideChar, core::WideChar>, "the core's wide character is the ABI's");

std::FILE* g_outputFile;
int32_t g_digitCount;

namespace {

// A key string repeats its keys, and a key's tone is the same bytes every
// time it sounds: within one call each distinct key is synthesised once, and
// every character that is no key shares one silent tone. Nothing is kept
// from one call to the next.
constexpr int32_t kSilentToneIndex = kKeypadKeyCount;
constexpr int32_t kDistinctToneCount = kKeypadKeyCount + 1;
uint8_t g_callTones[kDistinctToneCount][kToneSamples];
bool g_callToneMade[kDistinctToneCount];

// Puts key's tone at the start of g_sampleBuffer, as DTMFToneGenerate does.
void callToneGenerate(signed char key)
{
    const int32_t keyIndex = DTMFKeyIndexFind(key);
    const int32_t index = keyIndex < 0 ? kSilentToneIndex : keyIndex;
    if (g_callToneMade[index]) {
        std::memcpy(g_sampleBuffer, g_callTones[index], kToneSamples);
        return;
    }
    DTMFToneGenerate(key, kToneDurationMs);
    std::memcpy(g_callTones[index], g_sampleBuffer, kToneSamples);
    g_callToneMade[index] = true;
}

#if defined(ELIBACC)
constexpr int kModuleRefusedErrno = ELIBACC; // the class library did not take the module
#else
constexpr int kModuleRefusedErrno = EPERM;
#endif

// The narrow key string lives on the heap: its size follows the caller's
// input, and a long key string would overflow the stack.
struct NarrowKeys {
    std::unique_ptr<char[]> text;
    std::size_t length = 0;
};

// Converts keys to the ANSI code page. Fails with EFBIG when the result
// would not fit one file, with ENOMEM when no buffer can be had, and with
// the conversion's own reason when the system cannot convert the keys.
// Null keys give the empty string, and so a file with no slots.
bool narrowKeysConvert(const DTMFWideChar* keys, NarrowKeys* narrow)
{
    // Every wide character becomes at least one narrow byte, so an
    // over-long string is refused before it is even measured.
    if (keys && core::wideLength(keys) > DTMFWAVE_MAX_KEYS) {
        errno = EFBIG;
        return false;
    }
    // The buffer is sized by the conversion itself: a code page of several
    // bytes a character (UTF-8 among them) needs more than two a unit.
    if (keys && !core::ansiLengthMeasure(keys, &narrow->length)) {
        return false;
    }
    if (narrow->length > DTMFWAVE_MAX_KEYS) {
        errno = EFBIG;
        return false;
    }
    narrow->text.reset(new (std::nothrow) char[narrow->length + 1]);
    if (!narrow->text) {
        errno = ENOMEM;
        return false;
    }
    narrow->text[0] = '\0';
    if (keys && core::ansiFromWide(keys, narrow->text.get(), narrow->length + 1) != narrow->length) {
        // Measured and converted by the same system call: a difference
        // means the conversion failed the second time.
        errno = EILSEQ;
        return false;
    }
    return true;
}

// Everything between opening and closing. The slot count is known before
// the first byte, so the header written first is already the final one: a
// pipe or a terminal, which cannot go back, still receives a valid file.
// Where the output can seek, the header is written again over its first
// form once the slots are in, from the slots actually written.
bool waveStreamWrite(const NarrowKeys& narrow)
{
    DTMFWaveHeaderFill(static_cast<int32_t>(narrow.length));
    if (!core::fileWrite(g_outputFile, &g_waveHeader, kWaveHeaderBytes)) {
        return false;
    }
    if (DTMFSequenceWrite(narrow.text.get()) != 1) {
        return false;
    }
    DTMFWaveHeaderFill(g_digitCount);
    if (core::outputSeekable(g_outputFile)
        && !(core::fileRewind(g_outputFile) && core::fileWrite(g_outputFile, &g_waveHeader, kWaveHeaderBytes))) {
        return false;
    }
    return core::fileFlush(g_outputFile);
}

// Writes the whole file, or leaves the path as it was. On failure errno
// holds the reason given by the operation that failed.
bool waveFileWrite(const DTMFWideChar* keys, const DTMFWideChar* path)
{
    // Synthesis writes only the first 2000 bytes of each slot; the rest
    // keeps this zero level and is the pause after every tone.
    std::memset(g_sampleBuffer, kSilenceLevel, sizeof g_sampleBuffer);
    g_digitCount = 0;

    if (!path) {
        errno = EINVAL;
        return false;
    }
    // Converted before the file is opened, so that a key string that cannot
    // be written leaves an existing file untouched.
    NarrowKeys narrow;
    if (!narrowKeysConvert(keys, &narrow)) {
        return false;
    }
    g_outputFile = core::outputOpen(path, kWaveHeaderBytes + std::uint64_t{kSlotBytes} * narrow.length);
    if (!g_outputFile) {
        return false;
    }
    if (!waveStreamWrite(narrow)) {
        core::outputAbandon(g_outputFile);
        return false;
    }
    return core::outputCommit(g_outputFile);
}

} // namespace

int32_t DTMFSequenceWrite(const char* narrowKeys)
{
    // The string cannot change during the loop: measure it once.
    const std::size_t length = std::strlen(narrowKeys);
    std::memset(g_callToneMade, 0, sizeof g_callToneMade);
    for (std::size_t i = 0; i < length; ++i) {
        callToneGenerate(static_cast<signed char>(narrowKeys[i]));
        if (!core::fileWrite(g_outputFile, g_sampleBuffer, kSlotBytes)) {
            return 0;
        }
        ++g_digitCount;
    }
    return 1;
}

int32_t DTMFWAVE_CALL DTMFWaveCreate(const DTMFWideChar* keys, const DTMFWideChar* path)
{
    if (DTMFModuleRefusalQuery()) {
        core::failureReport(kModuleRefusedErrno);
        return DTMFWAVE_RESULT;
    }
    // The working state is module-static, so calls take turns.
    core::callLockAcquire();
    const core::ErrorState entry = core::errorStateSave();
    if (waveFileWrite(keys, path)) {
        core::errorStateRestore(entry);
    } else {
        core::failureReport(errno);
    }
    core::callLockRelease();
    return DTMFWAVE_RESULT;
}

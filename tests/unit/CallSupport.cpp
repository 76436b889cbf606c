#include "CallSupport.h"

#include "DTMFTone.h"
#include "WaveFileCheck.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <unistd.h>

std::vector<uint8_t> slotExpected(char key)
{
    std::memset(g_sampleBuffer, kSilence, sizeof g_sampleBuffer);
    DTMFToneGenerate(static_cast<signed char>(key), 250);
    return std::vector<uint8_t>(g_sampleBuffer, g_sampleBuffer + kSlotSize);
}

std::vector<uint8_t> waveFileExpected(const std::string& narrowKeys)
{
    std::vector<uint8_t> file = waveHeaderExpected(static_cast<uint32_t>(narrowKeys.size()));
    for (const char key : narrowKeys) {
        const std::vector<uint8_t> slot = slotExpected(key);
        file.insert(file.end(), slot.begin(), slot.end());
    }
    return file;
}

int32_t waveCreate(const std::u16string& keys, const std::string& path)
{
    return DTMFWaveCreate(keys.c_str(), widen(path).c_str());
}

ChildCall waveCreateInChild(const std::function<bool()>& prepare, const DTMFWideChar* keys, const DTMFWideChar* path)
{
    int channel[2];
    if (pipe(channel) != 0) {
        return {false, 0, errno};
    }
    const int child = childStart([&] {
        close(channel[0]);
        ChildCall outcome{false, 0, 0};
        if (prepare()) {
            errno = 0;
            outcome.result = DTMFWaveCreate(keys, path);
            outcome.errorNumber = errno;
            outcome.prepared = true;
        }
        const ssize_t sent = write(channel[1], &outcome, sizeof outcome);
        return sent == static_cast<ssize_t>(sizeof outcome) ? 0 : 1;
    });
    close(channel[1]);
    ChildCall outcome{false, 0, 0};
    const ssize_t received = child > 0 ? read(channel[0], &outcome, sizeof outcome) : -1;
    close(channel[0]);
    const int childResult = childWait(child);
    if (received != static_cast<ssize_t>(sizeof outcome) || childResult != 0) {
        ADD_FAILURE() << "the child call did not report back (exit " << childResult << ")";
        return {true, 0, 0};
    }
    return outcome;
}

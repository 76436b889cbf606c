// Helpers for tests that reach the module's internals: reference files built
// from the synthesis routine, calls by path string, and calls made in a
// forked child whose limits or identity the test changes.
#ifndef VUZIRIZORURUZA_TESTS_CALLSUPPORT_H
#define VUZIRIZORURUZA_TESTS_CALLSUPPORT_H

#include "DTMFWave.h"
#include "TestSupport.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The first 4000 bytes of g_sampleBuffer after the buffer was reset to 128
// and key rendered at 250 ms: one slot as the file must hold it.
std::vector<uint8_t> slotExpected(char key);

// The whole file a lone call must write for the narrow key string: the
// test's own header followed by one expected slot per byte.
std::vector<uint8_t> waveFileExpected(const std::string& narrowKeys);

// DTMFWaveCreate with a UTF-16 key string and an ASCII path.
int32_t waveCreate(const std::u16string& keys, const std::string& path);

struct ChildCall {
    bool prepared; // false: the child could not set itself up (skip)
    int32_t result;
    int errorNumber;
};

// Forks; the child runs prepare (fileSizeLimitSet, unprivilegedUserBecome),
// then DTMFWaveCreate, and reports back its result and errno. The parent's
// state stays as it was.
ChildCall waveCreateInChild(const std::function<bool()>& prepare, const DTMFWideChar* keys, const DTMFWideChar* path);

#endif

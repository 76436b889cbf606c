// The exported call's internals: the output stream, the slot count and the
// loop that writes one slot per narrow key character.
#ifndef VUZIRIZORURUZA_DTMFSEQUENCE_H
#define VUZIRIZORURUZA_DTMFSEQUENCE_H

#include <cstdint>
#include <cstdio>

// The stream of the file the current call writes. After a call it still
// names the stream that call closed; nothing reads it between calls.
extern std::FILE* g_outputFile;

// Slots written so far by the current call; it sets the data size.
extern int32_t g_digitCount;

// Renders every character of the null-terminated narrowKeys as one slot of
// g_outputFile: its tone in the first 2000 bytes, silence in the next 2000.
// Returns 1, or 0 as soon as a write fails (errno then tells why).
int32_t DTMFSequenceWrite(const char* narrowKeys);

#endif

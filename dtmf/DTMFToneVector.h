// Tone synthesis through the vector forms of the C library's sine, for
// x86-64 builds against glibc, whose libmvec carries them.
#ifndef VUZIRIZORURUZA_DTMFTONEVECTOR_H
#define VUZIRIZORURUZA_DTMFTONEVECTOR_H

#include <cstdint>

// Whether this processor (and its operating system) runs each instruction set.
bool DTMFAvx512SupportCheck();
bool DTMFAvx2SupportCheck();
bool DTMFSse2SupportCheck();

// The same fill as the scalar sine, 8, 4 and 2 samples at a time.
void DTMFToneAvx512SamplesFill(uint8_t* samples, int32_t first, int32_t end, double lowStep, double highStep);
void DTMFToneAvx2SamplesFill(uint8_t* samples, int32_t first, int32_t end, double lowStep, double highStep);
void DTMFToneSse2SamplesFill(uint8_t* samples, int32_t first, int32_t end, double lowStep, double highStep);

#endif

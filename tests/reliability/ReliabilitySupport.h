// What every reliability test needs beyond TestSupport: the bytes a lone
// call writes, the shape a complete file must have, and leak checks.
#ifndef VUZIRIZORURUZA_TESTS_RELIABILITYSUPPORT_H
#define VUZIRIZORURUZA_TESTS_RELIABILITYSUPPORT_H

#include "DTMFWave.h"
#include "TestSupport.h"

#include <cstddef>
#include <string>

// DTMFWaveCreate on an ASCII key string and path; returns errno after it.
int waveCreateErrno(const std::string& keys, const std::string& path, int entryErrno = 0);

// The bytes of one undisturbed call, made once per key string in a private
// folder and remembered.
const Bytes& loneCallBytes(const std::string& keys);

// Empty when bytes is a complete file of slotCount slots (size, every header
// field, the silence half of every slot); otherwise what is wrong with it.
std::string waveShapeProblem(const Bytes& bytes, std::size_t slotCount);

// Under LeakSanitizer: whether memory is unreachable now. Elsewhere false.
bool leaksFound();

#endif

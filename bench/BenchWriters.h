// The writers the module is timed against. Each writes the same file as the
// module (a 44-byte header, then one 4000-byte slot per key: 250 ms of tone,
// 250 ms of silence) with the module's write pattern: a placeholder header,
// one write per slot, then the filled header over the placeholder.
#ifndef VUZIRIZORURUZA_BENCHWRITERS_H
#define VUZIRIZORURUZA_BENCHWRITERS_H

#include <cstdint>
#include <string>
#include <vector>

// The peer: SpanDSP's table-oscillator DTMF generator (dtmf_tx), its 16-bit
// samples taken to 8-bit unsigned PCM.
bool spandspWaveWrite(const std::string& path, const std::string& keys);

// The plain scalar writer: the library sine for every sample, in this file's
// own arithmetic, independent of the module's code.
bool scalarWaveWrite(const std::string& path, const std::string& keys);

// The floor: a finished file image, written slot by slot as the others do.
bool imageWaveWrite(const std::string& path, const std::vector<uint8_t>& image);

// The whole file the scalar writer produces, in memory.
std::vector<uint8_t> scalarWaveImage(const std::string& keys);

#endif

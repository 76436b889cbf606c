// glibc's libmvec holds the C library's sine in vector forms of 2, 4 and 8
// lanes. GCC calls them from a loop marked `omp simd` once sin is declared
// with simd variants. This file alone is built with -fopenmp-simd and
// -fno-math-errno (the vector forms never set errno): every other loop of the
// module keeps the scalar sine. No -ffast-math: each lane computes the same
// IEEE-754 products, sums and truncations as the scalar loop.
#include "DTMFToneVector.h"

#include "DTMFTone.h"

#include <cmath>
#include <cstring>

// Inside the braces, so that the pragma meets the declaration itself
// rather than an extern "C" prefix, which clang refuses.
extern "C" {
#pragma omp declare simd notinbranch
double sin(double) noexcept;
}

namespace {

// GCC's vector loops step 16 or 32 samples at a time and leave a remainder
// to a scalar loop of two library sines a sample. The loop is therefore run
// over whole blocks of 32 samples only; a last, partial block is computed
// whole by a loop of fixed length, and only its first samples are kept.
constexpr int32_t kBlockSamples = 32;

// The scalar loop's sample, word for word.
[[gnu::always_inline]] inline uint8_t toneSample(int32_t i, double lowStep, double highStep)
{
    const double x = static_cast<double>(i);
    const double sum = sin(x * highStep) + sin(x * lowStep);
    const int32_t offset = static_cast<int32_t>(sum * kToneAmplitude);
    return static_cast<uint8_t>(kSilenceLevel + offset);
}

// Inlined into each path, which sets the instruction set; Lanes picks the
// vector form of the sine: 8 _ZGVeN8v_sin, 4 _ZGVdN4v_sin, 2 _ZGVbN2v_sin.
template <int Lanes>
[[gnu::always_inline]] inline void rangeFill(uint8_t* samples, int32_t first, int32_t end, double lowStep,
                                             double highStep)
{
#pragma omp simd simdlen(Lanes)
    for (int32_t i = first; i < end; ++i) {
        samples[i] = toneSample(i, lowStep, highStep);
    }
}

template <int Lanes>
[[gnu::always_inline]] inline void samplesFill(uint8_t* samples, int32_t first, int32_t end, double lowStep,
                                               double highStep)
{
    const int32_t blocksEnd = first + (end - first) / kBlockSamples * kBlockSamples;
    rangeFill<Lanes>(samples, first, blocksEnd, lowStep, highStep);
    if (blocksEnd < end) {
        uint8_t block[kBlockSamples];
#pragma omp simd simdlen(Lanes)
        for (int32_t lane = 0; lane < kBlockSamples; ++lane) {
            block[lane] = toneSample(blocksEnd + lane, lowStep, highStep);
        }
        std::memcpy(samples + blocksEnd, block, static_cast<std::size_t>(end - blocksEnd));
    }
}

} // namespace

bool DTMFAvx512SupportCheck()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f");
}

bool DTMFAvx2SupportCheck()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

bool DTMFSse2SupportCheck()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("sse2");
}

// Each target attribute keeps a line of its own; clang-format 14 would pull
// it onto its function's line.
// clang-format off
__attribute__((target("avx512f")))
void DTMFToneAvx512SamplesFill(uint8_t* samples, int32_t first, int32_t end, double lowStep, double highStep)
{
    samplesFill<8>(samples, first, end, lowStep, highStep);
}

__attribute__((target("avx2")))
void DTMFToneAvx2SamplesFill(uint8_t* samples, int32_t first, int32_t end, double lowStep, double highStep)
{
    samplesFill<4>(samples, first, end, lowStep, highStep);
}
// clang-format on

void DTMFToneSse2SamplesFill(uint8_t* samples, int32_t first, int32_t end, double lowStep, double highStep)
{
    samplesFill<2>(samples, first, end, lowStep, highStep);
}

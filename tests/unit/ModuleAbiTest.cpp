// The built shared object as a host sees it: loaded with dlopen, the call
// found by its plain name, nothing of the internals reachable.
#include "DTMFWave.h"
#include "WaveFileCheck.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

namespace {

using WaveCreateFunction = int32_t (*)(const DTMFWideChar*, const DTMFWideChar*);

struct LoadedModule {
    LoadedModule() : handle(dlopen(VUZ_MODULE_PATH, RTLD_NOW | RTLD_LOCAL)) {}
    ~LoadedModule()
    {
        if (handle) {
            dlclose(handle);
        }
    }
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;
    void* handle;
};

} // namespace

TEST(ModuleAbi, HostLoadsTheModuleAndCallsDTMFWaveCreate)
{
    const LoadedModule module;
    ASSERT_NE(module.handle, nullptr) << dlerror();
    const auto waveCreate = reinterpret_cast<WaveCreateFunction>(dlsym(module.handle, "DTMFWaveCreate"));
    ASSERT_NE(waveCreate, nullptr) << dlerror();

    const TempFolder folder;
    const std::u16string path = widen(folder.file("host.wav"));
    ASSERT_EQ(waveCreate(u"1#", path.c_str()), DTMFWAVE_RESULT);
    const std::vector<uint8_t> file = fileBytes(folder.file("host.wav"));
    expectWaveFileShape(file, 2);
    ASSERT_EQ(file.size(), kHeaderBytes + 2 * kSlotSize);

    const uint8_t* firstSlot = file.data() + kHeaderBytes;
    const uint8_t* secondSlot = firstSlot + kSlotSize;
    EXPECT_EQ(std::vector<uint8_t>(firstSlot, firstSlot + 8),
              (std::vector<uint8_t>{128, 212, 243, 209, 140, 90, 85, 111}));
    const DetectedPair one = dtmfPairDetect(firstSlot, kToneBytes);
    const DetectedPair hash = dtmfPairDetect(secondSlot, kToneBytes);
    EXPECT_EQ(std::make_pair(one.lowHz, one.highHz), std::make_pair(697, 1209));
    EXPECT_EQ(std::make_pair(hash.lowHz, hash.highHz), std::make_pair(941, 1477));
    for (const uint8_t* slot : {firstSlot, secondSlot}) {
        EXPECT_EQ(std::vector<uint8_t>(slot + kToneBytes, slot + kSlotSize),
                  std::vector<uint8_t>(kSlotSize - kToneBytes, kSilence));
    }
}

TEST(ModuleAbi, InternalsAreNotVisible)
{
    const LoadedModule module;
    ASSERT_NE(module.handle, nullptr) << dlerror();
    for (const char* name : {"DTMFToneGenerate", "_Z16DTMFToneGenerateai", "DTMFSequenceWrite",
                             "_Z17DTMFSequenceWritePKc", "g_sampleBuffer", "g_waveHeader", "g_outputFile",
                             "g_digitCount", "_ZN4core12ansiFromWideEPKDsPcm", "_ZN4core9fileWriteEP8_IO_FILEPKvm"}) {
        EXPECT_EQ(dlsym(module.handle, name), nullptr) << name;
    }
}

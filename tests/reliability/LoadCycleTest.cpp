// A host that loads the module, calls it and unloads it, over and over: the
// class library's chain of extension modules is back to what it was after
// every unload, the module really leaves the process, and neither
// descriptors nor memory pile up.
#include "ClassLibrary.h"
#include "ReliabilitySupport.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <iostream>

namespace {

constexpr int kLoadCycles = 1000;

using WaveCreateFunction = int32_t (*)(const DTMFWideChar*, const DTMFWideChar*);

std::size_t chainLength()
{
    return ClassExtensionChainWalk([](const ClassExtensionLink*, void*) {}, nullptr);
}

// One load, call and unload; empty when all went as it should.
std::string loadCallUnload(const std::string& outputPath, std::size_t chainBefore)
{
    void* module = dlopen(VUZ_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        return std::string("dlopen: ") + dlerror();
    }
    const auto create = reinterpret_cast<WaveCreateFunction>(dlsym(module, "DTMFWaveCreate"));
    std::string problem;
    if (create == nullptr) {
        problem = "no DTMFWaveCreate";
    } else if (chainLength() != chainBefore + 1) {
        problem = "chain holds " + std::to_string(chainLength()) + " links while loaded";
    } else {
        const std::u16string path = widen(outputPath);
        create(u"1#5", path.c_str());
    }
    if (dlclose(module) != 0) {
        return std::string("dlclose: ") + dlerror();
    }
    if (dlopen(VUZ_MODULE_PATH, RTLD_NOW | RTLD_NOLOAD) != nullptr) {
        return "the module stayed loaded";
    }
    if (problem.empty() && chainLength() != chainBefore) {
        problem = "chain holds " + std::to_string(chainLength()) + " links after unload";
    }
    return problem;
}

} // namespace

TEST(LoadCycles, LoadCallUnloadLeavesNothingBehind)
{
    const TempFolder folder;
    const std::string path = folder.file("cycle.wav");
    const std::size_t chainBefore = chainLength();
    ASSERT_EQ(chainBefore, 0U) << "this host registers nothing of its own";
    // The first cycle settles what the process keeps for good (the loader's
    // and the C library's own caches); from there nothing may grow.
    ASSERT_EQ(loadCallUnload(path, chainBefore), "");
    const std::size_t descriptorsBefore = openDescriptorCount();
    const Bytes expected = fileBytes(path);
    ASSERT_EQ(waveShapeProblem(expected, 3), "");
    for (int cycle = 1; cycle < kLoadCycles; ++cycle) {
        ASSERT_EQ(unlink(path.c_str()), 0);
        ASSERT_EQ(loadCallUnload(path, chainBefore), "") << "cycle " << cycle;
        ASSERT_EQ(fileBytes(path), expected) << "cycle " << cycle;
        ASSERT_EQ(openDescriptorCount(), descriptorsBefore) << "cycle " << cycle;
    }
    EXPECT_EQ(chainLength(), chainBefore);
    EXPECT_FALSE(leaksFound());
    std::cout << "[ figures  ] " << kLoadCycles << " load, call and unload cycles\n";
}

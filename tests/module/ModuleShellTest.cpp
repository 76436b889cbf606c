// The module shell on ELF systems: the real shared object loaded and
// unloaded with dlopen, watched through the class library's chain, and the
// module entry driven directly with the notifications no ELF loader sends.
#include "CallSupport.h"
#include "ClassLibrary.h"
#include "DTMFSequence.h"
#include "DTMFTone.h"
#include "ModuleEntry.h"
#include "WaveFileCheck.h"
#include "WaveHeader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dlfcn.h>
#include <vector>

#include "ModuleState.h"

namespace {

using WaveCreateFunction = int32_t (*)(const DTMFWideChar*, const DTMFWideChar*);

constexpr int kLoadCycles = 3;

struct LinkCensus {
    const void* instance;
    std::vector<ClassExtensionLink> links;
};

std::vector<ClassExtensionLink> linksOf(const void* instance)
{
    LinkCensus census{instance, {}};
    ClassExtensionChainWalk(
        [](const ClassExtensionLink* link, void* context) {
            auto* found = static_cast<LinkCensus*>(context);
            if (link->instance == found->instance) {
                found->links.push_back(*link);
            }
        },
        &census);
    return census.links;
}

// The module's instance as the ELF loader gives it: the load address.
void* instanceOf(void* symbol)
{
    Dl_info info{};
    return dladdr(symbol, &info) != 0 ? info.dli_fbase : nullptr;
}

bool moduleIsMapped()
{
    void* handle = dlopen(VUZ_MODULE_PATH, RTLD_NOW | RTLD_NOLOAD);
    if (handle != nullptr) {
        dlclose(handle);
    }
    return handle != nullptr;
}

// Every test leaves the class library as it found it.
class ModuleShell : public ::testing::Test {
protected:
    void TearDown() override
    {
        ClassExtensionRefusalSet(0);
        ClassMemoryRefusalSet(0);
        *ClassModuleStateCurrent() = ClassModuleState{};
    }
};

bool allZero(const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const uint8_t*>(data);
    return std::all_of(bytes, bytes + size, [](uint8_t b) { return b == 0; });
}

} // namespace

TEST_F(ModuleShell, LoadAndUnloadLeaveTheWriterStaticsZeroedForTheFirstCall)
{
    // The unit under test is linked in, so its statics are the ones read.
    int marker = 0;
    DTMFModuleLoadHook(kModuleProcessAttach);
    ASSERT_EQ(DTMFModuleEntry(&marker, kModuleProcessAttach, nullptr), 1);
    for (int pass = 0; pass < 2; ++pass) {
        EXPECT_TRUE(allZero(g_sampleBuffer, sizeof g_sampleBuffer));
        EXPECT_TRUE(allZero(&g_waveHeader, sizeof g_waveHeader));
        EXPECT_EQ(g_digitCount, 0);
        EXPECT_EQ(g_outputFile, nullptr);
        EXPECT_FALSE(DTMFModuleRefusalQuery());
        DTMFModuleEntry(&marker, kModuleProcessDetach, nullptr);
    }
    const TempFolder folder;
    ASSERT_EQ(waveCreate(u"5", folder.file("first.wav")), DTMFWAVE_RESULT);
    EXPECT_EQ(fileBytes(folder.file("first.wav")), waveFileExpected("5"));
}

TEST_F(ModuleShell, AttachRegistersOnceThreadNotificationsChangeNothingDetachUndoes)
{
    int marker = 0;
    const std::size_t chainBefore = ClassExtensionChainWalk(nullptr, nullptr);
    EXPECT_EQ(DTMFModuleEntry(&marker, kModuleThreadAttach, nullptr), 1);
    EXPECT_TRUE(linksOf(&marker).empty());

    ASSERT_EQ(DTMFModuleEntry(&marker, kModuleProcessAttach, nullptr), 1);
    ASSERT_EQ(linksOf(&marker).size(), 1u);
    EXPECT_EQ(linksOf(&marker)[0].module, &g_extensionModule);
    EXPECT_EQ(linksOf(&marker)[0].systemModule, 0);
    ClassExtensionModule recordAfterAttach = g_extensionModule;

    for (const uint32_t reason : {kModuleThreadAttach, kModuleThreadDetach, 4u, 0xFFFFFFFFu}) {
        EXPECT_EQ(DTMFModuleEntry(&marker, reason, nullptr), 1) << reason;
        EXPECT_EQ(linksOf(&marker).size(), 1u) << reason;
        EXPECT_EQ(std::memcmp(&g_extensionModule, &recordAfterAttach, sizeof recordAfterAttach), 0) << reason;
    }
    EXPECT_EQ(DTMFModuleEntry(&marker, kModuleProcessDetach, nullptr), 1);
    EXPECT_TRUE(linksOf(&marker).empty());
    EXPECT_TRUE(allZero(&g_extensionModule, sizeof g_extensionModule));
    EXPECT_EQ(ClassExtensionChainWalk(nullptr, nullptr), chainBefore);
}

TEST_F(ModuleShell, RefusedOrUnallocatedAttachFollowsTheClassLibrary)
{
    int marker = 0;
    ClassExtensionRefusalSet(1);
    EXPECT_EQ(DTMFModuleEntry(&marker, kModuleProcessAttach, nullptr), 0);
    EXPECT_TRUE(linksOf(&marker).empty());
    EXPECT_TRUE(allZero(&g_extensionModule, sizeof g_extensionModule));
    EXPECT_EQ(DTMFModuleEntry(&marker, kModuleProcessDetach, nullptr), 1);

    // A link that cannot be allocated is not worth failing the load for.
    ClassExtensionRefusalSet(0);
    ClassMemoryRefusalSet(1);
    EXPECT_EQ(DTMFModuleEntry(&marker, kModuleProcessAttach, nullptr), 1);
    EXPECT_TRUE(linksOf(&marker).empty());
    EXPECT_EQ(g_extensionModule.instance, &marker);
    DTMFModuleEntry(&marker, kModuleProcessDetach, nullptr);
}

TEST_F(ModuleShell, EachLoadRegistersOnceAndEachUnloadUnregistersWithExactOutputBetween)
{
    int classes = 0;
    int factories = 0;
    const TempFolder folder;
    const std::size_t chainBefore = ClassExtensionChainWalk(nullptr, nullptr);
    for (int cycle = 0; cycle < kLoadCycles; ++cycle) {
        *ClassModuleStateCurrent() = ClassModuleState{{&classes, nullptr}, {&factories, nullptr}};
        void* handle = dlopen(VUZ_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle, nullptr) << dlerror();
        void* call = dlsym(handle, "DTMFWaveCreate");
        ASSERT_NE(call, nullptr);
        void* instance = instanceOf(call);
        ASSERT_EQ(linksOf(instance).size(), 1u) << "cycle " << cycle;

        // The load hook parked both list heads and left the lists empty.
        const ClassModuleState& state = *ClassModuleStateCurrent();
        EXPECT_EQ(state.classes.head, nullptr);
        EXPECT_EQ(state.classes.parkedHead, &classes);
        EXPECT_EQ(state.factories.head, nullptr);
        EXPECT_EQ(state.factories.parkedHead, &factories);

        // A second reference is no second load.
        void* again = dlopen(VUZ_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
        EXPECT_EQ(linksOf(instance).size(), 1u);
        dlclose(again);
        EXPECT_EQ(linksOf(instance).size(), 1u);

        const std::string path = folder.file("cycle.wav");
        ASSERT_EQ(reinterpret_cast<WaveCreateFunction>(call)(u"1#*D9", widen(path).c_str()), DTMFWAVE_RESULT);
        EXPECT_EQ(fileBytes(path), waveFileExpected("1#*D9")) << "cycle " << cycle;

        ASSERT_EQ(dlclose(handle), 0);
        ASSERT_FALSE(moduleIsMapped()) << "the module stayed mapped, so its destructor never ran";
        EXPECT_TRUE(linksOf(instance).empty()) << "cycle " << cycle;
        EXPECT_EQ(ClassExtensionChainWalk(nullptr, nullptr), chainBefore);
    }
}

TEST_F(ModuleShell, RefusedLoadLeavesTheModuleUnregisteredAndInert)
{
    const TempFolder folder;
    const std::string existing = folder.file("existing.wav");
    const std::vector<uint8_t> earlierBytes{'k', 'e', 'e', 'p'};
    fileWriteBytes(existing, earlierBytes);

    ClassExtensionRefusalSet(1);
    void* handle = dlopen(VUZ_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    ClassExtensionRefusalSet(0);
    ASSERT_NE(handle, nullptr) << "a constructor cannot fail a load";
    const auto call = reinterpret_cast<WaveCreateFunction>(dlsym(handle, "DTMFWaveCreate"));
    ASSERT_NE(call, nullptr);
    EXPECT_TRUE(linksOf(instanceOf(reinterpret_cast<void*>(call))).empty());

    errno = 0;
    EXPECT_EQ(call(u"123", widen(folder.file("new.wav")).c_str()), DTMFWAVE_RESULT);
    EXPECT_EQ(errno, ELIBACC);
    EXPECT_EQ(call(u"123", widen(existing).c_str()), DTMFWAVE_RESULT);
    EXPECT_FALSE(fileExists(folder.file("new.wav")));
    EXPECT_EQ(fileBytes(existing), earlierBytes);
    ASSERT_EQ(dlclose(handle), 0);

    // The refusal belonged to that load only.
    handle = dlopen(VUZ_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr);
    const auto reloaded = reinterpret_cast<WaveCreateFunction>(dlsym(handle, "DTMFWaveCreate"));
    EXPECT_EQ(linksOf(instanceOf(reinterpret_cast<void*>(reloaded))).size(), 1u);
    EXPECT_EQ(reloaded(u"123", widen(existing).c_str()), DTMFWAVE_RESULT);
    EXPECT_EQ(fileBytes(existing), waveFileExpected("123"));
    dlclose(handle);
}

// The stand-in class library: one module state, one chain of extension
// modules, and the allocator whose blocks the chain owns.
#include "ClassLibrary.h"

#include <atomic>
#include <cstdlib>
#include <new>

#if defined(_WIN32)
#  include <windows.h>
#else
#  include <pthread.h>
#endif

namespace {

// Modules load and unload on whatever thread the host uses, so the chain is
// guarded; the lock needs no constructor, being usable before any runs.
#if defined(_WIN32)
SRWLOCK g_chainLock = SRWLOCK_INIT;
void chainLock()
{
    AcquireSRWLockExclusive(&g_chainLock);
}
void chainUnlock()
{
    ReleaseSRWLockExclusive(&g_chainLock);
}
#else
pthread_mutex_t g_chainLock = PTHREAD_MUTEX_INITIALIZER;
void chainLock()
{
    pthread_mutex_lock(&g_chainLock);
}
void chainUnlock()
{
    pthread_mutex_unlock(&g_chainLock);
}
#endif

ClassModuleState g_currentState;
ClassExtensionLink* g_chain;
std::atomic<int32_t> g_refuseInitialisation{0};
std::atomic<int32_t> g_refuseAllocation{0};

bool linkIsRemoved(const ClassExtensionLink* link, const ClassExtensionModule* module, bool allModules)
{
    return link->module == module || (allModules && link->systemModule == 0);
}

} // namespace

extern "C" {

ClassModuleState* ClassModuleStateCurrent(void)
{
    return &g_currentState;
}

int32_t ClassExtensionModuleInitialise(ClassExtensionModule* module, void* instance)
{
    if (g_refuseInitialisation.load() != 0 || module == nullptr) {
        return 0;
    }
    if (module->initialised != 0) {
        return 1;
    }
    module->instance = instance;
    module->parkedState.classes.head = g_currentState.classes.parkedHead;
    module->parkedState.factories.head = g_currentState.factories.parkedHead;
    module->initialised = 1;
    return 1;
}

void ClassExtensionModuleTerminate(ClassExtensionModule* module, int32_t allModules)
{
    if (module == nullptr || module->initialised == 0) {
        return;
    }
    chainLock();
    ClassExtensionLink** next = &g_chain;
    while (*next != nullptr) {
        ClassExtensionLink* link = *next;
        if (linkIsRemoved(link, module, allModules != 0)) {
            *next = link->next;
            link->~ClassExtensionLink();
            std::free(link);
        } else {
            next = &link->next;
        }
    }
    chainUnlock();
    *module = ClassExtensionModule{};
}

void* ClassMemoryAllocate(size_t size)
{
    if (g_refuseAllocation.load() != 0) {
        return nullptr;
    }
    return std::malloc(size);
}

ClassExtensionLink* ClassExtensionLinkConstruct(void* block, ClassExtensionModule* module, int32_t systemModule)
{
    if (block == nullptr) {
        return nullptr;
    }
    if (module == nullptr || module->initialised == 0) {
        std::free(block);
        return nullptr;
    }
    auto* link = new (block) ClassExtensionLink{nullptr, module, module->instance, systemModule};
    chainLock();
    link->next = g_chain;
    g_chain = link;
    chainUnlock();
    return link;
}

size_t ClassExtensionChainWalk(ClassExtensionChainVisitor visit, void* context)
{
    size_t count = 0;
    chainLock();
    for (const ClassExtensionLink* link = g_chain; link != nullptr; link = link->next) {
        if (visit != nullptr) {
            visit(link, context);
        }
        ++count;
    }
    chainUnlock();
    return count;
}

void ClassExtensionRefusalSet(int32_t refuse)
{
    g_refuseInitialisation.store(refuse);
}

void ClassMemoryRefusalSet(int32_t refuse)
{
    g_refuseAllocation.store(refuse);
}

} // extern "C"

/*
 * ClassLibrary.h - the stand-in for the platform's class library: the part
 * of it that extension modules rely on to join and leave the process.
 *
 * A module keeps one ClassExtensionModule record in its static storage. When
 * it is loaded it initialises the record, allocates a link record and
 * constructs it over the record, which puts the module in the chain of
 * extension modules; when it is unloaded it terminates the record, which
 * takes it out again. The records are laid out here and filled and emptied
 * only by the functions below.
 *
 * The test hooks at the end let a host watch the chain and make the library
 * refuse an initialisation or an allocation.
 */
#ifndef VUZIRIZORURUZA_CLASSLIBRARY_H
#define VUZIRIZORURUZA_CLASSLIBRARY_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#  if defined(CLASSLIBRARY_BUILDING)
#    define CLASSLIBRARY_API __declspec(dllexport)
#  else
#    define CLASSLIBRARY_API __declspec(dllimport)
#  endif
#elif defined(__GNUC__)
#  define CLASSLIBRARY_API __attribute__((visibility("default")))
#else
#  define CLASSLIBRARY_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/*
 * A registration list as the class library keeps it: the head of the list,
 * and beside it the slot where a loading module parks the head it found, so
 * that the module's own registrations start from an empty list.
 */
typedef struct ClassRegistrationList {
    void* head;
    void* parkedHead;
} ClassRegistrationList;

/* The state record of the module being loaded: its two registration lists. */
typedef struct ClassModuleState {
    ClassRegistrationList classes;
    ClassRegistrationList factories;
} ClassModuleState;

/* A module's extension-module record. All zero until initialised, and all
 * zero again once terminated. */
typedef struct ClassExtensionModule {
    int32_t initialised;
    void* instance;
    ClassModuleState parkedState;
} ClassExtensionModule;

/* One entry of the chain of extension modules. */
typedef struct ClassExtensionLink {
    struct ClassExtensionLink* next;
    ClassExtensionModule* module;
    void* instance;
    int32_t systemModule;
} ClassExtensionLink;

/* The state record of the module being loaded. Never null. */
CLASSLIBRARY_API ClassModuleState* ClassModuleStateCurrent(void);

/* Fills module for the module at instance and keeps in it the registrations
 * that the module's load parked in the current state. Returns non-zero on
 * success and zero, leaving module as it was, when the library refuses the
 * module. A record that is already initialised is accepted as it is. */
CLASSLIBRARY_API int32_t ClassExtensionModuleInitialise(ClassExtensionModule* module, void* instance);

/* Takes module's links out of the chain and empties the record; with
 * allModules non-zero every other non-system link goes too. A record that
 * was never initialised is left alone. */
CLASSLIBRARY_API void ClassExtensionModuleTerminate(ClassExtensionModule* module, int32_t allModules);

/* A block of size bytes that the library owns from then on, or null. */
CLASSLIBRARY_API void* ClassMemoryAllocate(size_t size);

/* Constructs a link record in block (sizeof(ClassExtensionLink) bytes from
 * ClassMemoryAllocate) for an initialised module and adds it to the chain.
 * Returns the link, or null when module is not initialised (block is then
 * released). */
CLASSLIBRARY_API ClassExtensionLink* ClassExtensionLinkConstruct(void* block, ClassExtensionModule* module,
                                                                 int32_t systemModule);

/* Test hooks. */

/* Calls visit for each link of the chain, newest first, under the chain's
 * lock; visit must not call back into the library. Returns the link count. */
typedef void (*ClassExtensionChainVisitor)(const ClassExtensionLink* link, void* context);
CLASSLIBRARY_API size_t ClassExtensionChainWalk(ClassExtensionChainVisitor visit, void* context);

/* While refuse is non-zero, every initialisation is refused. */
CLASSLIBRARY_API void ClassExtensionRefusalSet(int32_t refuse);

/* While refuse is non-zero, every allocation fails. */
CLASSLIBRARY_API void ClassMemoryRefusalSet(int32_t refuse);

#ifdef __cplusplus
}
#endif

#endif /* VUZIRIZORURUZA_CLASSLIBRARY_H */

// The call services on POSIX systems: errno is the one error channel, and a
// statically initialised pthread mutex is the module lock.
#include "CoreCall.h"

#include <cerrno>
#include <pthread.h>

namespace core {
namespace {

pthread_mutex_t g_callLock = PTHREAD_MUTEX_INITIALIZER;

} // namespace

void failureReport(int reason)
{
    errno = reason;
}

ErrorState errorStateSave()
{
    return ErrorState{errno, 0};
}

void errorStateRestore(const ErrorState& state)
{
    errno = state.errorNumber;
}

void callLockAcquire()
{
    pthread_mutex_lock(&g_callLock);
}

void callLockRelease()
{
    pthread_mutex_unlock(&g_callLock);
}

} // namespace core

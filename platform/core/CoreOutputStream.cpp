// The stream operations of the output, which are the C runtime's own calls
// on every platform, with the fault seam in front of them.
#include "CoreFaults.h"
#include "CoreOutput.h"

#include <cerrno>

#if defined(VUZ_FAULT_INJECTION) && !defined(_WIN32)
#  include <cstdlib>
#  include <fcntl.h>
#  include <unistd.h>
#endif

namespace core {

bool fileWrite(std::FILE* stream, const void* data, std::size_t size)
{
    if (VUZ_FAULT_INJECTED(write)) {
        const int reason = errno;
        (void)std::fwrite(data, 1, VUZ_FAULT_SHORT_WRITE_BYTES(size), stream); // failing anyway
        errno = reason;
        return false;
    }
    VUZ_FAULT_REFUSAL_BEGIN(stream);
    const bool written = std::fwrite(data, 1, size, stream) == size;
    VUZ_FAULT_REFUSAL_END(stream, false);
    return written;
}

bool fileRewind(std::FILE* stream)
{
    if (VUZ_FAULT_INJECTED(rewind)) {
        return false;
    }
    const bool rewound = std::fseek(stream, 0, SEEK_SET) == 0;
    VUZ_FAULT_REFUSAL_END(stream, false);
    return rewound;
}

bool fileFlush(std::FILE* stream)
{
    if (VUZ_FAULT_INJECTED(flush)) {
        return false;
    }
    const bool flushed = std::fflush(stream) == 0;
    VUZ_FAULT_REFUSAL_END(stream, false);
    return flushed;
}

bool fileClose(std::FILE* stream)
{
    VUZ_FAULT_REFUSAL_END(stream, true);
    // A failing close still releases the stream, as fclose does.
    if (VUZ_FAULT_INJECTED(close)) {
        const int reason = errno;
        (void)std::fclose(stream); // failing anyway
        errno = reason;
        return false;
    }
    return std::fclose(stream) == 0;
}

#if defined(VUZ_FAULT_INJECTION)

namespace {

FaultPlan g_faultPlans[kFaultPlansMax];
int g_faultPlanCount;
int g_faultCallCounts[kFileOperationCount];
const FaultPlan* g_failingPlan;
#  if !defined(_WIN32)
bool g_refusalAsked;
// The stream's descriptor number, and the file it stood for, kept aside
// while the full device stands in its place.
int g_refusedDescriptor = -1;
int g_keptDescriptor = -1;
#  endif

} // namespace

void faultPlansReset()
{
    g_faultPlanCount = 0;
    g_failingPlan = nullptr;
#  if !defined(_WIN32)
    g_refusalAsked = false;
#  endif
    for (int& count : g_faultCallCounts) {
        count = 0;
    }
}

void faultPlanAdd(const FaultPlan& plan)
{
    if (g_faultPlanCount < kFaultPlansMax) {
        g_faultPlans[g_faultPlanCount++] = plan;
    }
}

int faultCallCount(FileOperation operation)
{
    return g_faultCallCounts[static_cast<int>(operation)];
}

bool faultInjected(FileOperation operation)
{
    const int call = ++g_faultCallCounts[static_cast<int>(operation)];
    for (int i = 0; i < g_faultPlanCount; ++i) {
        const FaultPlan& plan = g_faultPlans[i];
        if (plan.operation == operation && plan.callNumber == call) {
#  if !defined(_WIN32)
            if (plan.writeFailure == WriteFailure::belowRuntime) {
                g_refusalAsked = true;
                return false;
            }
#  endif
            if (plan.action) {
                plan.action();
            }
            g_failingPlan = &plan;
            errno = plan.errorNumber;
            return true;
        }
    }
    return false;
}

std::size_t faultShortWriteBytes(std::size_t size)
{
    return g_failingPlan != nullptr && g_failingPlan->writeFailure == WriteFailure::halfway ? size / 2 : 0;
}

#  if !defined(_WIN32)

void faultRefusalBegin(std::FILE* stream)
{
    if (!g_refusalAsked) {
        return;
    }
    g_refusalAsked = false;
    const int full = open("/dev/full", O_WRONLY | O_CLOEXEC);
    g_refusedDescriptor = fileno(stream);
    g_keptDescriptor = fcntl(g_refusedDescriptor, F_DUPFD_CLOEXEC, 0);
    if (full < 0 || g_keptDescriptor < 0 || dup3(full, g_refusedDescriptor, O_CLOEXEC) < 0) {
        std::abort(); // a test that cannot break what it asked for must not pass
    }
    close(full);
}

void faultRefusalEnd(std::FILE* stream, bool closing)
{
    if (g_keptDescriptor < 0 || !(closing || std::ferror(stream))) {
        return;
    }
    const int reason = errno;
    if (dup3(g_keptDescriptor, g_refusedDescriptor, O_CLOEXEC) < 0) {
        std::abort(); // the file would go on receiving nothing
    }
    close(g_keptDescriptor);
    g_keptDescriptor = -1;
    errno = reason;
}

#  endif

#endif

} // namespace core

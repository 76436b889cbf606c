// The stream operations of the output, which are the C runtime's own calls
// on every platform, with the fault seam in front of them.
#include "CoreFaults.h"
#include "CoreOutput.h"

#include <cerrno>

namespace core {

bool fileWrite(std::FILE* stream, const void* data, std::size_t size)
{
    if (VUZ_FAULT_INJECTED(write)) {
        const int reason = errno;
        std::fwrite(data, 1, VUZ_FAULT_SHORT_WRITE_BYTES(size), stream);
        errno = reason;
        return false;
    }
    return std::fwrite(data, 1, size, stream) == size;
}

bool fileRewind(std::FILE* stream)
{
    if (VUZ_FAULT_INJECTED(rewind)) {
        return false;
    }
    return std::fseek(stream, 0, SEEK_SET) == 0;
}

bool fileFlush(std::FILE* stream)
{
    if (VUZ_FAULT_INJECTED(flush)) {
        return false;
    }
    return std::fflush(stream) == 0;
}

bool fileClose(std::FILE* stream)
{
    // A failing close still releases the stream, as fclose does.
    if (VUZ_FAULT_INJECTED(close)) {
        const int reason = errno;
        std::fclose(stream);
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

} // namespace

void faultPlansReset()
{
    g_faultPlanCount = 0;
    g_failingPlan = nullptr;
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
    return g_failingPlan != nullptr && g_failingPlan->shortWrite ? size / 2 : 0;
}

#endif

} // namespace core

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

FaultPlan g_faultPlans[kFileOperationCount];
bool g_faultPlanArmed[kFileOperationCount];
int g_faultCallCounts[kFileOperationCount];

} // namespace

void faultPlansReset()
{
    for (int i = 0; i < kFileOperationCount; ++i) {
        g_faultPlanArmed[i] = false;
        g_faultCallCounts[i] = 0;
    }
}

void faultPlanAdd(const FaultPlan& plan)
{
    g_faultPlans[static_cast<int>(plan.operation)] = plan;
    g_faultPlanArmed[static_cast<int>(plan.operation)] = true;
}

int faultCallCount(FileOperation operation)
{
    return g_faultCallCounts[static_cast<int>(operation)];
}

bool faultInjected(FileOperation operation)
{
    const int index = static_cast<int>(operation);
    const int call = ++g_faultCallCounts[index];
    if (!g_faultPlanArmed[index] || g_faultPlans[index].callNumber != call) {
        return false;
    }
    errno = g_faultPlans[index].errorNumber;
    return true;
}

std::size_t faultShortWriteBytes(std::size_t size)
{
    return g_faultPlans[static_cast<int>(FileOperation::write)].shortWrite ? size / 2 : 0;
}

#endif

} // namespace core

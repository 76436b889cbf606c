// A seam under the file operations of the core layer, for tests that prove
// the writer's behaviour when the file system lets it down. A build with
// VUZ_FAULT_INJECTION lets a test make the Nth call of an operation fail
// with a chosen errno, or make a write short. In every other build the seam
// is a literal false and leaves no trace in the code.
#ifndef VUZIRIZORURUZA_COREFAULTS_H
#define VUZIRIZORURUZA_COREFAULTS_H

#include <cstddef>
#include <cstdio>

namespace core {

// create opens an in-place target and reserve checks and claims its room;
// temporary, metadata, link and rename are the steps of a replacement;
// discard undoes what a failed call wrote.
enum class FileOperation { create, reserve, temporary, metadata, write, rewind, flush, close, link, rename, discard };
inline constexpr int kFileOperationCount = 11;

#if defined(VUZ_FAULT_INJECTION)

// How a failing write fails: at once; after passing on half of its bytes,
// as a disk that fills up part way does; or below the C runtime. There the
// stream's descriptor turns into a full device (ENOSPC, whatever the plan's
// errorNumber) until the runtime has met it once, then back into the file,
// as a disk that is freed a moment later. The runtime's buffering decides
// which operation meets it, and only that operation's real result shows
// the bytes the runtime dropped.
enum class WriteFailure {
    atOnce,
    halfway,
#  if !defined(_WIN32)
    belowRuntime,
#  endif
};

// What to break: the callNumber-th call (counting from 1) of operation
// fails with errorNumber, as writeFailure says for a write. An action, if
// any, runs just before the failure: what another process might do to the
// folder at that moment.
struct FaultPlan {
    FileOperation operation;
    int callNumber;
    int errorNumber;
    WriteFailure writeFailure;
    void (*action)();
};
inline constexpr int kFaultPlansMax = 4;

// Disarms every plan and starts counting every operation from zero.
void faultPlansReset();
// Arms plan beside the others, up to kFaultPlansMax.
void faultPlanAdd(const FaultPlan& plan);
// Calls of operation since the last faultPlansReset.
int faultCallCount(FileOperation operation);

// Counts one call of operation; true when that call must fail. errno is
// then set to the planned value.
bool faultInjected(FileOperation operation);
// The number of bytes a failing write passes on first.
std::size_t faultShortWriteBytes(std::size_t size);

#  if !defined(_WIN32)
// Puts a refusal that a belowRuntime plan asked for under stream.
void faultRefusalBegin(std::FILE* stream);
// Gives stream its own descriptor back once the runtime has met the
// refusal, or at once when stream is about to be closed.
void faultRefusalEnd(std::FILE* stream, bool closing);
#  endif

#endif

} // namespace core

#if defined(VUZ_FAULT_INJECTION)
#  define VUZ_FAULT_INJECTED(operation) ::core::faultInjected(::core::FileOperation::operation)
#  define VUZ_FAULT_SHORT_WRITE_BYTES(size) ::core::faultShortWriteBytes(size)
#else
#  define VUZ_FAULT_INJECTED(operation) false
#  define VUZ_FAULT_SHORT_WRITE_BYTES(size) (std::size_t{0})
#endif

#if defined(VUZ_FAULT_INJECTION) && !defined(_WIN32)
#  define VUZ_FAULT_REFUSAL_BEGIN(stream) ::core::faultRefusalBegin(stream)
#  define VUZ_FAULT_REFUSAL_END(stream, closing) ::core::faultRefusalEnd(stream, closing)
#else
#  define VUZ_FAULT_REFUSAL_BEGIN(stream) static_cast<void>(0)
#  define VUZ_FAULT_REFUSAL_END(stream, closing) static_cast<void>(0)
#endif

#endif

// Every file operation of a three-key call fails in turn, at every point it
// is reached, then every write comes up short. After each failure the file
// at path is absent (or, when the open itself failed, exactly as it was),
// errno names the injected reason, no descriptor stays open, and the next
// call writes the lone call's file. Leaks show up under LeakSanitizer.
#include "CoreFaults.h"
#include "ReliabilitySupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <iostream>

namespace {

using core::FaultPlan;
using core::FileOperation;

const std::string kThreeKeys = "1#5";
const Bytes kEarlierContents(20000, 0xAA);
constexpr int kInjectedErrnos[] = {EIO, ENOSPC, EFBIG, EDQUOT};

struct OperationName {
    FileOperation operation;
    const char* name;
};
constexpr OperationName kCallOperations[] = {{FileOperation::create, "create"},
                                             {FileOperation::write, "write"},
                                             {FileOperation::rewind, "rewind"},
                                             {FileOperation::flush, "flush"},
                                             {FileOperation::close, "close"}};

int callCountOf(FileOperation operation)
{
    const TempFolder folder;
    core::faultPlansReset();
    waveCreateErrno(kThreeKeys, folder.file("count.wav"));
    return core::faultCallCount(operation);
}

// One call under plans, then an undisturbed call to the same path.
void expectFailureContained(const std::vector<FaultPlan>& plans, bool fileExistedBefore, const std::string& label)
{
    SCOPED_TRACE(label + (fileExistedBefore ? ", over an earlier file" : ", new file"));
    const TempFolder folder;
    const std::string path = folder.file("out.wav");
    if (fileExistedBefore) {
        fileWriteBytes(path, kEarlierContents);
    }
    const std::size_t descriptorsBefore = openDescriptorCount();
    core::faultPlansReset();
    for (const FaultPlan& plan : plans) {
        core::faultPlanAdd(plan);
    }
    const int reason = waveCreateErrno(kThreeKeys, path);
    core::faultPlansReset();

    EXPECT_EQ(reason, plans.front().errorNumber);
    // A descriptor left open would also keep its lock and stall the next call.
    ASSERT_EQ(openDescriptorCount(), descriptorsBefore);
    const bool openFailed = plans.front().operation == FileOperation::create;
    const bool removalFailed = plans.size() > 1;
    if (openFailed && fileExistedBefore) {
        EXPECT_EQ(fileBytes(path), kEarlierContents) << "a file the call never opened was changed";
    } else if (removalFailed) {
        EXPECT_EQ(fileBytes(path).size(), 0U) << "a file that could not be removed must be emptied";
    } else {
        EXPECT_FALSE(fileExists(path)) << "a failed call left a file behind";
    }
    EXPECT_EQ(waveCreateErrno(kThreeKeys, path), 0);
    EXPECT_EQ(fileBytes(path), loneCallBytes(kThreeKeys));
}

} // namespace

// The sweep relies on these counts: they follow from the call's order of
// operations (one placeholder, one write a slot, one header write).
TEST(FaultInjection, ThreeKeyCallReachesEveryOperation)
{
    EXPECT_EQ(callCountOf(FileOperation::create), 1);
    EXPECT_EQ(callCountOf(FileOperation::write), 2 + static_cast<int>(kThreeKeys.size()));
    EXPECT_EQ(callCountOf(FileOperation::rewind), 1);
    EXPECT_EQ(callCountOf(FileOperation::flush), 1);
    EXPECT_EQ(callCountOf(FileOperation::close), 1);
    EXPECT_EQ(callCountOf(FileOperation::discard), 0);
}

TEST(FaultInjection, EachOperationFailsAtEveryPoint)
{
    int injected = 0;
    for (const auto& [operation, name] : kCallOperations) {
        const int points = callCountOf(operation);
        for (int call = 1; call <= points; ++call) {
            const int reason = kInjectedErrnos[injected % std::size(kInjectedErrnos)];
            for (const bool existed : {false, true}) {
                expectFailureContained({{operation, call, reason, false}}, existed,
                                       std::string(name) + " #" + std::to_string(call));
                ++injected;
            }
        }
    }
    std::cout << "[ figures  ] " << injected << " operation failures injected\n";
    EXPECT_GE(injected, 18);
    EXPECT_FALSE(leaksFound());
}

TEST(FaultInjection, ShortWritesAtEveryPoint)
{
    const int points = callCountOf(FileOperation::write);
    for (int call = 1; call <= points; ++call) {
        for (const bool existed : {false, true}) {
            expectFailureContained({{FileOperation::write, call, ENOSPC, true}}, existed,
                                   "short write #" + std::to_string(call));
        }
    }
    std::cout << "[ figures  ] " << 2 * points << " short writes injected\n";
    EXPECT_FALSE(leaksFound());
}

// When the folder refuses the removal too, the file cannot go; it is then
// left empty, so that no header claims samples it lacks.
TEST(FaultInjection, RemovalFailingAfterEveryWriteFailure)
{
    const int points = callCountOf(FileOperation::write);
    for (int call = 1; call <= points; ++call) {
        expectFailureContained({{FileOperation::write, call, EIO, false}, {FileOperation::discard, 1, EACCES, false}},
                               true, "write #" + std::to_string(call) + " then removal");
    }
}

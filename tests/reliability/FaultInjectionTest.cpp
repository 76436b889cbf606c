// Every file operation of a three-key call fails in turn, at every point it
// is reached, then every write comes up short, over each kind of target: a
// new file, an earlier file (replaced through a temporary beside it) and an
// earlier file with a second link (written in place). After each failure an
// earlier file is exactly as it was, an in-place one is emptied and gone from
// the path, nothing else is left in the folder, errno names the injected
// reason, no descriptor stays open, and the next call writes the lone call's
// file. Leaks show up under LeakSanitizer.
#include "CoreFaults.h"
#include "ReliabilitySupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <iostream>
#include <unistd.h>

namespace {

using core::FaultPlan;
using core::FileOperation;

const std::string kThreeKeys = "1#5";
const Bytes kEarlierContents(20000, 0xAA);
constexpr int kInjectedErrnos[] = {EIO, ENOSPC, EFBIG, EDQUOT};

enum class Target { fresh, earlier, linked };
constexpr Target kTargets[] = {Target::fresh, Target::earlier, Target::linked};
const char* const kTargetNames[] = {"new file", "earlier file", "earlier file with a second link"};

struct OperationName {
    FileOperation operation;
    const char* name;
};
constexpr OperationName kCallOperations[] = {
    {FileOperation::create, "create"}, {FileOperation::temporary, "temporary"},
    {FileOperation::metadata, "metadata"}, {FileOperation::write, "write"},
    {FileOperation::rewind, "rewind"}, {FileOperation::flush, "flush"},
    {FileOperation::close, "close"}, {FileOperation::rename, "rename"}};

// The folder's target, made as kind asks; "other.wav" is the second link.
std::string targetPrepare(const TempFolder& folder, Target kind)
{
    const std::string path = folder.file("out.wav");
    if (kind != Target::fresh) {
        fileWriteBytes(path, kEarlierContents);
    }
    if (kind == Target::linked) {
        EXPECT_EQ(link(path.c_str(), folder.file("other.wav").c_str()), 0);
    }
    return path;
}

int callCountOf(FileOperation operation, Target kind)
{
    const TempFolder folder;
    const std::string path = targetPrepare(folder, kind);
    core::faultPlansReset();
    waveCreateErrno(kThreeKeys, path);
    return core::faultCallCount(operation);
}

// One call under plans, then an undisturbed call to the same path.
void expectFailureContained(const std::vector<FaultPlan>& plans, Target kind, const std::string& label)
{
    SCOPED_TRACE(label + ", " + kTargetNames[static_cast<int>(kind)]);
    const TempFolder folder;
    const std::string path = targetPrepare(folder, kind);
    const std::size_t entriesBefore = folderEntries(folder.path).size();
    const std::size_t descriptorsBefore = openDescriptorCount();
    core::faultPlansReset();
    for (const FaultPlan& plan : plans) {
        core::faultPlanAdd(plan);
    }
    const int reason = waveCreateErrno(kThreeKeys, path);
    core::faultPlansReset();

    EXPECT_EQ(reason, plans.front().errorNumber);
    ASSERT_EQ(openDescriptorCount(), descriptorsBefore);
    const bool removalFailed = plans.size() > 1;
    const bool openedInPlace = plans.front().operation != FileOperation::create;
    if (kind == Target::linked && openedInPlace) {
        // Emptied through the file itself, so the other link holds no
        // damaged file either; gone from the path unless removal failed.
        EXPECT_EQ(fileBytes(folder.file("other.wav")).size(), 0U);
        EXPECT_EQ(fileExists(path), removalFailed);
    } else {
        if (kind == Target::fresh) {
            EXPECT_FALSE(fileExists(path)) << "a failed call left a file behind";
        } else {
            EXPECT_EQ(fileBytes(path), kEarlierContents) << "a failed call changed the earlier file";
        }
        // A temporary whose removal was refused stays, but empty.
        const std::vector<std::string> entries = folderEntries(folder.path);
        EXPECT_EQ(entries.size(), entriesBefore + (removalFailed ? 1 : 0)) << "a stray file in the folder";
        for (const std::string& entry : entries) {
            if (entry != "out.wav" && entry != "other.wav") {
                EXPECT_EQ(entry.front(), '.') << "a temporary that is not hidden";
                EXPECT_EQ(fileBytes(folder.file(entry)).size(), 0U);
            }
        }
    }
    EXPECT_EQ(waveCreateErrno(kThreeKeys, path), 0);
    EXPECT_EQ(fileBytes(path), loneCallBytes(kThreeKeys));
}

} // namespace

// The sweep relies on these counts: they follow from the call's order of
// operations (one placeholder, one write a slot, one header write) and from
// how each kind of target is reached.
TEST(FaultInjection, EachTargetReachesItsOperations)
{
    for (const Target kind : kTargets) {
        SCOPED_TRACE(kTargetNames[static_cast<int>(kind)]);
        const bool inPlace = kind == Target::linked;
        EXPECT_EQ(callCountOf(FileOperation::create, kind), inPlace ? 1 : 0);
        EXPECT_EQ(callCountOf(FileOperation::temporary, kind), inPlace ? 0 : 1);
        EXPECT_EQ(callCountOf(FileOperation::metadata, kind), kind == Target::earlier ? 1 : 0);
        EXPECT_EQ(callCountOf(FileOperation::write, kind), 2 + static_cast<int>(kThreeKeys.size()));
        EXPECT_EQ(callCountOf(FileOperation::rewind, kind), 1);
        EXPECT_EQ(callCountOf(FileOperation::flush, kind), 1);
        EXPECT_EQ(callCountOf(FileOperation::close, kind), 1);
        EXPECT_EQ(callCountOf(FileOperation::rename, kind), inPlace ? 0 : 1);
        EXPECT_EQ(callCountOf(FileOperation::discard, kind), 0);
    }
}

TEST(FaultInjection, EachOperationFailsAtEveryPoint)
{
    int injected = 0;
    for (const Target kind : kTargets) {
        for (const auto& [operation, name] : kCallOperations) {
            const int points = callCountOf(operation, kind);
            for (int call = 1; call <= points; ++call) {
                const int reason = kInjectedErrnos[injected % std::size(kInjectedErrnos)];
                expectFailureContained({{operation, call, reason, false}}, kind,
                                       std::string(name) + " #" + std::to_string(call));
                ++injected;
            }
        }
    }
    std::cout << "[ figures  ] " << injected << " operation failures injected\n";
    EXPECT_GE(injected, 30);
    EXPECT_FALSE(leaksFound());
}

TEST(FaultInjection, ShortWritesAtEveryPoint)
{
    int injected = 0;
    for (const Target kind : kTargets) {
        const int points = callCountOf(FileOperation::write, kind);
        for (int call = 1; call <= points; ++call) {
            expectFailureContained({{FileOperation::write, call, ENOSPC, true}}, kind,
                                   "short write #" + std::to_string(call));
            ++injected;
        }
    }
    std::cout << "[ figures  ] " << injected << " short writes injected\n";
    EXPECT_FALSE(leaksFound());
}

// When the folder refuses the removal too, what the call wrote cannot go; it
// is then left empty, so that nothing claims samples it lacks.
TEST(FaultInjection, RemovalFailingAfterEveryWriteFailure)
{
    for (const Target kind : kTargets) {
        const int points = callCountOf(FileOperation::write, kind);
        for (int call = 1; call <= points; ++call) {
            expectFailureContained({{FileOperation::write, call, EIO, false}, {FileOperation::discard, 1, EACCES, false}},
                                   kind, "write #" + std::to_string(call) + " then removal");
        }
    }
}

// Every file operation of a three-key call fails in turn, at every point it
// is reached, then every write comes up short, over each kind of target: a
// new file and an earlier file (replaced through an unnamed temporary), an
// earlier file on a folder that has no unnamed files (a named temporary),
// and an earlier file with a second link (written in place). After each
// failure a replaced target is exactly as it was and nothing else is in the
// folder; an in-place file keeps both its names, whole where the failure
// came before its first byte changed and emptied where it came after; errno
// names the injected reason, no descriptor stays open, and the next call
// writes the lone call's file. Leaks show up under LeakSanitizer.
#include "CoreFaults.h"
#include "ReliabilitySupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <iostream>
#include <unistd.h>

namespace {

using core::FaultPlan;
using core::FileOperation;
using core::WriteFailure;

const std::string kThreeKeys = "1#5";
const Bytes kEarlierContents(20000, 0xAA);
constexpr int kInjectedErrnos[] = {EIO, ENOSPC, EFBIG, EDQUOT};

enum class Target { fresh, earlier, earlierNamed, linked };
constexpr Target kTargets[] = {Target::fresh, Target::earlier, Target::earlierNamed, Target::linked};
const char* const kTargetNames[] = {"new file", "earlier file", "earlier file, named temporary",
                                    "earlier file with a second link"};

// A file system without unnamed files answers their creation so; the call
// then names its temporary from the start.
constexpr FaultPlan kNoUnnamedFiles = {FileOperation::temporary, 1, EOPNOTSUPP, WriteFailure::atOnce, nullptr};

struct OperationName {
    FileOperation operation;
    const char* name;
};
constexpr OperationName kCallOperations[] = {
    {FileOperation::create, "create"},     {FileOperation::reserve, "reserve"}, {FileOperation::temporary, "temporary"},
    {FileOperation::metadata, "metadata"}, {FileOperation::write, "write"},     {FileOperation::rewind, "rewind"},
    {FileOperation::flush, "flush"},       {FileOperation::close, "close"},     {FileOperation::link, "link"},
    {FileOperation::rename, "rename"}};

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

void plansArm(Target kind, const std::vector<FaultPlan>& plans)
{
    core::faultPlansReset();
    if (kind == Target::earlierNamed) {
        core::faultPlanAdd(kNoUnnamedFiles);
    }
    for (const FaultPlan& plan : plans) {
        core::faultPlanAdd(plan);
    }
}

int callCountOf(FileOperation operation, Target kind)
{
    const TempFolder folder;
    const std::string path = targetPrepare(folder, kind);
    plansArm(kind, {});
    waveCreateErrno(kThreeKeys, path);
    const int count = core::faultCallCount(operation);
    core::faultPlansReset();
    return count;
}

// The in-place file's old content is whole where the failure came before
// anything was written to it.
bool failsBeforeFirstByte(FileOperation operation)
{
    return operation == FileOperation::create || operation == FileOperation::reserve;
}

// One call under plans, then an undisturbed call to the same path.
void expectFailureContained(const std::vector<FaultPlan>& plans, Target kind, const std::string& label,
                            const std::string& keys = kThreeKeys)
{
    SCOPED_TRACE(label + ", " + kTargetNames[static_cast<int>(kind)]);
    const TempFolder folder;
    const std::string path = targetPrepare(folder, kind);
    const std::vector<std::string> entriesBefore = folderEntries(folder.path);
    const std::size_t descriptorsBefore = openDescriptorCount();
    plansArm(kind, plans);
    const int reason = waveCreateErrno(keys, path);
    core::faultPlansReset();

    EXPECT_EQ(reason, plans.front().errorNumber);
    ASSERT_EQ(openDescriptorCount(), descriptorsBefore);
    const std::vector<std::string> entries = folderEntries(folder.path);
    if (kind == Target::linked) {
        // Never removed: other links hold the same file.
        EXPECT_EQ(entries, entriesBefore);
        const std::size_t expectedSize = failsBeforeFirstByte(plans.front().operation) ? kEarlierContents.size() : 0;
        EXPECT_EQ(fileBytes(path).size(), expectedSize);
        EXPECT_EQ(fileBytes(folder.file("other.wav")), fileBytes(path));
    } else {
        if (kind == Target::fresh) {
            EXPECT_FALSE(fileExists(path)) << "a failed call left a file behind";
        } else {
            EXPECT_EQ(fileBytes(path), kEarlierContents) << "a failed call changed the earlier file";
        }
        // A named temporary whose removal was refused stays, hidden and empty.
        const bool removalRefused = kind == Target::earlierNamed && plans.size() > 1;
        EXPECT_EQ(entries.size(), entriesBefore.size() + (removalRefused ? 1 : 0)) << "a stray file in the folder";
        for (const std::string& entry : entries) {
            if (entry != "out.wav") {
                EXPECT_EQ(entry.rfind(".dtmf-", 0), 0U) << "a stray that is not a hidden temporary";
                EXPECT_EQ(fileBytes(folder.file(entry)).size(), 0U);
            }
        }
    }
    EXPECT_EQ(waveCreateErrno(keys, path), 0);
    EXPECT_EQ(fileBytes(path), loneCallBytes(keys));
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
        EXPECT_EQ(callCountOf(FileOperation::reserve, kind), inPlace ? 1 : 0);
        EXPECT_EQ(callCountOf(FileOperation::temporary, kind), inPlace ? 0 : kind == Target::earlierNamed ? 2 : 1);
        EXPECT_EQ(callCountOf(FileOperation::metadata, kind), kind == Target::fresh || inPlace ? 0 : 1);
        EXPECT_EQ(callCountOf(FileOperation::write, kind), 2 + static_cast<int>(kThreeKeys.size()));
        EXPECT_EQ(callCountOf(FileOperation::rewind, kind), 1);
        EXPECT_EQ(callCountOf(FileOperation::flush, kind), 1);
        EXPECT_EQ(callCountOf(FileOperation::close, kind), 1);
        EXPECT_EQ(callCountOf(FileOperation::link, kind), kind == Target::fresh || kind == Target::earlier ? 1 : 0);
        EXPECT_EQ(callCountOf(FileOperation::rename, kind), inPlace ? 0 : 1);
        EXPECT_EQ(callCountOf(FileOperation::discard, kind), 0);
    }
}

TEST(FaultInjection, EachOperationFailsAtEveryPoint)
{
    int injected = 0;
    for (const Target kind : kTargets) {
        for (const auto& [operation, name] : kCallOperations) {
            // The named temporary's first creation is the one already failed.
            const int first = kind == Target::earlierNamed && operation == FileOperation::temporary ? 2 : 1;
            const int points = callCountOf(operation, kind);
            for (int call = first; call <= points; ++call) {
                const int reason = kInjectedErrnos[injected % std::size(kInjectedErrnos)];
                expectFailureContained({{operation, call, reason, WriteFailure::atOnce, nullptr}}, kind,
                                       std::string(name) + " #" + std::to_string(call));
                ++injected;
            }
        }
    }
    std::cout << "[ figures  ] " << injected << " operation failures injected\n";
    EXPECT_GE(injected, 44);
    EXPECT_FALSE(leaksFound());
}

TEST(FaultInjection, ShortWritesAtEveryPoint)
{
    int injected = 0;
    for (const Target kind : kTargets) {
        const int points = callCountOf(FileOperation::write, kind);
        for (int call = 1; call <= points; ++call) {
            expectFailureContained({{FileOperation::write, call, ENOSPC, WriteFailure::halfway, nullptr}}, kind,
                                   "short write #" + std::to_string(call));
            ++injected;
        }
    }
    std::cout << "[ figures  ] " << injected << " short writes injected\n";
    EXPECT_FALSE(leaksFound());
}

// A device that refuses one write below the C runtime and takes the next:
// the runtime drops what it held, and the writes after it go through, so
// only that write's own result tells the call its file has a hole. Forty
// slots are more than the stream holds, so a slot's write meets it.
TEST(FaultInjection, AWriteRefusedOnceBelowTheRuntimeFailsTheCall)
{
    const std::string fortyKeys(40, '7');
    for (const Target kind : kTargets) {
        expectFailureContained({{FileOperation::write, 2, ENOSPC, WriteFailure::belowRuntime, nullptr}}, kind,
                               "refused once", fortyKeys);
    }
}

// When the folder refuses to take a named temporary's name away, the
// temporary is emptied through its own descriptor, so that nothing claims
// samples it lacks. (An unnamed temporary has no name to take away.)
TEST(FaultInjection, RemovalRefusedAfterEveryWriteFailure)
{
    for (const Target kind : {Target::fresh, Target::earlier, Target::earlierNamed}) {
        const int points = callCountOf(FileOperation::write, kind);
        for (int call = 1; call <= points; ++call) {
            expectFailureContained({{FileOperation::write, call, EIO, WriteFailure::atOnce, nullptr},
                                    {FileOperation::discard, 1, EACCES, WriteFailure::atOnce, nullptr}},
                                   kind, "write #" + std::to_string(call) + " then removal");
        }
    }
}

namespace {

std::string g_swappedFolder;

// What the owner of a shared folder might do while a call of another user
// writes there: put a link to one of that user's files in place of the
// temporary, so that a clean-up by name would empty or remove that file.
void temporarySwapForLink()
{
    for (const std::string& entry : folderEntries(g_swappedFolder)) {
        if (entry.rfind(".dtmf-", 0) == 0) {
            const std::string temporary = g_swappedFolder + "/" + entry;
            std::filesystem::rename(temporary, g_swappedFolder + "/moved-away");
            std::filesystem::create_symlink(g_swappedFolder + "/victim.wav", temporary);
        }
    }
}

} // namespace

TEST(FaultInjection, CleanUpNeverFollowsALink)
{
    const TempFolder folder;
    g_swappedFolder = folder.path;
    const Bytes victim(3000, 0x5A);
    fileWriteBytes(folder.file("victim.wav"), victim);
    fileWriteBytes(folder.file("out.wav"), kEarlierContents);
    // The removal is refused as well, so a clean-up by name would go on to
    // empty whatever the name leads to.
    plansArm(Target::earlierNamed,
             {{FileOperation::write, 2, EIO, WriteFailure::atOnce, temporarySwapForLink},
              {FileOperation::discard, 1, EACCES, WriteFailure::atOnce, nullptr}});
    EXPECT_EQ(waveCreateErrno(kThreeKeys, folder.file("out.wav")), EIO);
    core::faultPlansReset();
    EXPECT_EQ(fileBytes(folder.file("victim.wav")), victim);
    EXPECT_EQ(fileBytes(folder.file("out.wav")), kEarlierContents);
}

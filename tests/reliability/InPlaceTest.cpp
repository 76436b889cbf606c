// Targets that a rename cannot replace are written in place: a file with a
// second link, a writable file in a folder that refuses new files, a file
// whose owner the writer cannot give, a bind-mounted file, a descriptor
// opened for appending. For each, a file-size limit or a full disk the
// whole file would meet fails the call before the first old byte changes,
// the old content staying whole under every name, and a call that fits
// writes the lone call's bytes without ever removing a name.
#include "ReliabilitySupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <iostream>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const Bytes kEarlierContents(20000, 0x3C);
// 44 + 3 x 4000 bytes: more than the limit below, less than the old file.
const std::string kThreeKeys = "1#5";
constexpr std::size_t kLimitBytes = 10000;
// A tmpfs this small takes the old file but not a 20-key file beside it.
constexpr std::size_t kSmallFileSystemBytes = 64 * 1024;
const std::string kTwentyKeys(20, '9');

// Where a case writes, and how: a path, and optionally a preparation of the
// child that calls (a second user, a limit, a redirected standard output).
struct InPlaceSetup {
    std::string path;      // what the call is given
    std::string file;      // the file that must hold the result
    std::string otherName; // a second name of it that must stay, if any
    std::function<bool()> asCaller;
};

using SetupMaker = std::function<bool(const std::string& folder, InPlaceSetup* setup)>;

bool becomeNobody()
{
    return unprivilegedUserBecome();
}

// A folder only root may add to, holding a file everyone may write.
bool writableFileInClosedFolder(const std::string& folder, InPlaceSetup* setup)
{
    setup->file = folder + "/closed/open.wav";
    setup->path = setup->file;
    setup->asCaller = becomeNobody;
    return mkdir((folder + "/closed").c_str(), 0755) == 0 && chmod(folder.c_str(), 0755) == 0;
}

// Root's file in a folder everyone may write: nobody could replace it only
// with a file of its own.
bool ownerThatCannotBeGiven(const std::string& folder, InPlaceSetup* setup)
{
    setup->file = folder + "/shared/roots.wav";
    setup->path = setup->file;
    setup->asCaller = becomeNobody;
    return mkdir((folder + "/shared").c_str(), 0777) == 0 && chmod((folder + "/shared").c_str(), 0777) == 0
        && chmod(folder.c_str(), 0755) == 0;
}

bool secondLink(const std::string& folder, InPlaceSetup* setup)
{
    setup->file = folder + "/linked.wav";
    setup->path = setup->file;
    setup->otherName = folder + "/other-name.wav";
    return true;
}

// Standard output redirected with >> to the file: the call is given
// /dev/stdout and adds at the end.
bool appendingDescriptor(const std::string& folder, InPlaceSetup* setup)
{
    setup->file = folder + "/log.wav";
    setup->path = "/dev/stdout";
    const std::string file = setup->file;
    setup->asCaller = [file] {
        const int log = open(file.c_str(), O_WRONLY | O_APPEND);
        return log >= 0 && dup2(log, STDOUT_FILENO) == STDOUT_FILENO && close(log) == 0;
    };
    return true;
}

struct InPlaceCase {
    const char* name;
    SetupMaker make;
    bool needsRoot;
};

const InPlaceCase kCases[] = {
    {"a file with a second link", secondLink, false},
    {"a writable file in a folder that refuses new files", writableFileInClosedFolder, true},
    {"a file whose owner the writer cannot give", ownerThatCannotBeGiven, true},
    {"standard output opened for appending", appendingDescriptor, false},
};

// The case's file with the earlier content (and its second name).
bool earlierFilePut(const InPlaceSetup& setup)
{
    fileWriteBytes(setup.file, kEarlierContents);
    if (chmod(setup.file.c_str(), 0666) != 0) {
        return false;
    }
    return setup.otherName.empty() || link(setup.file.c_str(), setup.otherName.c_str()) == 0;
}

int callInChild(const InPlaceSetup& setup, const std::string& keys, std::size_t limitBytes)
{
    return childRun([&] {
        if ((setup.asCaller && !setup.asCaller()) || (limitBytes != 0 && !fileSizeLimitSet(limitBytes))) {
            return 255;
        }
        return waveCreateErrno(keys, setup.path);
    });
}

// What the case's file holds after a call that fits: the lone call's file,
// after the earlier bytes where the call adds to a descriptor.
Bytes expectedAfter(const InPlaceSetup& setup, const std::string& keys)
{
    Bytes expected = setup.path == "/dev/stdout" ? kEarlierContents : Bytes{};
    const Bytes& file = loneCallBytes(keys);
    expected.insert(expected.end(), file.begin(), file.end());
    return expected;
}

void expectNamesHold(const InPlaceSetup& setup, const Bytes& contents)
{
    EXPECT_EQ(fileBytes(setup.file), contents);
    if (!setup.otherName.empty()) {
        EXPECT_EQ(fileBytes(setup.otherName), contents);
    }
}

bool smallFileSystemMount(const std::string& point)
{
    const std::string options = "size=" + std::to_string(kSmallFileSystemBytes);
    return mkdir(point.c_str(), 0755) == 0 && mount("tmpfs", point.c_str(), "tmpfs", 0, options.c_str()) == 0;
}

} // namespace

TEST(InPlace, LimitsFailBeforeTheFirstByteAndCallsThatFitWriteWhole)
{
    for (const InPlaceCase& testCase : kCases) {
        SCOPED_TRACE(testCase.name);
        if (testCase.needsRoot && geteuid() != 0) {
            std::cout << "[ skipped  ] " << testCase.name << ": needs root to act as a second user\n";
            continue;
        }
        const TempFolder folder;
        InPlaceSetup setup;
        ASSERT_TRUE(testCase.make(folder.path, &setup));
        ASSERT_TRUE(earlierFilePut(setup));
        // A descriptor adds to the earlier bytes, which the limit must allow.
        const std::size_t earlierBytes = setup.path == "/dev/stdout" ? kEarlierContents.size() : 0;
        EXPECT_EQ(callInChild(setup, kThreeKeys, kLimitBytes + earlierBytes), EFBIG);
        expectNamesHold(setup, kEarlierContents);

        // A full disk: the same target on a file system that cannot take the
        // whole file beside the old one.
        if (geteuid() == 0) {
            const std::string small = folder.file("small");
            if (smallFileSystemMount(small)) {
                InPlaceSetup onSmall;
                ASSERT_TRUE(testCase.make(small, &onSmall));
                ASSERT_TRUE(earlierFilePut(onSmall));
                EXPECT_EQ(callInChild(onSmall, kTwentyKeys, 0), ENOSPC);
                expectNamesHold(onSmall, kEarlierContents);
                umount2(small.c_str(), MNT_DETACH);
            }
        }

        EXPECT_EQ(callInChild(setup, kThreeKeys, 0), 0);
        expectNamesHold(setup, expectedAfter(setup, kThreeKeys));
    }
}

// A file mounted over another (a single-file volume of a container) cannot
// be renamed over; it is written in place, and the mount stays.
TEST(InPlace, ABindMountedFileIsWritten)
{
    const TempFolder folder;
    const std::string source = folder.file("volume.wav");
    const std::string target = folder.file("mounted.wav");
    fileWriteBytes(source, kEarlierContents);
    fileWriteBytes(target, Bytes{1});
    if (mount(source.c_str(), target.c_str(), nullptr, MS_BIND, nullptr) != 0) {
        GTEST_SKIP() << "cannot bind-mount a file here: " << std::strerror(errno);
    }
    EXPECT_EQ(waveCreateErrno(kThreeKeys, target), 0);
    EXPECT_EQ(fileBytes(target), loneCallBytes(kThreeKeys));
    EXPECT_EQ(fileBytes(source), loneCallBytes(kThreeKeys));
    EXPECT_EQ(umount2(target.c_str(), 0), 0) << "the mount did not stay";
}

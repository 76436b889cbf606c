// The same failures for real: the kernel's file-size limit at every
// boundary of a three-key file, a small file system that fills up, and a
// writer killed outright part way through a large file.
#include "ReliabilitySupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <memory>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

const std::string kThreeKeys = "1#5";
constexpr std::size_t kThreeKeyFileBytes = kHeaderBytes + 3 * kSlotSize;
constexpr std::size_t kSmallFileSystemBytes = 64 * 1024;
constexpr int kFillingCalls = 12;
// 20 MB, so a call lasts long enough to be killed at many points.
constexpr std::size_t kKilledKeyCount = 5000;
constexpr int kKillRounds = 24;

// Around each boundary of the file: nothing, the header, each slot, the
// whole file, and inside a stdio buffer.
constexpr std::size_t kLimitsBytes[] = {0, 1, 43, 44, 45, 4043, 4044, 4096, 8044, 8193, 12043};

// The child reports its errno (0 on success) as its exit code.
int waveCreateUnderLimit(const std::string& path, std::size_t limitBytes)
{
    return childRun([&] {
        if (!fileSizeLimitSet(limitBytes)) {
            return 255;
        }
        return waveCreateErrno(kThreeKeys, path);
    });
}

} // namespace

// The earlier file is the one a failed call must keep, byte for byte, and
// the folder must hold nothing else.
TEST(FileSizeLimit, EveryBoundaryKeepsThePathAsItWas)
{
    const TempFolder folder;
    const Bytes earlier(30000, 0x55);
    for (const std::size_t limit : kLimitsBytes) {
        for (const bool existed : {false, true}) {
            SCOPED_TRACE("limit " + std::to_string(limit) + (existed ? ", earlier file" : ", new file"));
            const std::string path = folder.file("limited.wav");
            if (existed) {
                fileWriteBytes(path, earlier);
            }
            EXPECT_EQ(waveCreateUnderLimit(path, limit), EFBIG);
            EXPECT_EQ(folderEntries(folder.path).size(), existed ? 1U : 0U);
            if (existed) {
                EXPECT_EQ(fileBytes(path), earlier);
                ASSERT_EQ(unlink(path.c_str()), 0);
            }
        }
    }
    // Exactly enough room: the whole file and an untouched errno.
    EXPECT_EQ(waveCreateUnderLimit(folder.file("fits.wav"), kThreeKeyFileBytes), 0);
    EXPECT_EQ(fileBytes(folder.file("fits.wav")), loneCallBytes(kThreeKeys));
    EXPECT_EQ(folderEntries(folder.path), std::vector<std::string>{"fits.wav"});
}

// Fills a 64 KiB tmpfs with five-key files until one no longer fits. Every
// call ends with its whole file or none, ENOSPC says why, and once room is
// made the next call succeeds.
TEST(FullFileSystem, CallsEndWholeOrAbsentUntilRoomIsMade)
{
    const TempFolder folder;
    const std::string mountPoint = folder.file("small");
    ASSERT_EQ(mkdir(mountPoint.c_str(), 0700), 0);
    const std::string options = "size=" + std::to_string(kSmallFileSystemBytes);
    if (mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, options.c_str()) != 0) {
        GTEST_SKIP() << "cannot mount a small tmpfs here: " << std::strerror(errno);
    }
    // Unmounted however the test ends, before the folder goes.
    const std::unique_ptr<const std::string, void (*)(const std::string*)> mounted(
        &mountPoint, [](const std::string* point) { umount2(point->c_str(), MNT_DETACH); });
    const std::string keys = "12345";
    int written = 0;
    int refused = 0;
    for (int call = 0; call < kFillingCalls; ++call) {
        const std::string path = mountPoint + "/f" + std::to_string(call) + ".wav";
        const int reason = waveCreateErrno(keys, path);
        if (reason == 0) {
            EXPECT_EQ(fileBytes(path), loneCallBytes(keys));
            ++written;
        } else {
            EXPECT_EQ(reason, ENOSPC);
            EXPECT_FALSE(fileExists(path));
            EXPECT_EQ(folderEntries(mountPoint).size(), static_cast<std::size_t>(written)) << "a stray file";
            ++refused;
        }
    }
    EXPECT_GT(written, 0);
    EXPECT_GT(refused, 0) << "the file system never filled up";
    ASSERT_EQ(unlink((mountPoint + "/f0.wav").c_str()), 0);
    EXPECT_EQ(waveCreateErrno(keys, mountPoint + "/again.wav"), 0);
    EXPECT_EQ(fileBytes(mountPoint + "/again.wav"), loneCallBytes(keys));
}

// SIGKILL runs no clean-up of any kind: whenever it lands, before, during or
// after the rename, the path must hold the earlier file or the new one,
// byte for byte, and nothing else may be left in the folder: the temporary
// has no name until it is complete, and the kernel removes it with the
// process. The one name a kill can leave is the complete new file's, in the
// instant between its link and the rename.
TEST(KilledWriter, ThePathHoldsTheOldFileOrTheNewOneAndNothingIsLeft)
{
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP()
        << "one thread a process: nothing for ThreadSanitizer here, and 20 MB files under it outlast the timeout";
#endif
    const TempFolder folder;
    const std::string path = folder.file("killed.wav");
    const std::string newKeys = std::string(kKilledKeyCount / 2, '7') + std::string(kKilledKeyCount / 2, '#');
    const Bytes& newFile = loneCallBytes(newKeys);
    const Bytes& oldFile = loneCallBytes(std::string(kKilledKeyCount + 7, 'D'));
    // The call's own length, in a child as the killed ones run.
    const auto timingStart = std::chrono::steady_clock::now();
    ASSERT_EQ(childRun([&] { return waveCreateErrno(newKeys, folder.file("timed.wav")); }), 0);
    const auto callTime = std::chrono::steady_clock::now() - timingStart;
    ASSERT_EQ(unlink(folder.file("timed.wav").c_str()), 0);
    int keptOld = 0;
    int wholeLeftovers = 0;
    for (int round = 0; round < kKillRounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        fileWriteBytes(path, oldFile);
        int started[2];
        ASSERT_EQ(pipe(started), 0);
        const int child = childStart([&] {
            [[maybe_unused]] const ssize_t sent = write(started[1], "s", 1);
            return waveCreateErrno(newKeys, path);
        });
        ASSERT_GT(child, 0);
        char signal = 0;
        ASSERT_EQ(read(started[0], &signal, 1), 1);
        close(started[0]);
        close(started[1]);
        // From the call's start to a fifth past its end, so that the last
        // kills land around and after the rename.
        std::this_thread::sleep_for(callTime * 6 * round / (5 * kKillRounds));
        kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        const Bytes found = fileBytes(path);
        ASSERT_TRUE(found == oldFile || found == newFile) << "a damaged file of " << found.size() << " bytes";
        keptOld += found == oldFile;
        for (const std::string& entry : folderEntries(folder.path)) {
            if (entry != "killed.wav") {
                EXPECT_EQ(entry.rfind(".dtmf-", 0), 0U) << "a stray file that is not a hidden temporary";
                EXPECT_TRUE(fileBytes(folder.file(entry)) == newFile) << "a killed writer left part of a file";
                ASSERT_EQ(unlink(folder.file(entry).c_str()), 0);
                ++wholeLeftovers;
            }
        }
    }
    EXPECT_GT(keptOld, 0) << "no kill landed before the rename: the test proves nothing";
    EXPECT_LT(keptOld, kKillRounds) << "no writer got as far as the rename";
    std::cout << "[ figures  ] " << kKillRounds << " writers of " << newFile.size() / 1000000
              << " MB killed: " << keptOld << " left the old file, " << kKillRounds - keptOld << " the new one, "
              << wholeLeftovers << " a whole new file under a hidden name\n";
}

// Concurrent hosts: threads of one process share the module's statics and
// are serialised inside it; processes share only the file system: each
// writer of a path has its own temporary and the last rename wins, and
// readers' locks never hold a writer up.
#include "ReliabilitySupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <iostream>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kThreadCount = 8;
constexpr int kCallsPerThread = 50;
constexpr int kProcessRounds = 40;
constexpr int kCallsPerProcessRound = 3;
constexpr int kLongKeyRepeats = 4;
constexpr std::size_t kShorterBySlots = 5;
// Room for the header and a slot: a writer under this limit always fails.
constexpr std::size_t kFailingWriterLimitBytes = 6000;

// Sounding keys, silent letters and bytes above 127 in changing lengths, so
// a slot or a header taken from another thread's call shows up.
std::string keysFor(int thread, int call)
{
    static const std::string kAlphabet = "0123456789*#ABCDxyz \xB1";
    const std::size_t length = static_cast<std::size_t>((thread * 7 + call * 5) % 13 + 1);
    std::string keys;
    for (std::size_t i = 0; i < length; ++i) {
        keys += kAlphabet[(static_cast<std::size_t>(thread * 11 + call * 3) + i * 7) % kAlphabet.size()];
    }
    return keys;
}

std::string nameFor(int thread, int call)
{
    return "t" + std::to_string(thread) + "-c" + std::to_string(call) + ".wav";
}

// A pipe that holds children until the parent closes it, so that both start
// their calls at the same moment.
struct StartingGate {
    int ends[2] = {-1, -1};
    StartingGate() { EXPECT_EQ(pipe(ends), 0); }
    ~StartingGate() { open(); }
    void wait() const
    {
        char unused;
        close(ends[1]);
        [[maybe_unused]] const ssize_t ignored = read(ends[0], &unused, 1);
    }
    void open()
    {
        for (int& end : ends) {
            if (end >= 0) {
                close(end);
                end = -1;
            }
        }
    }
};

int childLaunch(StartingGate& gate, const std::string& keys, const std::string& path, std::size_t sizeLimitBytes)
{
    return childStart([&] {
        if (sizeLimitBytes != 0 && !fileSizeLimitSet(sizeLimitBytes)) {
            return 3;
        }
        gate.wait();
        int failures = 0;
        for (int call = 0; call < kCallsPerProcessRound; ++call) {
            failures += waveCreateErrno(keys, path) != 0 ? 1 : 0;
        }
        return failures == 0 ? 0 : 1;
    });
}

} // namespace

TEST(ConcurrentThreads, EveryFileIsTheLoneCallsFile)
{
    const TempFolder folder;
    // The references come first, made while nothing else runs.
    for (int thread = 0; thread < kThreadCount; ++thread) {
        for (int call = 0; call < kCallsPerThread; ++call) {
            loneCallBytes(keysFor(thread, call));
        }
    }
    std::vector<std::thread> threads;
    for (int thread = 0; thread < kThreadCount; ++thread) {
        threads.emplace_back([&folder, thread] {
            for (int call = 0; call < kCallsPerThread; ++call) {
                waveCreateErrno(keysFor(thread, call), folder.file(nameFor(thread, call)));
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    int wrong = 0;
    for (int thread = 0; thread < kThreadCount; ++thread) {
        for (int call = 0; call < kCallsPerThread; ++call) {
            wrong += fileBytes(folder.file(nameFor(thread, call))) != loneCallBytes(keysFor(thread, call));
        }
    }
    EXPECT_EQ(wrong, 0) << "files that differ from the lone call's";
    std::cout << "[ figures  ] " << kThreadCount << " threads x " << kCallsPerThread << " calls\n";
}

// Two processes write one path over and over, started together. Their files
// differ in every slot and, in one of them, in length, so a file truncated
// under another writer or written by both shows.
TEST(ConcurrentProcesses, OnePathEndsAsOneWholeFile)
{
    const TempFolder folder;
    const std::string path = folder.file("shared.wav");
    std::string longKeys;
    std::string shortKeys;
    for (int i = 0; i < kLongKeyRepeats; ++i) {
        longKeys += "1234567890*#ABCD";
        shortKeys += "DCBA#*0987654321";
    }
    shortKeys.resize(shortKeys.size() - kShorterBySlots);
    const Bytes& longFile = loneCallBytes(longKeys);
    const Bytes& shortFile = loneCallBytes(shortKeys);
    int mixed = 0;
    for (int round = 0; round < kProcessRounds; ++round) {
        StartingGate gate;
        const int longWriter = childLaunch(gate, longKeys, path, 0);
        const int shortWriter = childLaunch(gate, shortKeys, path, 0);
        gate.open();
        ASSERT_EQ(childWait(longWriter), 0);
        ASSERT_EQ(childWait(shortWriter), 0);
        const Bytes result = fileBytes(path);
        mixed += result != longFile && result != shortFile;
    }
    EXPECT_EQ(mixed, 0) << "rounds that left a mix of both files";
    std::cout << "[ figures  ] 2 processes x " << kProcessRounds << " rounds x " << kCallsPerProcessRound
              << " calls on one path\n";
}

// One of the two always fails part way and removes what it wrote; it must
// never take the other's complete file with it in a damaged state.
TEST(ConcurrentProcesses, AFailingWriterLeavesTheOtherWholeOrNothing)
{
    const TempFolder folder;
    const std::string path = folder.file("shared.wav");
    const std::string keys = "1234567890*#ABCD";
    int damaged = 0;
    for (int round = 0; round < kProcessRounds; ++round) {
        StartingGate gate;
        const int writer = childLaunch(gate, keys, path, 0);
        const int failing = childLaunch(gate, "555", path, kFailingWriterLimitBytes);
        gate.open();
        ASSERT_EQ(childWait(writer), 0);
        ASSERT_EQ(childWait(failing), 1) << "the limited writer should have failed";
        damaged += fileExists(path) && fileBytes(path) != loneCallBytes(keys);
    }
    EXPECT_EQ(damaged, 0) << "rounds that left anything but the whole file or none";
}

// Any reader of the file can take a shared flock or a read lock on its bytes.
// Neither may stall a writer: not one that replaces the file, nor one that
// writes in place because the file has a second link. The writer runs in a
// child with an alarm, so a writer that waits dies instead of hanging here.
TEST(ConcurrentProcesses, ReadersLocksNeverHoldUpAWriter)
{
    const TempFolder folder;
    const std::string replaced = folder.file("replaced.wav");
    const std::string linked = folder.file("linked.wav");
    const std::string keys = "0123456789*#ABCD";
    for (const std::string& path : {replaced, linked}) {
        fileWriteBytes(path, Bytes(100, 0x33));
    }
    ASSERT_EQ(link(linked.c_str(), folder.file("second-link.wav").c_str()), 0);
    for (const std::string& path : {replaced, linked}) {
        SCOPED_TRACE(path);
        const int reader = open(path.c_str(), O_RDONLY);
        ASSERT_GE(reader, 0);
        ASSERT_EQ(flock(reader, LOCK_SH), 0);
        struct flock wholeFile {};
        wholeFile.l_type = F_RDLCK;
        wholeFile.l_whence = SEEK_SET;
        ASSERT_EQ(fcntl(reader, F_SETLK, &wholeFile), 0);
        const int written = childRun([&] {
            alarm(20);
            return waveCreateErrno(keys, path);
        });
        close(reader);
        EXPECT_EQ(written, 0) << "the writer failed or was stalled";
        EXPECT_EQ(fileBytes(path), loneCallBytes(keys));
    }
}

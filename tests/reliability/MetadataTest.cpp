// A replaced file keeps everything that says who may use it: mode, owner,
// group, access control list and the extended attributes of its users, as
// read back by getfacl, getfattr and stat, which nobody here wrote. A new
// file gets what a plain fopen would give it. And at no moment can anyone
// the finished file refuses read the new content.
#include "CoreFaults.h"
#include "ReliabilitySupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const std::string kKeys = "1#5";
const Bytes kEarlierContents(20000, 0xAA);

std::string commandOutput(const std::string& command)
{
    std::string output;
    if (std::FILE* pipe = popen((command + " 2>&1").c_str(), "r")) {
        char buffer[4096];
        for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
            output.append(buffer, got);
        }
        pclose(pipe);
    }
    return output;
}

bool run(const std::string& command)
{
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

std::string quoted(const std::string& text)
{
    return "'" + text + "'";
}

// Everything a user of the file can tell about its access and its labels,
// as the tools print them: the system's own security labels aside.
std::string metadataOf(const std::string& path)
{
    struct stat status {};
    if (lstat(path.c_str(), &status) != 0) {
        return "missing";
    }
    return "mode " + std::to_string(status.st_mode & 07777) + " owner " + std::to_string(status.st_uid) + ":"
        + std::to_string(status.st_gid) + "\n" + commandOutput("getfacl -p --omit-header " + quoted(path))
        + commandOutput("getfattr -d -m '^user\\.' --absolute-names " + quoted(path) + " | tail -n +2");
}

std::string skipReason()
{
    if (geteuid() != 0) {
        return "needs root to set owners and a second user";
    }
    if (!run("{ command -v setfacl && command -v getfattr; }")) {
        return "needs setfacl and getfattr (the acl and attr packages)";
    }
    const TempFolder probe;
    const std::string file = probe.file("probe");
    fileWriteBytes(file, Bytes{1});
    if (!run("setfacl -m u:nobody:r " + quoted(file)) || !run("setfattr -n user.probe -v 1 " + quoted(file))) {
        return "this file system keeps no access control lists or user attributes";
    }
    return {};
}

struct MetadataCase {
    const char* name;
    std::function<void(const TempFolder&, const std::string&)> prepare;
};

// Each case prepares an earlier file; the call must keep all of it.
const MetadataCase kEarlierFiles[] = {
    {"an access control list with a named user and a mask wider than the group",
     [](const TempFolder&, const std::string& path) {
         run("chmod 0640 " + quoted(path) + " && setfacl -m u:nobody:rw " + quoted(path));
     }},
    {"attributes of the file's users",
     [](const TempFolder&, const std::string& path) {
         run("setfattr -n user.origin -v studio-b " + quoted(path) + " && setfattr -n user.take -v 7 " + quoted(path));
     }},
    {"another user's file with the set-group-id bit",
     [](const TempFolder&, const std::string& path) {
         run("chown nobody:nogroup " + quoted(path) + " && chmod 2664 " + quoted(path));
     }},
    {"a private file", [](const TempFolder&, const std::string& path) { run("chmod 0600 " + quoted(path)); }},
    {"no list of its own in a folder whose default list new files inherit",
     [](const TempFolder& folder, const std::string&) { run("setfacl -d -m u:nobody:rwx " + quoted(folder.path)); }},
};

} // namespace

TEST(Metadata, AReplacedFileKeepsItsAccessOwnerAndAttributes)
{
    if (const std::string reason = skipReason(); !reason.empty()) {
        GTEST_SKIP() << reason;
    }
    for (const MetadataCase& testCase : kEarlierFiles) {
        SCOPED_TRACE(testCase.name);
        const TempFolder folder;
        const std::string path = folder.file("kept.wav");
        fileWriteBytes(path, kEarlierContents);
        testCase.prepare(folder, path);
        const std::string before = metadataOf(path);
        EXPECT_EQ(waveCreateErrno(kKeys, path), 0);
        EXPECT_EQ(fileBytes(path), loneCallBytes(kKeys));
        EXPECT_EQ(metadataOf(path), before);
    }
}

// A new file is made as fopen makes one: the umask, or the folder's default
// list, decide its access.
TEST(Metadata, ANewFileGetsWhatAPlainOpenGives)
{
    if (const std::string reason = skipReason(); !reason.empty()) {
        GTEST_SKIP() << reason;
    }
    for (const bool defaultList : {false, true}) {
        SCOPED_TRACE(defaultList ? "a folder with a default list" : "a umask of 027");
        const TempFolder folder;
        if (defaultList) {
            ASSERT_TRUE(run("setfacl -d -m u:nobody:rw,g::r,o::- " + quoted(folder.path)));
        }
        const std::string made = folder.file("made.wav");
        const std::string opened = folder.file("opened.wav");
        ASSERT_EQ(childRun([&] {
                      umask(027);
                      std::FILE* plain = std::fopen(opened.c_str(), "wb");
                      return plain != nullptr && std::fclose(plain) == 0 ? waveCreateErrno(kKeys, made) : 255;
                  }),
                  0);
        EXPECT_EQ(metadataOf(made), metadataOf(opened));
    }
}

namespace {

constexpr int kCallsPerRoute = 500;
constexpr int kReaderOpenedAFile = 1;

// As another user: opens every file that appears in folder the moment it
// appears. A descriptor, once had, reads whatever is written later, so
// opening a file at all is what the finished file's mode must refuse. Exits
// as soon as one opens.
int foreignReader(const std::string& folder, int startedPipe)
{
    if (!unprivilegedUserBecome()) {
        return 255;
    }
    const int watch = inotify_init1(IN_CLOEXEC);
    const int folderDescriptor = open(folder.c_str(), O_PATH | O_DIRECTORY);
    if (watch < 0 || folderDescriptor < 0 || inotify_add_watch(watch, folder.c_str(), IN_CREATE | IN_MOVED_TO) < 0) {
        return 2;
    }
    [[maybe_unused]] const ssize_t sent = write(startedPipe, "s", 1);
    alignas(inotify_event) char events[64 * 1024];
    for (;;) {
        const ssize_t got = read(watch, events, sizeof events);
        if (got <= 0) {
            return 3;
        }
        for (char* at = events; at < events + got;) {
            const inotify_event* event = reinterpret_cast<inotify_event*>(at);
            at += sizeof(inotify_event) + event->len;
            if (event->len > 0 && openat(folderDescriptor, event->name, O_RDONLY | O_NONBLOCK | O_NOFOLLOW) >= 0) {
                return kReaderOpenedAFile;
            }
        }
    }
}

} // namespace

// A private file is replaced while another user reads whatever the folder
// holds, as fast as it can: not one byte of the new content reaches it, on
// an unnamed temporary and, where the build can force it, on a named one.
TEST(Metadata, NobodyTheFileRefusesReadsItsNewContent)
{
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to read as a second user";
    }
    const TempFolder folder;
    ASSERT_EQ(chmod(folder.path.c_str(), 0755), 0);
    const std::string path = folder.file("private.wav");
    fileWriteBytes(path, kEarlierContents);
    ASSERT_EQ(chmod(path.c_str(), 0600), 0);
    int started[2];
    ASSERT_EQ(pipe(started), 0);
    const int reader = childStart([&] { return foreignReader(folder.path, started[1]); });
    char signal = 0;
    ASSERT_EQ(read(started[0], &signal, 1), 1);
    close(started[0]);
    close(started[1]);
    const std::string keys = "8";
    int calls = 0;
    for (const bool named : {false, true}) {
#if !defined(VUZ_FAULT_INJECTION)
        if (named) {
            break;
        }
#endif
        for (int call = 0; call < kCallsPerRoute; ++call) {
#if defined(VUZ_FAULT_INJECTION)
            core::faultPlansReset();
            if (named) {
                core::faultPlanAdd(
                    {core::FileOperation::temporary, 1, EOPNOTSUPP, core::WriteFailure::atOnce, nullptr});
            }
#endif
            EXPECT_EQ(waveCreateErrno(keys, path), 0);
            ++calls;
        }
    }
#if defined(VUZ_FAULT_INJECTION)
    core::faultPlansReset();
#endif
    int status = 0;
    const bool readerDone = waitpid(reader, &status, WNOHANG) == reader;
    if (!readerDone) {
        kill(reader, SIGKILL);
        waitpid(reader, &status, 0);
    }
    EXPECT_FALSE(readerDone && WIFEXITED(status) && WEXITSTATUS(status) == kReaderOpenedAFile)
        << "another user opened the file while its new content was written";
    EXPECT_FALSE(readerDone && !(WIFEXITED(status) && WEXITSTATUS(status) == kReaderOpenedAFile))
        << "the reader stopped by itself (status " << status << ")";
    EXPECT_EQ(fileBytes(path), loneCallBytes(keys));
    std::cout << "[ figures  ] " << calls << " replacements of a private file read at by another user\n";
}

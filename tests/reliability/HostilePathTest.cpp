// Paths a host should not hand over but might: each call returns, leaves the
// folder as it found it, sets errno, and never removes a device or anything
// that is not a regular file it created.
#include "ReliabilitySupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

const std::string kKeys = "1#5";

bool isPipe(const std::string& path)
{
    struct stat status {};
    return lstat(path.c_str(), &status) == 0 && S_ISFIFO(status.st_mode);
}

bool isCharacterDevice(const std::string& path)
{
    struct stat status {};
    return stat(path.c_str(), &status) == 0 && S_ISCHR(status.st_mode);
}

// errno of a call on a UTF-16 path, with the entry errno cleared.
int waveCreateWidePathErrno(const std::u16string& path)
{
    errno = 0;
    DTMFWaveCreate(u"1#5", path.c_str());
    return errno;
}

} // namespace

// Root writes anywhere, so these run in a child that gave root up.
TEST(HostilePaths, NoWritePermissionChangesNothing)
{
    const TempFolder folder;
    const std::string locked = folder.file("locked");
    ASSERT_EQ(mkdir(locked.c_str(), 0755), 0);
    ASSERT_EQ(chmod(folder.path.c_str(), 0755), 0);
    const std::string readOnlyFile = folder.file("read-only.wav");
    const Bytes earlier(500, 0x11);
    fileWriteBytes(readOnlyFile, earlier);
    ASSERT_EQ(chmod(readOnlyFile.c_str(), 0444), 0);

    const int inFolder =
        childRun([&] { return unprivilegedUserBecome() ? waveCreateErrno(kKeys, locked + "/x.wav") : 255; });
    if (inFolder == 255) {
        GTEST_SKIP() << "cannot give up root here";
    }
    EXPECT_EQ(inFolder, EACCES);
    EXPECT_TRUE(folderEntries(locked).empty());
    // A file the user may write in a folder that refuses new files is
    // written in place, since no temporary can go beside it.
    const std::string writable = locked + "/writable.wav";
    fileWriteBytes(writable, Bytes(500, 0x22));
    ASSERT_EQ(chmod(writable.c_str(), 0666), 0);
    EXPECT_EQ(childRun([&] { return unprivilegedUserBecome() ? waveCreateErrno(kKeys, writable) : 255; }), 0);
    EXPECT_EQ(fileBytes(writable), loneCallBytes(kKeys));
    ASSERT_EQ(unlink(writable.c_str()), 0);
    EXPECT_EQ(childRun([&] { return unprivilegedUserBecome() ? waveCreateErrno(kKeys, readOnlyFile) : 255; }), EACCES);
    EXPECT_EQ(fileBytes(readOnlyFile), earlier);
}

TEST(HostilePaths, DevicesAreWrittenButNeverRemoved)
{
    if (!isCharacterDevice("/dev/null") || !isCharacterDevice("/dev/full")) {
        GTEST_SKIP() << "no /dev/null and /dev/full here";
    }
    const TempFolder folder;
    fs::create_symlink("/dev/null", folder.file("null-link"));
    fs::create_symlink("/dev/full", folder.file("full-link"));
    EXPECT_EQ(waveCreateErrno(kKeys, folder.file("null-link")), 0);
    EXPECT_EQ(waveCreateErrno(kKeys, "/dev/null"), 0);
    EXPECT_EQ(waveCreateErrno(kKeys, folder.file("full-link")), ENOSPC);
    EXPECT_EQ(waveCreateErrno(kKeys, "/dev/full"), ENOSPC);
    EXPECT_TRUE(isCharacterDevice("/dev/null"));
    EXPECT_TRUE(isCharacterDevice("/dev/full"));
    EXPECT_TRUE(fs::is_symlink(folder.file("null-link")));
    EXPECT_TRUE(fs::is_symlink(folder.file("full-link")));
    EXPECT_EQ(folderEntries(folder.path), (std::vector<std::string>{"full-link", "null-link"}));
}

// Nobody reading: the call must not wait for a reader that never comes. A
// reader present: it receives the whole file, whose header could not go back
// to the start and so was right from the first byte. Either way the pipe
// stays.
TEST(HostilePaths, PipesAreNeitherWaitedForNorRemoved)
{
    const TempFolder folder;
    const std::string pipe = folder.file("pipe");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_EQ(waveCreateErrno(kKeys, pipe), ENXIO);
    const int reader = open(pipe.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    // The three-key file fits the pipe's buffer, so nothing waits for reads.
    EXPECT_EQ(waveCreateErrno(kKeys, pipe), 0);
    Bytes received(loneCallBytes(kKeys).size() + 1);
    const ssize_t got = read(reader, received.data(), received.size());
    close(reader);
    received.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    EXPECT_EQ(received, loneCallBytes(kKeys));
    EXPECT_TRUE(isPipe(pipe));
    EXPECT_EQ(folderEntries(folder.path), std::vector<std::string>{"pipe"});
}

TEST(HostilePaths, FoldersAndMissingParentsAreNotFiles)
{
    const TempFolder folder;
    const std::string inner = folder.file("inner");
    ASSERT_EQ(mkdir(inner.c_str(), 0700), 0);
    fileWriteBytes(inner + "/kept", Bytes{1, 2, 3});
    fs::create_symlink(inner, folder.file("inner-link"));
    EXPECT_EQ(waveCreateErrno(kKeys, inner), EISDIR);
    EXPECT_EQ(waveCreateErrno(kKeys, inner + "/"), EISDIR);
    EXPECT_EQ(waveCreateErrno(kKeys, folder.file("inner-link")), EISDIR);
    EXPECT_EQ(waveCreateErrno(kKeys, inner + "/kept/x.wav"), ENOTDIR);
    EXPECT_EQ(waveCreateErrno(kKeys, folder.file("missing/x.wav")), ENOENT);
    EXPECT_EQ(waveCreateErrno(kKeys, ""), ENOENT);
    EXPECT_TRUE(fs::is_directory(inner));
    EXPECT_EQ(folderEntries(inner), std::vector<std::string>{"kept"});
    EXPECT_EQ(fileBytes(inner + "/kept"), (Bytes{1, 2, 3}));
    EXPECT_EQ(folderEntries(folder.path), (std::vector<std::string>{"inner", "inner-link"}));
}

TEST(HostilePaths, OverlongNamesCreateNothing)
{
    const TempFolder folder;
    const std::string longestName(NAME_MAX, 'n');
    const std::string overlongName(NAME_MAX + 1, 'n');
    EXPECT_EQ(waveCreateErrno(kKeys, folder.file(overlongName)), ENAMETOOLONG);
    // Padded with "./" so that only the length is wrong with it.
    const std::string prefix = folder.path + "/";
    const std::string name = "x.wav";
    std::string padding;
    while (prefix.size() + padding.size() + name.size() < PATH_MAX + 1) {
        padding += padding.size() % 2 == 0 ? '.' : '/';
    }
    if (padding.back() == '.') {
        padding.back() = '/';
    }
    const std::string overlongPath = prefix + padding + name;
    ASSERT_EQ(overlongPath.size(), static_cast<std::size_t>(PATH_MAX + 1));
    EXPECT_EQ(waveCreateErrno(kKeys, overlongPath), ENAMETOOLONG);
    EXPECT_TRUE(folderEntries(folder.path).empty());
    // One unit shorter is an ordinary name, and a path one byte short of
    // the limit holds a file, new or earlier, whatever its temporary's name.
    EXPECT_EQ(waveCreateErrno(kKeys, folder.file(longestName)), 0);
    EXPECT_EQ(fileBytes(folder.file(longestName)), loneCallBytes(kKeys));
    std::string longestPath = overlongPath;
    longestPath.erase(longestPath.size() - name.size() - 2, 2);
    ASSERT_EQ(longestPath.size(), static_cast<std::size_t>(PATH_MAX - 1));
    for (int call = 0; call < 2; ++call) {
        EXPECT_EQ(waveCreateErrno(kKeys, longestPath), 0);
    }
    EXPECT_EQ(fileBytes(longestPath), loneCallBytes(kKeys));
}

// An unpaired surrogate has no UTF-8 form, so the path names no file; a
// proper pair becomes its four-byte character.
TEST(HostilePaths, UnpairedSurrogatesNameNoFile)
{
    const TempFolder folder;
    const std::u16string base = widen(folder.path + "/");
    for (const std::u16string name :
         {u"\xD800", u"a\xD83D.wav", u"\xDE00x.wav", u"\xDE00\xD83D.wav", u"\xD83D\xD83D\xDE00.wav"}) {
        EXPECT_EQ(waveCreateWidePathErrno(base + name), EILSEQ);
    }
    EXPECT_TRUE(folderEntries(folder.path).empty());
    EXPECT_EQ(waveCreateWidePathErrno(base + u"\xD83D\xDE00.wav"), 0);
    EXPECT_EQ(folderEntries(folder.path), std::vector<std::string>{"\xF0\x9F\x98\x80.wav"});
}

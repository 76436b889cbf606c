// Bad input and failing file systems: after every call the file at path is
// complete or absent, an existing file is kept where the call refuses early,
// errno tells why, and nothing but a regular file this call opened is removed.
#include "CallSupport.h"
#include "WaveFileCheck.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr std::size_t kMaxKeys = DTMFWAVE_MAX_KEYS;
// Room for the header and one slot, not for a second: the write of a
// three-key file fails part way.
constexpr std::size_t kFileSizeLimitBytes = 6000;
const std::vector<uint8_t> kPrecious = {'k', 'e', 'e', 'p', ' ', 'm', 'e'};

bool isCharacterDevice(const std::string& path)
{
    struct stat status {};
    return stat(path.c_str(), &status) == 0 && S_ISCHR(status.st_mode);
}

ChildCall waveCreateUnderSizeLimit(const std::u16string& keys, const std::string& path)
{
    const std::u16string widePath = widen(path);
    return waveCreateInChild([] { return fileSizeLimitSet(kFileSizeLimitBytes); }, keys.c_str(), widePath.c_str());
}

} // namespace

// Far past the old 99-byte working copy, compared whole, so a string cut
// short or a slot written twice shows up.
TEST(LongKeys, RenderEveryCharacter)
{
    const TempFolder folder;
    const std::string keys = keypadKeys(5000);
    ASSERT_EQ(waveCreate(widen(keys), folder.file("long.wav")), DTMFWAVE_RESULT);
    EXPECT_EQ(fileBytes(folder.file("long.wav")), waveFileExpected(keys));
}

TEST(LongKeys, OverTheLimitWriteNothingAndKeepAnExistingFile)
{
    const TempFolder folder;
    const std::string path = folder.file("precious.wav");
    fileWriteBytes(path, kPrecious);
    const std::u16string keys(kMaxKeys + 1, u'5');
    errno = 0;
    EXPECT_EQ(waveCreate(keys, path), DTMFWAVE_RESULT);
    EXPECT_EQ(errno, EFBIG);
    EXPECT_EQ(fileBytes(path), kPrecious);
    waveCreate(keys, folder.file("absent.wav"));
    EXPECT_FALSE(fileExists(folder.file("absent.wav")));
}

// The limit itself is accepted without writing 2 GB: in a missing folder one
// more character is refused before anything is opened (EFBIG), while the
// limit itself goes on to the open, which fails (ENOENT).
TEST(LongKeys, TheLimitItselfIsAccepted)
{
    const TempFolder folder;
    const std::string path = folder.file("missing/edge.wav");
    errno = 0;
    waveCreate(std::u16string(kMaxKeys + 1, u'5'), path);
    EXPECT_EQ(errno, EFBIG);
    errno = 0;
    waveCreate(std::u16string(kMaxKeys, u'5'), path);
    EXPECT_EQ(errno, ENOENT);
}

TEST(NullArguments, NullPathWritesNothingAndNullKeysAnEmptyFile)
{
    const TempFolder folder;
    const std::string previousFolder = std::filesystem::current_path();
    std::filesystem::current_path(folder.path);
    errno = 0;
    const int32_t result = DTMFWaveCreate(u"1", nullptr);
    const int reason = errno;
    std::filesystem::current_path(previousFolder);
    EXPECT_EQ(result, DTMFWAVE_RESULT);
    EXPECT_EQ(reason, EINVAL);
    EXPECT_TRUE(folderEntries(folder.path).empty());

    EXPECT_EQ(DTMFWaveCreate(nullptr, widen(folder.file("empty.wav")).c_str()), DTMFWAVE_RESULT);
    EXPECT_EQ(fileBytes(folder.file("empty.wav")), waveHeaderExpected(0));
}

TEST(UnopenablePaths, CreateNothingAndSetErrno)
{
    const TempFolder folder;
    std::filesystem::create_directory(folder.file("folder"));
    const std::pair<std::string, int> cases[] = {{folder.file("missing/x.wav"), ENOENT},
                                                 {folder.file("folder"), EISDIR}};
    for (const auto& [path, expectedErrno] : cases) {
        errno = 0;
        EXPECT_EQ(waveCreate(u"1", path), DTMFWAVE_RESULT);
        EXPECT_EQ(errno, expectedErrno) << path;
    }
    EXPECT_EQ(folderEntries(folder.path), std::vector<std::string>{"folder"});
    EXPECT_TRUE(folderEntries(folder.file("folder")).empty());
}

// Root ignores permission bits, so the call runs in a child that has given
// up root for an unprivileged account.
TEST(UnopenablePaths, NoPermissionCreatesNothing)
{
    const TempFolder folder;
    const std::string readOnly = folder.file("read-only");
    std::filesystem::create_directory(readOnly);
    std::filesystem::permissions(folder.path, std::filesystem::perms::all);
    std::filesystem::permissions(readOnly,
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec
                                     | std::filesystem::perms::others_read | std::filesystem::perms::others_exec);
    const std::u16string path = widen(readOnly + "/x.wav");
    const ChildCall call = waveCreateInChild(unprivilegedUserBecome, u"1", path.c_str());
    if (!call.prepared) {
        GTEST_SKIP() << "cannot become an unprivileged user here";
    }
    EXPECT_EQ(call.result, DTMFWAVE_RESULT);
    EXPECT_EQ(call.errorNumber, EACCES);
    EXPECT_TRUE(folderEntries(readOnly).empty());
}

// A real failing write: the kernel refuses to grow the file past the limit.
// A new file never appears and an earlier one stays exactly as it was.
TEST(FailingWrites, FileSizeLimitKeepsThePathAsItWas)
{
    const TempFolder folder;
    const std::vector<uint8_t> earlier(20000, 0xAA);
    fileWriteBytes(folder.file("longer.wav"), earlier);
    for (const std::string name : {"new.wav", "longer.wav"}) {
        const ChildCall call = waveCreateUnderSizeLimit(u"123", folder.file(name));
        ASSERT_TRUE(call.prepared);
        EXPECT_EQ(call.result, DTMFWAVE_RESULT);
        EXPECT_EQ(call.errorNumber, EFBIG) << name;
    }
    EXPECT_EQ(folderEntries(folder.path), std::vector<std::string>{"longer.wav"});
    EXPECT_EQ(fileBytes(folder.file("longer.wav")), earlier);
    // Under the limit the same child writes the whole file.
    const ChildCall fits = waveCreateUnderSizeLimit(u"1", folder.file("fits.wav"));
    EXPECT_EQ(fits.errorNumber, 0);
    EXPECT_EQ(fileBytes(folder.file("fits.wav")), waveFileExpected("1"));
}

// The link is only a way to the file: a failure keeps the file it names, a
// success replaces that file with its permission bits, and the link stays.
TEST(FailingWrites, ThroughASymbolicLinkTheFileItNamesIsReplaced)
{
    const TempFolder folder;
    const std::string target = folder.file("target.wav");
    const std::vector<uint8_t> earlier(20000, 0xAA);
    fileWriteBytes(target, earlier);
    ASSERT_EQ(chmod(target.c_str(), 0640), 0);
    std::filesystem::create_symlink("target.wav", folder.file("link.wav"));
    const ChildCall call = waveCreateUnderSizeLimit(u"123", folder.file("link.wav"));
    ASSERT_TRUE(call.prepared);
    EXPECT_EQ(call.errorNumber, EFBIG);
    EXPECT_EQ(fileBytes(target), earlier);

    ASSERT_EQ(waveCreate(u"123", folder.file("link.wav")), DTMFWAVE_RESULT);
    EXPECT_TRUE(std::filesystem::is_symlink(folder.file("link.wav")));
    EXPECT_EQ(fileBytes(target), waveFileExpected("123"));
    struct stat status {};
    ASSERT_EQ(stat(target.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0640U);
    EXPECT_EQ(folderEntries(folder.path), (std::vector<std::string>{"link.wav", "target.wav"}));
}

// A device is never removed, whether named directly or through a link. A
// private node of the same device goes first, so a module that wrongly
// removes devices loses that node and never reaches the machine's own.
TEST(FailingWrites, FullDeviceReportsNoSpaceAndSurvives)
{
    struct stat full {};
    if (stat("/dev/full", &full) != 0 || !S_ISCHR(full.st_mode)) {
        GTEST_SKIP() << "no /dev/full here";
    }
    const TempFolder folder;
    const std::string privateNode = folder.file("full");
    const bool havePrivateNode = mknod(privateNode.c_str(), S_IFCHR | 0666, full.st_rdev) == 0;
    const std::string linkPath = folder.file("full-link");
    std::filesystem::create_symlink(havePrivateNode ? privateNode : "/dev/full", linkPath);
    std::vector<std::string> paths = {linkPath, "/dev/full"};
    if (havePrivateNode) {
        paths.insert(paths.begin(), privateNode);
    }
    for (const std::string& path : paths) {
        for (const std::u16string keys : {u"", u"1", u"123#"}) {
            errno = 0;
            EXPECT_EQ(waveCreate(keys, path), DTMFWAVE_RESULT);
            // A node on a nodev mount cannot be opened at all.
            if (!(path != "/dev/full" && havePrivateNode && errno == EACCES)) {
                EXPECT_EQ(errno, ENOSPC) << path;
            }
            ASSERT_TRUE(isCharacterDevice(path)) << path << " was removed";
        }
    }
    EXPECT_TRUE(fileExists(linkPath));
}

TEST(CallErrno, SuccessLeavesErrnoAsItWasAndNoDescriptorLeaks)
{
    const TempFolder folder;
    const std::size_t descriptorsBefore = openDescriptorCount();
    for (const int entryErrno : {0, ERANGE, EFBIG}) {
        errno = entryErrno;
        waveCreate(u"1#", folder.file("ok.wav"));
        EXPECT_EQ(errno, entryErrno);
    }
    waveCreate(u"1", folder.file("missing/x.wav"));
    waveCreate(u"1", folder.path);
    waveCreate(u"1", "/dev/full");
    DTMFWaveCreate(u"1", (widen(folder.path) + u"/\xD800").c_str());
    EXPECT_EQ(openDescriptorCount(), descriptorsBefore);
}

// Each thread writes its own sequence of key strings to its own paths while
// the others do the same; every file must equal the lone call's bytes.
TEST(Threads, ConcurrentCallsEachGetTheirLoneFile)
{
    constexpr int kThreads = 8;
    constexpr int kCallsPerThread = 20;
    const TempFolder folder;
    auto keysFor = [](int thread, int call) {
        const std::string all = keypadKeys(16) + "xyz";
        const std::size_t length = static_cast<std::size_t>((thread * 7 + call * 3) % 9 + 1);
        std::string keys;
        for (std::size_t i = 0; i < length; ++i) {
            keys += all[(static_cast<std::size_t>(thread * 5 + call) + i * 3) % all.size()];
        }
        return keys;
    };
    auto pathFor = [&folder](int thread, int call) {
        return folder.file("t" + std::to_string(thread) + "-" + std::to_string(call) + ".wav");
    };
    std::vector<std::thread> threads;
    for (int thread = 0; thread < kThreads; ++thread) {
        threads.emplace_back([&, thread] {
            for (int call = 0; call < kCallsPerThread; ++call) {
                waveCreate(widen(keysFor(thread, call)), pathFor(thread, call));
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    int wrong = 0;
    for (int thread = 0; thread < kThreads; ++thread) {
        for (int call = 0; call < kCallsPerThread; ++call) {
            if (fileBytes(pathFor(thread, call)) != waveFileExpected(keysFor(thread, call))) {
                ADD_FAILURE() << "thread " << thread << " call " << call << " keys " << keysFor(thread, call);
                ++wrong;
            }
        }
    }
    EXPECT_EQ(wrong, 0);
}

// Files written through the module's public call, for the third-party
// readers and receivers to judge.
#ifndef VUZ_TESTS_INTEROP_FILES_H
#define VUZ_TESTS_INTEROP_FILES_H

#include "DTMFWave.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

namespace interop {

constexpr std::size_t kHeaderBytes = 44;
constexpr std::size_t kSlotBytes = 4000;
constexpr int kSampleRateHz = 8000;
constexpr char16_t kSixteenKeys[] = u"123A456B789C*0#D";

// Every sounding key in turn, as many characters as asked for.
inline std::u16string keysRepeated(std::size_t count)
{
    std::u16string keys;
    while (keys.size() < count) {
        keys += kSixteenKeys;
    }
    return keys.substr(0, count);
}

// One private folder a test process, removed at exit once its files are gone.
struct ScratchDirectory {
    std::string path = ::testing::TempDir() + "vuz_interop_XXXXXX";
    bool created = mkdtemp(path.data()) != nullptr;
    ~ScratchDirectory()
    {
        if (created) {
            rmdir(path.c_str());
        }
    }
};

// A file written through the public call from keys, removed when the test
// is done with it.
class ScratchFile {
public:
    ScratchFile(const std::u16string& keys, const std::string& name)
    {
        static const ScratchDirectory directory;
        EXPECT_TRUE(directory.created) << "no scratch folder under " << ::testing::TempDir();
        path = directory.path + "/" + name;
        const std::u16string widePath(path.begin(), path.end()); // the scratch path is ASCII
        EXPECT_EQ(DTMFWaveCreate(keys.c_str(), widePath.c_str()), DTMFWAVE_RESULT);
    }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;
    ~ScratchFile() { std::remove(path.c_str()); }

    std::string path;
};

inline std::vector<unsigned char> fileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The sample bytes after the header, or nothing when the file is too short.
inline std::vector<unsigned char> fileSamples(const std::string& path)
{
    std::vector<unsigned char> bytes = fileBytes(path);
    if (bytes.size() < kHeaderBytes) {
        ADD_FAILURE() << path << " is " << bytes.size() << " bytes, shorter than a header";
        return {};
    }
    return {bytes.begin() + kHeaderBytes, bytes.end()};
}

} // namespace interop

#endif

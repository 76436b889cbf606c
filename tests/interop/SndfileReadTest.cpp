// libsndfile, a reader nobody here wrote, must open every file as 8-bit
// unsigned PCM WAVE at 8000 Hz mono and read back the very bytes written.
#include "InteropFiles.h"

#include <sndfile.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

struct KeyCase {
    const char* name;
    std::u16string keys;
    std::size_t slots; // narrow characters under Windows-1252
};

std::vector<KeyCase> keyCases()
{
    return {
        {"none", u"", 0},
        {"one", u"1", 1},
        {"two", u"1#", 2},
        {"sixteen", interop::kSixteenKeys, 16},
        {"ninety_nine", interop::keysRepeated(99), 99},
        {"one_fifty", interop::keysRepeated(150), 150},
        {"silent", u"abc xyz", 7},
        {"latin", u"\u00e9\u20ac\u00fc", 3}, // é€ü: one byte each
        {"astral", u"1\U0001F600#", 4},      // each surrogate is a '?'
    };
}

// Names the case in test output instead of dumping its bytes.
void PrintTo(const KeyCase& keyCase, std::ostream* out)
{
    *out << keyCase.name;
}

class SndfileReadTest : public ::testing::TestWithParam<KeyCase> {};

// libsndfile widens unsigned 8-bit samples by removing the offset of 128
// and shifting to the top of the wider type.
template <typename Sample>
std::vector<Sample> expectedWidened(const std::vector<unsigned char>& bytes, int shift)
{
    std::vector<Sample> widened;
    for (const unsigned char byte : bytes) {
        widened.push_back(static_cast<Sample>((byte - 128) << shift));
    }
    return widened;
}

TEST_P(SndfileReadTest, OpensAsUnsigned8BitMonoAndReadsTheSamplesBack)
{
    const KeyCase& c = GetParam();
    const interop::ScratchFile wave(c.keys, std::string("sndfile_") + c.name + ".wav");
    const std::string& path = wave.path;
    const std::vector<unsigned char> raw = interop::fileSamples(path);

    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_U8);
    EXPECT_EQ(info.samplerate, interop::kSampleRateHz);
    EXPECT_EQ(info.channels, 1);
    EXPECT_EQ(info.frames, static_cast<sf_count_t>(interop::kSlotBytes * c.slots));
    EXPECT_EQ(raw.size(), interop::kSlotBytes * c.slots);

    std::vector<short> shorts(raw.size() + 1);
    EXPECT_EQ(sf_readf_short(file, shorts.data(), static_cast<sf_count_t>(shorts.size())),
              static_cast<sf_count_t>(raw.size()));
    shorts.resize(raw.size());
    EXPECT_EQ(shorts, expectedWidened<short>(raw, 8));

    ASSERT_EQ(sf_seek(file, 0, SEEK_SET), 0);
    std::vector<int> ints(raw.size() + 1);
    EXPECT_EQ(sf_readf_int(file, ints.data(), static_cast<sf_count_t>(ints.size())),
              static_cast<sf_count_t>(raw.size()));
    ints.resize(raw.size());
    EXPECT_EQ(ints, expectedWidened<int>(raw, 24));
    sf_close(file);
}

std::string caseName(const ::testing::TestParamInfo<KeyCase>& param)
{
    return param.param.name;
}

INSTANTIATE_TEST_SUITE_P(KeyStrings, SndfileReadTest, ::testing::ValuesIn(keyCases()), caseName);

} // namespace

// Files written by DTMFWaveCreate: sizes, header fields, slot contents,
// truncation, independence of calls, the narrow code page and UTF-8 paths.
#include "CallSupport.h"
#include "CoreText.h"
#include "DTMFTone.h"
#include "WaveFileCheck.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <iconv.h>

namespace {

std::string narrowOf(const std::u16string& keys)
{
    std::vector<char> narrow(2 * (keys.size() + 1));
    const std::size_t length = core::ansiFromWide(keys.c_str(), narrow.data(), narrow.size());
    return std::string(narrow.data(), length);
}

} // namespace

class WaveFileOfKeys : public testing::TestWithParam<std::size_t> {};

// Size and header of files of n slots; each slot is the key's tone then
// 2000 bytes of 128, even after the buffer was dirtied well past 2000.
TEST_P(WaveFileOfKeys, HasItsSizeHeaderAndSlots)
{
    const std::size_t keyCount = GetParam();
    const std::string keys = keypadKeys(keyCount);
    const TempFolder folder;
    const std::string path = folder.file("keys.wav");
    DTMFToneGenerate('1', 1000);

    ASSERT_EQ(waveCreate(widen(keys), path), DTMFWAVE_RESULT);
    const std::vector<uint8_t> file = fileBytes(path);
    expectWaveFileShape(file, static_cast<uint32_t>(keyCount));
    ASSERT_EQ(file.size(), kHeaderBytes + kSlotSize * keyCount);
    for (std::size_t slot = 0; slot < keyCount; ++slot) {
        const auto slotStart = file.begin() + static_cast<std::ptrdiff_t>(kHeaderBytes + slot * kSlotSize);
        const std::vector<uint8_t> tone(slotStart, slotStart + kToneBytes);
        const std::vector<uint8_t> pause(slotStart + kToneBytes, slotStart + kSlotSize);
        const std::vector<uint8_t> expected = slotExpected(keys[slot]);
        ASSERT_EQ(tone, std::vector<uint8_t>(expected.begin(), expected.begin() + kToneBytes)) << "slot " << slot;
        ASSERT_EQ(pause, std::vector<uint8_t>(kToneBytes, kSilence)) << "slot " << slot;
    }
}

INSTANTIATE_TEST_SUITE_P(Counts, WaveFileOfKeys, testing::Values(0, 1, 2, 99, 150),
                         [](const testing::TestParamInfo<std::size_t>& param) {
                             return "keys_" + std::to_string(param.param);
                         });

TEST(WaveFile, TruncatesALongerExistingFile)
{
    const TempFolder folder;
    const std::string path = folder.file("old.wav");
    fileWriteBytes(path, std::vector<uint8_t>(100000, 0xAA));
    waveCreate(u"1#", path);
    EXPECT_EQ(fileBytes(path), waveFileExpected("1#"));
}

// Whatever the previous call wrote, longer or shorter, sounding or silent,
// the next file depends only on its own arguments.
TEST(WaveFile, EachCallDependsOnlyOnItsOwnArguments)
{
    const TempFolder folder;
    const std::pair<std::string, std::string> callPairs[] = {
        {"123456789ABCD*#0", "D"}, {"D", "123456789ABCD*#0"}, {"1", "abc"}, {"99", ""}};
    for (const auto& [first, second] : callPairs) {
        waveCreate(widen(first), folder.file("first.wav"));
        waveCreate(widen(second), folder.file("second.wav"));
        EXPECT_EQ(fileBytes(folder.file("first.wav")), waveFileExpected(first)) << first;
        EXPECT_EQ(fileBytes(folder.file("second.wav")), waveFileExpected(second)) << first << " then " << second;
    }
}

struct NarrowCase {
    const char* name;
    std::u16string keys;
    std::string narrow;
};

class NonAsciiKeys : public testing::TestWithParam<NarrowCase> {};

// Windows-1252 gives one byte per UTF-16 unit: its own byte, or '?' for a
// unit it lacks, each half of a surrogate pair on its own.
TEST_P(NonAsciiKeys, BecomeOneSlotPerWindows1252Byte)
{
    const NarrowCase& c = GetParam();
    EXPECT_EQ(narrowOf(c.keys), c.narrow);
    const TempFolder folder;
    DTMFWaveCreate(c.keys.c_str(), widen(folder.file("k.wav")).c_str());
    EXPECT_EQ(fileBytes(folder.file("k.wav")), waveFileExpected(c.narrow));
}

INSTANTIATE_TEST_SUITE_P(Windows1252, NonAsciiKeys,
                         testing::Values(NarrowCase{"e_acute", u"\u00E9", "\xE9"},
                                         NarrowCase{"euro", u"\u20AC", "\x80"}, NarrowCase{"a_macron", u"\u0100", "?"},
                                         NarrowCase{"c1_0081", u"\u0081", "\x81"},
                                         NarrowCase{"c1_009D", u"\u009D", "\x9D"},
                                         NarrowCase{"y_diaeresis", u"\u0178", "\x9F"},
                                         NarrowCase{"astral_pair", u"\U0001F600", "??"},
                                         NarrowCase{"lone_high", std::u16string{0xD800}, "?"},
                                         NarrowCase{"lone_low_then_key", std::u16string{0xDC00, u'1'}, "?1"},
                                         NarrowCase{"mixed", u"1\u00E9#\u2122", "1\xE9#\x99"}),
                         [](const testing::TestParamInfo<NarrowCase>& param) { return std::string(param.param.name); });

// Every UTF-16 unit against glibc's own Windows-1252 table. glibc leaves
// 0x81, 0x8D, 0x8F, 0x90 and 0x9D undefined; Windows maps them to the C1
// controls of the same value, and so must we.
TEST(NarrowConversion, EveryUnitMatchesAnIndependentWindows1252Table)
{
    iconv_t decoder = iconv_open("UTF-16LE", "WINDOWS-1252");
    ASSERT_NE(decoder, reinterpret_cast<iconv_t>(-1));
    std::vector<char> expected(0x10000, '?');
    for (int byte = 1; byte < 256; ++byte) {
        char in[1] = {static_cast<char>(byte)};
        unsigned char out[4] = {};
        char* inPointer = in;
        char* outPointer = reinterpret_cast<char*>(out);
        std::size_t inLeft = 1;
        std::size_t outLeft = sizeof out;
        if (iconv(decoder, &inPointer, &inLeft, &outPointer, &outLeft) != static_cast<std::size_t>(-1)) {
            expected[static_cast<std::size_t>(out[0] | (out[1] << 8))] = static_cast<char>(byte);
        }
    }
    iconv_close(decoder);
    for (const int undefinedByte : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) {
        expected[static_cast<std::size_t>(undefinedByte)] = static_cast<char>(undefinedByte);
    }
    int mismatches = 0;
    for (char32_t unit = 1; unit < 0x10000; ++unit) {
        const std::u16string one{static_cast<char16_t>(unit)};
        const std::string narrow = narrowOf(one);
        if (narrow != std::string(1, expected[unit]) && ++mismatches <= 10) {
            ADD_FAILURE() << "U+" << std::hex << static_cast<uint32_t>(unit);
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(WavePath, NonAsciiPathsBecomeTheirUtf8Names)
{
    const TempFolder folder;
    const std::u16string base = widen(folder.path) + u"/";
    DTMFWaveCreate(u"1", (base + u"t\u00F6n\u20AC.wav").c_str());
    DTMFWaveCreate(u"2", (base + u"\U0001F600.wav").c_str());
    EXPECT_EQ(folderEntries(folder.path),
              (std::vector<std::string>{"t\xC3\xB6n\xE2\x82\xAC.wav", "\xF0\x9F\x98\x80.wav"}));
    EXPECT_EQ(fileBytes(folder.file("t\xC3\xB6n\xE2\x82\xAC.wav")), waveFileExpected("1"));
}

TEST(WavePath, UnpairedSurrogatesNameNoFile)
{
    const TempFolder folder;
    const std::u16string base = widen(folder.path) + u"/";
    for (const std::u16string& name :
         {std::u16string{0xD800} + u".wav", u"a" + std::u16string{0xDC00}, std::u16string{0xDBFF}}) {
        errno = 0;
        EXPECT_EQ(DTMFWaveCreate(u"1", (base + name).c_str()), DTMFWAVE_RESULT);
        EXPECT_EQ(errno, EILSEQ);
    }
    EXPECT_TRUE(folderEntries(folder.path).empty());
}

// Fuzzes the key conversion on its own against glibc's iconv: every UTF-16
// unit that Windows-1252 encodes becomes its byte, every other unit (each
// surrogate half included) '?'; the result stops at the first terminator
// or at the buffer's end, is always terminated, and nothing is written past
// the buffer (which is allocated to its exact size for AddressSanitizer).
//
// Input: two bytes of buffer size, then the units, little-endian.
#include "CoreText.h"
#include "FuzzChecks.h"

#include <array>
#include <cstdint>
#include <iconv.h>
#include <memory>
#include <string>

namespace {

constexpr char kUnmappable = '?';
// Windows' table for code page 1252 maps these five bytes to the C1
// controls of the same value; glibc's CP1252 leaves them out.
constexpr char16_t kWindowsOnlyControls[] = {0x81, 0x8D, 0x8F, 0x90, 0x9D};

std::array<char, 65536> g_expected;

char iconvWindows1252(iconv_t converter, char16_t unit)
{
    if (unit >= 0xD800 && unit <= 0xDFFF) {
        return kUnmappable;
    }
    for (const char16_t control : kWindowsOnlyControls) {
        if (unit == control) {
            return static_cast<char>(unit);
        }
    }
    char in[2] = {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
    char out[4];
    char* inAt = in;
    char* outAt = out;
    std::size_t inLeft = sizeof in;
    std::size_t outLeft = sizeof out;
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    const std::size_t converted = iconv(converter, &inAt, &inLeft, &outAt, &outLeft);
    if (converted == static_cast<std::size_t>(-1) || converted != 0 || outAt - out != 1) {
        return kUnmappable;
    }
    return out[0];
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    iconv_t converter = iconv_open("CP1252", "UTF-16LE");
    FUZZ_CHECK(converter != reinterpret_cast<iconv_t>(-1), "iconv has no CP1252");
    for (std::size_t unit = 1; unit < g_expected.size(); ++unit) {
        g_expected[unit] = iconvWindows1252(converter, static_cast<char16_t>(unit));
    }
    iconv_close(converter);
    FUZZ_CHECK(g_expected[0x20AC] == '\x80' && g_expected['A'] == 'A', "iconv oracle");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size < 2) {
        return 0;
    }
    const std::size_t narrowSize = static_cast<std::size_t>(data[0] | data[1] << 8);
    std::u16string wide;
    for (std::size_t i = 2; i + 1 < size; i += 2) {
        wide += static_cast<char16_t>(data[i] | data[i + 1] << 8);
    }
    const std::size_t units = std::char_traits<char16_t>::length(wide.c_str());

    std::unique_ptr<char[]> narrow(new char[narrowSize]);
    const std::size_t length = core::ansiFromWide(wide.c_str(), narrow.get(), narrowSize);
    if (narrowSize == 0) {
        FUZZ_CHECK(length == 0, "no room, yet a length");
        return 0;
    }
    FUZZ_CHECK(length == std::min(units, narrowSize - 1), "length");
    FUZZ_CHECK(narrow[length] == '\0', "terminator");
    for (std::size_t i = 0; i < length; ++i) {
        FUZZ_CHECK(narrow[i] == g_expected[wide[i]], "byte differs from Windows-1252");
    }
    return 0;
}

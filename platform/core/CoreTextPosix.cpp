// Text on POSIX systems: Windows-1252 stands in for the ANSI code page of
// the keys, and paths are UTF-8.
#include "CoreText.h"

#include <cerrno>
#include <new>

namespace core {
namespace {

// Windows-1252 bytes 0x80..0x9F and the UTF-16 units they stand for. The
// five bytes without a printable character (0x81, 0x8D, 0x8F, 0x90, 0x9D)
// map to the C1 controls of the same value, as the Windows code page does.
// clang-format off
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};
// clang-format on
constexpr char kUnmappable = '?';

char windows1252FromUnit(char16_t unit)
{
    if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) {
        return static_cast<char>(unit);
    }
    for (int i = 0; i < 32; ++i) {
        if (kWindows1252High[i] == unit) {
            return static_cast<char>(0x80 + i);
        }
    }
    return kUnmappable;
}

bool isHighSurrogate(char16_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool isLowSurrogate(char16_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

char* putUtf8(char* out, char32_t codePoint)
{
    if (codePoint < 0x80) {
        *out++ = static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        *out++ = static_cast<char>(0xC0 | (codePoint >> 6));
        *out++ = static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        *out++ = static_cast<char>(0xE0 | (codePoint >> 12));
        *out++ = static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        *out++ = static_cast<char>(0xF0 | (codePoint >> 18));
        *out++ = static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
        *out++ = static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (codePoint & 0x3F));
    }
    return out;
}

// A UTF-16 unit never needs more than three UTF-8 bytes: a surrogate pair
// is two units and four bytes.
constexpr std::size_t kMaxUtf8BytesPerUnit = 3;

} // namespace

bool ansiLengthMeasure(const WideChar* wide, std::size_t* length)
{
    // Windows-1252 is one byte a unit, and every unit has one.
    *length = wideLength(wide);
    return true;
}

std::size_t ansiFromWide(const WideChar* wide, char* narrow, std::size_t narrowSize)
{
    if (narrowSize == 0) {
        return 0;
    }
    std::size_t length = 0;
    for (; wide[length] != 0 && length + 1 < narrowSize; ++length) {
        narrow[length] = windows1252FromUnit(wide[length]);
    }
    narrow[length] = '\0';
    return length;
}

std::unique_ptr<char[]> utf8FromWide(const WideChar* path)
{
    const std::size_t units = wideLength(path);
    std::unique_ptr<char[]> utf8(new (std::nothrow) char[units * kMaxUtf8BytesPerUnit + 1]);
    if (!utf8) {
        errno = ENOMEM;
        return nullptr;
    }
    char* out = utf8.get();
    for (std::size_t i = 0; i < units; ++i) {
        const char16_t unit = path[i];
        if (isHighSurrogate(unit) && isLowSurrogate(path[i + 1])) {
            const char16_t low = path[++i];
            out = putUtf8(out, 0x10000U + ((char32_t{unit} - 0xD800U) << 10U) + (low - 0xDC00U));
        } else if (isHighSurrogate(unit) || isLowSurrogate(unit)) {
            errno = EILSEQ;
            return nullptr;
        } else {
            out = putUtf8(out, unit);
        }
    }
    *out = '\0';
    return utf8;
}

} // namespace core

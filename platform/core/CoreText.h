// Text services of the stand-in core library: the UTF-16 string length, the
// conversion of keys to the narrow ANSI code page and, outside Windows, of
// paths to UTF-8.
#ifndef VUZIRIZORURUZA_CORETEXT_H
#define VUZIRIZORURUZA_CORETEXT_H

#include <cstddef>
#include <memory>

namespace core {

// One UTF-16 code unit, the platform's wide character: Windows has a 16-bit
// wchar_t, elsewhere wchar_t is 32 bits wide and char16_t is the 16-bit type.
#if defined(_WIN32)
using WideChar = wchar_t;
#else
using WideChar = char16_t;
#endif

// Number of UTF-16 units before the terminator.
std::size_t wideLength(const WideChar* text);

// False for an unpaired surrogate: such a name has no form in any other
// encoding, so no file may be made or looked for under it.
bool isValidUtf16(const WideChar* text);

// The number of bytes the ANSI form of the null-terminated wide needs, its
// terminator left out, as the system's own conversion sizes it: a code page
// of several bytes a character (UTF-8 among them) needs more than one byte
// a unit. False with errno set when the conversion fails.
bool ansiLengthMeasure(const WideChar* wide, std::size_t* length);

// Converts a null-terminated UTF-16 string to the ANSI code page (on POSIX
// systems Windows-1252, with '?' for every unit it cannot encode) into
// narrow, which holds narrowSize bytes. The result is always null-terminated,
// empty when the conversion fails. Returns its length.
std::size_t ansiFromWide(const WideChar* wide, char* narrow, std::size_t narrowSize);

#if !defined(_WIN32)
// The UTF-8 form of a path in a new buffer, or null with errno set: EILSEQ
// for an unpaired surrogate, ENOMEM when no buffer can be had.
std::unique_ptr<char[]> utf8FromWide(const WideChar* path);
#endif

} // namespace core

#endif

/*
 * DTMFWave.hpp - the module's call for C++17 and later, header-only.
 *
 *     #include "DTMFWave.hpp"
 *
 *     try {
 *         vuzirizoruza::waveCreate("555*0#", "call.wav");
 *     } catch (const std::system_error& error) {
 *         std::cerr << error.what() << '\n';   // the path and the reason
 *     }
 *
 * waveCreate takes the keys as UTF-8 (or UTF-16) and the path as a
 * std::filesystem::path, hands the module the UTF-16 strings it takes,
 * calls DTMFWaveCreate and turns the module's error channel into an
 * exception. Everything here is inline around that one call: the module
 * exports nothing more for it.
 *
 * Failure throws std::filesystem::filesystem_error, a std::system_error
 * whose path1() is the path and whose code() is the platform's reason:
 *   POSIX    errno as the call left it, in std::generic_category()
 *            (ENOENT, EACCES, ENOSPC, EFBIG for too many keys, ...)
 *   Windows  the thread's last-error code, in std::system_category()
 *            (ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED, ...)
 * Either compares equal to the portable std::errc conditions, such as
 * std::errc::no_such_file_or_directory. What the file at the path holds
 * after a failure is as DTMFWave.h describes for the call.
 *
 * Arguments the module could not be given are refused before the call,
 * with the codes the module itself uses for such faults: UTF-8 keys, or a
 * POSIX path, that are not well-formed UTF-8, with EILSEQ
 * (ERROR_NO_UNICODE_TRANSLATION); a null character inside the keys or the
 * path, which would end the string early, with EINVAL
 * (ERROR_INVALID_PARAMETER). UTF-16 keys go to the module as they are, where
 * an unpaired surrogate is a silent slot like any unit it cannot encode.
 *
 * Paths: on POSIX the path's bytes are taken as UTF-8, as the module names
 * files. On Windows the path's wide string goes to the module as it is; a
 * path made from a narrow string is read in the ANSI code page there, as
 * std::filesystem::path always does, so UTF-8 text belongs in a
 * std::u8string (C++20) or std::filesystem::u8path (C++17).
 */
#ifndef VUZIRIZORURUZA_DTMFWAVE_HPP
#define VUZIRIZORURUZA_DTMFWAVE_HPP

#include "DTMFWave.h"

#include <cerrno>
#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#if defined(_WIN32)
// The two calls of the last-error channel, declared as <windows.h> declares
// them, so that including this header does not bring in all of
// <windows.h> and its macros (min, max, ...).
extern "C" __declspec(dllimport) unsigned long __stdcall GetLastError(void);
extern "C" __declspec(dllimport) void __stdcall SetLastError(unsigned long code);
#endif

namespace vuzirizoruza {
namespace detail {

using ModuleString = std::basic_string<DTMFWideChar>;

#if defined(_WIN32)
inline constexpr int kInvalidArgument = 87;   // ERROR_INVALID_PARAMETER
inline constexpr int kNotTranslatable = 1113; // ERROR_NO_UNICODE_TRANSLATION
inline const std::error_category& platformCategory()
{
    return std::system_category();
}
#else
inline constexpr int kInvalidArgument = EINVAL;
inline constexpr int kNotTranslatable = EILSEQ;
inline const std::error_category& platformCategory()
{
    return std::generic_category();
}
#endif

[[noreturn]] inline void fail(const std::filesystem::path& path, int code)
{
    throw std::filesystem::filesystem_error("cannot write the WAVE file", path,
                                            std::error_code(code, platformCategory()));
}

// Strict UTF-8 into UTF-16: overlong forms, surrogates and anything past
// U+10FFFF are refused, since no string of UTF-16 could hold them.
inline bool utf16FromUtf8(std::string_view text, ModuleString& out)
{
    static constexpr char32_t kShortestForm[4] = {0, 0x80, 0x800, 0x10000};
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const int trailing = lead < 0x80 ? 0 : lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC2 ? 1 : -1;
        if (trailing < 0 || lead > 0xF4 || text.size() - i <= static_cast<std::size_t>(trailing)) {
            return false;
        }
        char32_t codePoint = trailing == 0 ? lead : lead & (0x3Fu >> trailing);
        for (int k = 1; k <= trailing; ++k) {
            const auto next = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            codePoint = (codePoint << 6) | (next & 0x3Fu);
        }
        if (codePoint < kShortestForm[trailing] || codePoint > 0x10FFFF
            || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
            return false;
        }
        if (codePoint >= 0x10000) {
            out.push_back(static_cast<DTMFWideChar>(0xD800 + ((codePoint - 0x10000) >> 10)));
            out.push_back(static_cast<DTMFWideChar>(0xDC00 + ((codePoint - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<DTMFWideChar>(codePoint));
        }
        i += static_cast<std::size_t>(trailing) + 1;
    }
    return true;
}

template <typename Char>
bool holdsNull(std::basic_string_view<Char> text)
{
    return text.find(Char{}) != std::basic_string_view<Char>::npos;
}

inline ModuleString moduleKeys(std::string_view keysUtf8, const std::filesystem::path& path)
{
    if (holdsNull(keysUtf8)) {
        fail(path, kInvalidArgument);
    }
    ModuleString keys;
    if (!utf16FromUtf8(keysUtf8, keys)) {
        fail(path, kNotTranslatable);
    }
    return keys;
}

inline ModuleString moduleKeys(std::u16string_view keysUtf16, const std::filesystem::path& path)
{
    if (holdsNull(keysUtf16)) {
        fail(path, kInvalidArgument);
    }
    // Unpaired surrogates go through as they are: the module makes each a
    // silent slot, as it does for any unit it cannot encode.
    return ModuleString(keysUtf16.begin(), keysUtf16.end());
}

inline ModuleString modulePath(const std::filesystem::path& path)
{
    const std::basic_string_view<std::filesystem::path::value_type> native = path.native();
    if (holdsNull(native)) {
        fail(path, kInvalidArgument);
    }
#if defined(_WIN32)
    return ModuleString(native);
#else
    ModuleString out;
    if (!utf16FromUtf8(native, out)) {
        fail(path, kNotTranslatable);
    }
    return out;
#endif
}

inline void call(const ModuleString& keys, const std::filesystem::path& path)
{
    const ModuleString target = modulePath(path);
#if defined(_WIN32)
    SetLastError(0);
    DTMFWaveCreate(keys.c_str(), target.c_str());
    const unsigned long reason = GetLastError();
#else
    errno = 0;
    DTMFWaveCreate(keys.c_str(), target.c_str());
    const int reason = errno;
#endif
    if (reason != 0) {
        fail(path, static_cast<int>(reason));
    }
}

} // namespace detail

// Writes the DTMF tones of keysUtf8 to the WAVE file at path; throws
// std::filesystem::filesystem_error (a std::system_error) with the reason
// when the file could not be written.
inline void waveCreate(std::string_view keysUtf8, const std::filesystem::path& path)
{
    detail::call(detail::moduleKeys(keysUtf8, path), path);
}

// The same, for keys already in UTF-16 (u"..." literals, std::u16string).
inline void waveCreate(std::u16string_view keysUtf16, const std::filesystem::path& path)
{
    detail::call(detail::moduleKeys(keysUtf16, path), path);
}

} // namespace vuzirizoruza

#endif /* VUZIRIZORURUZA_DTMFWAVE_HPP */

/*
 * DTMFWave.h - the one public interface of the VuzirizORURUZA module.
 *
 * The module renders a string of telephone-keypad characters as DTMF
 * signalling tones in a RIFF WAVE file: 8000 samples per second, 8-bit
 * unsigned PCM, one channel. Every character of the key string becomes one
 * 500 ms slot: 250 ms of its pair of tones, then 250 ms of silence.
 *
 * This header is C-compatible and declares the module's whole ABI. Nothing
 * else in the source tree is public. Installed, it is
 * <vuzirizoruza/DTMFWave.h>; the CMake target and the pkg-config file put
 * that folder on the include path as well, so "DTMFWave.h" finds it too.
 *
 * Examples, each with what it needs:
 *
 *   Linux and other POSIX systems, C11 or C++11 and later (the u"" literal
 *   is a C11 and C++11 feature; its char16_t comes from <uchar.h>, which
 *   this header includes for C). errno tells failure from success:
 *
 *       #include <errno.h>
 *       #include <stdio.h>
 *       #include "DTMFWave.h"
 *
 *       errno = 0;
 *       DTMFWaveCreate(u"555*0#", u"call.wav");
 *       if (errno != 0) perror("call.wav");
 *
 *   Windows, C89 or any C++ (L"" is a wchar_t literal, UTF-16 there), with
 *   <windows.h> for the thread's last-error code, the channel there:
 *
 *       #include <windows.h>
 *       #include "DTMFWave.h"
 *
 *       SetLastError(0);
 *       DTMFWaveCreate(L"555*0#", L"call.wav");
 *       if (GetLastError() != 0) { ... FormatMessageW says why ... }
 *
 *   C++17 and later, on every platform: DTMFWave.hpp, beside this header,
 *   takes UTF-8 keys and a std::filesystem::path and throws
 *   std::system_error with the reason:
 *
 *       #include "DTMFWave.hpp"
 *
 *       vuzirizoruza::waveCreate("555*0#", "call.wav");
 *
 *   Keys or paths made at run time are arrays of DTMFWideChar holding
 *   UTF-16 code units and a terminating 0.
 *
 * The header itself needs C99 (for <stdint.h>) or C++11; outside Windows,
 * C needs C11, for <uchar.h>.
 */
#ifndef VUZIRIZORURUZA_DTMFWAVE_H
#define VUZIRIZORURUZA_DTMFWAVE_H

#include <stdint.h>

/*
 * The version of this interface and of the module built with it, in the
 * four parts of the Windows module's file version: major.minor.patch.tweak.
 * The build reads the version from these lines, so they are its one source.
 *   MAJOR  changes when a caller or a file's bytes could notice: the
 *          module's soname (libVuzirizORURUZA.so.MAJOR) follows it
 *   MINOR  additions that every earlier caller can ignore
 *   PATCH  fixes that keep the interface and the bytes of every file
 *   TWEAK  releases of one MAJOR.MINOR.PATCH that leave the module's code
 *          as it was (builds, packages, documentation); the first is 1
 * DTMFWAVE_VERSION_STRING spells all four, "MAJOR.MINOR.PATCH.TWEAK".
 */
#define DTMFWAVE_VERSION_MAJOR 1
#define DTMFWAVE_VERSION_MINOR 0
#define DTMFWAVE_VERSION_PATCH 0
#define DTMFWAVE_VERSION_TWEAK 1
#define DTMFWAVE_VERSION_STRING_(number) #number
#define DTMFWAVE_VERSION_STRING_OF_(number) DTMFWAVE_VERSION_STRING_(number)
/* clang-format off */
#define DTMFWAVE_VERSION_STRING \
    DTMFWAVE_VERSION_STRING_OF_(DTMFWAVE_VERSION_MAJOR) "." \
    DTMFWAVE_VERSION_STRING_OF_(DTMFWAVE_VERSION_MINOR) "." \
    DTMFWAVE_VERSION_STRING_OF_(DTMFWAVE_VERSION_PATCH) "." \
    DTMFWAVE_VERSION_STRING_OF_(DTMFWAVE_VERSION_TWEAK)
/* clang-format on */

/*
 * DTMFWAVE_API marks the exported call. On Windows it is dllexport while the
 * module itself is being built and dllimport for everyone else; elsewhere the
 * module is compiled with hidden visibility and this is the one symbol made
 * visible. A consumer that links the module statically defines
 * DTMFWAVE_STATIC.
 */
#if defined(_WIN32)
#  if defined(DTMFWAVE_STATIC)
#    define DTMFWAVE_API
#  elif defined(DTMFWAVE_BUILDING)
#    define DTMFWAVE_API __declspec(dllexport)
#  else
#    define DTMFWAVE_API __declspec(dllimport)
#  endif
#elif defined(__GNUC__)
#  define DTMFWAVE_API __attribute__((visibility("default")))
#else
#  define DTMFWAVE_API
#endif

/*
 * DTMFWAVE_CALL is the calling convention of the exported call. 32-bit
 * Windows has several, and a consumer compiled with another default (/Gz,
 * -mrtd) would otherwise call a __cdecl function as __stdcall and link
 * against a decorated name the DLL does not have. It is __cdecl, the C
 * default that ctypes.CDLL uses; the .def file exports it undecorated.
 * Elsewhere there is one convention and the macro is empty.
 */
#if defined(_WIN32)
#  define DTMFWAVE_CALL __cdecl
#else
#  define DTMFWAVE_CALL
#endif

/*
 * DTMFWideChar is one UTF-16 code unit, the character type of both
 * arguments. Windows has a 16-bit wchar_t, which is what the original hosts
 * passed; elsewhere wchar_t is 32 bits wide, so the port takes char16_t.
 */
#if defined(_WIN32)
#  include <wchar.h>
typedef wchar_t DTMFWideChar;
#elif defined(__cplusplus)
typedef char16_t DTMFWideChar;
#else
#  include <uchar.h>
typedef char16_t DTMFWideChar;
#endif

/* The value DTMFWaveCreate returns on every return. */
#define DTMFWAVE_RESULT 999

/* The longest key string, in narrow characters, that one file can hold: the
 * data chunk of 4000 bytes a character must fit a signed 32-bit size. */
#define DTMFWAVE_MAX_KEYS 536870

#ifdef __cplusplus
extern "C" {
#endif

/*
 * DTMFWaveCreate - write the DTMF tones of a key string to a WAVE file.
 *
 * keys: null-terminated UTF-16 string. It is first converted to the narrow
 *       ANSI code page (Windows-1252 outside Windows; there every UTF-16 unit
 *       that Windows-1252 cannot encode, each half of a surrogate pair
 *       included, becomes '?'). Each narrow character then becomes one slot.
 *       "0"-"9", "*", "#" and "A"-"D" sound with their standard frequency
 *       pairs; every other character is a silent slot of the same length.
 *       A null pointer writes a valid file with no slots.
 * path: null-terminated UTF-16 path of the file to create or replace
 *       (converted to UTF-8 outside Windows; on every platform a path with
 *       an unpaired surrogate names no file).
 *
 * The file is complete and closed when the call returns: a 44-byte header
 * followed by 4000 bytes per narrow character. Whatever happens, even to the
 * process, the path names the earlier file or the whole new one, never a
 * part: the new file is written into a temporary in the target's folder
 * that the system removes should the process die (on Linux a file with no
 * name, O_TMPFILE; on Windows a hidden file marked for deletion), and is put
 * in place once complete (a rename; ReplaceFileW over an existing file on
 * Windows). A failure leaves no temporary; a killed process can leave one
 * only in the instant between the temporary's completion and the rename,
 * or, on a Linux file system without unnamed files, where the temporary is
 * a hidden ".dtmf-XXXXXXXX.partial" from the start. The replacement keeps
 * the earlier file's mode, owner, group, access control list and the
 * extended attributes the caller may set (Windows: its access list, owner,
 * streams and attributes), and nobody the finished file refuses can read
 * the new content at any moment. A symbolic link stays a link and the file
 * it names is replaced.
 *
 * Targets a rename cannot replace are written in place: devices, pipes,
 * sockets, names of the caller's own descriptors (/dev/stdout, /dev/fd/N:
 * written through the descriptor itself, where it stands), files with
 * several links, bind-mounted files, files in a folder that refuses new
 * files and files whose owner the caller cannot give. Before the first byte
 * of such a file changes, the file-size limit and the room for the whole
 * file are checked; a failed write never removes a name, and empties what
 * this call wrote, so no header claims bytes that are missing. Any file that
 * would pass the file-size limit fails with EFBIG before anything is
 * written.
 *
 * errno: on failure it holds the reason (the failing operation's own code;
 * EINVAL for a null path, EILSEQ for a path that is not valid UTF-16, EFBIG
 * for a key string over the limit; ELIBACC on Linux when the class library
 * refused the module at load, which leaves it inert since a load cannot fail
 * there). On success it is left as it was on entry, so a caller can clear it
 * beforehand and test it afterwards.
 *
 * Windows: errno lives in the C runtime the module itself uses, which a
 * caller built against another runtime (the Universal C Runtime of MSVC and
 * Python, for one) never sees. The channel for every caller there is the
 * thread's last-error code (GetLastError): on failure it names the failure
 * (the Windows error of the file operation that failed, such as
 * ERROR_PATH_NOT_FOUND or ERROR_ACCESS_DENIED; ERROR_FILE_TOO_LARGE for too
 * many keys, ERROR_NO_UNICODE_TRANSLATION for a path that is not valid
 * UTF-16, ERROR_INVALID_PARAMETER for a null path, ERROR_NOT_ENOUGH_MEMORY
 * when memory runs out); on success it is left as it was on entry.
 *
 * Calls from several threads are serialised inside the module; each caller
 * gets exactly the file a lone call would have written. Processes writing
 * one path each write their own temporary, and the last to finish wins; no
 * lock is taken, so no reader of the file can hold a writer up.
 *
 * Returns DTMFWAVE_RESULT (999) on every return, whatever happened.
 */
DTMFWAVE_API int32_t DTMFWAVE_CALL DTMFWaveCreate(const DTMFWideChar* keys, const DTMFWideChar* path);

#ifdef __cplusplus
}
#endif

#endif /* VUZIRIZORURUZA_DTMFWAVE_H */

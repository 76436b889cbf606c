// What a path names on Windows, and the names the writer gives the files it
// makes. One look at the path opens it with the rights ReplaceFileW will
// need, so that a file the caller may not write, or not replace, is known
// before a byte is written.
#include "CoreTargetWindows.h"

#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <new>
#include <aclapi.h>

namespace core {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// What ReplaceFileW takes on the file it replaces (read, delete), and what a
// plain open for writing would ask (write): a file that grants all three
// can be replaced; one that grants only the last is written in place.
constexpr DWORD kReplaceAccess = GENERIC_READ | FILE_WRITE_DATA | DELETE;
// Enough to learn what the path names and copy its access control list,
// and never at odds with anyone's sharing.
constexpr DWORD kLookAccess = FILE_READ_ATTRIBUTES | READ_CONTROL;
// The attributes a replacement keeps from the file it replaces; the rest
// (read-only, compression, encryption, sparseness) are not the writer's to
// set, or are kept by ReplaceFileW itself.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE
    | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_TEMPORARY;
// A name in a folder, in UTF-16 units.
constexpr std::size_t kNameUnits = 255;

constexpr wchar_t kLongPrefix[] = L"\\\\?\\";
constexpr wchar_t kLongUncPrefix[] = L"\\\\?\\UNC\\";
constexpr std::size_t kLongPrefixUnits = 4;
constexpr std::size_t kLongUncPrefixUnits = 8;

WideText textMake(std::size_t units)
{
    WideText text(new (std::nothrow) wchar_t[units]);
    if (!text) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    }
    return text;
}

WideText textJoin(const wchar_t* first, std::size_t firstUnits, const wchar_t* second)
{
    const std::size_t secondUnits = std::wcslen(second);
    WideText text = textMake(firstUnits + secondUnits + 1);
    if (text) {
        std::wmemcpy(text.get(), first, firstUnits);
        std::wmemcpy(text.get() + firstUnits, second, secondUnits + 1);
    }
    return text;
}

bool startsWith(const wchar_t* text, const wchar_t* prefix)
{
    return std::wcsncmp(text, prefix, std::wcslen(prefix)) == 0;
}

bool isDriveRoot(const wchar_t* text)
{
    return ((text[0] >= L'A' && text[0] <= L'Z') || (text[0] >= L'a' && text[0] <= L'z')) && text[1] == L':'
        && text[2] == L'\\';
}

// The absolute, normalised form of path, as every file call makes it.
WideText fullPathOf(const wchar_t* path)
{
    // The current folder may change between the two calls; once more then.
    for (int attempt = 0; attempt < 2; ++attempt) {
        const DWORD units = GetFullPathNameW(path, 0, nullptr, nullptr);
        if (units == 0) {
            return nullptr;
        }
        WideText full = textMake(units);
        if (!full) {
            return nullptr;
        }
        const DWORD written = GetFullPathNameW(path, units, full.get(), nullptr);
        if (written > 0 && written < units) {
            return full;
        }
        if (written == 0) {
            return nullptr;
        }
    }
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return nullptr;
}

// \\.\NUL, \\.\pipe\name, \\.\COM1 and the like (NUL and CON come out of
// fullPathOf in this form too); \\.\C:\file and \\?\C:\file are files.
bool isDeviceNamespace(const wchar_t* full)
{
    if (!startsWith(full, L"\\\\.\\") && !startsWith(full, kLongPrefix)) {
        return false;
    }
    const wchar_t* rest = full + kLongPrefixUnits;
    return !isDriveRoot(rest) && !startsWith(rest, L"UNC\\") && !startsWith(rest, L"Volume{");
}

// Past MAX_PATH only the \\?\ form reaches a file without the system's
// long-path opt-in; below it the plain form, as the caller gave it, serves.
WideText longFormWhereNeeded(WideText name)
{
    if (!name) {
        return name;
    }
    const std::size_t units = std::wcslen(name.get());
    if (units < MAX_PATH || startsWith(name.get(), kLongPrefix) || startsWith(name.get(), L"\\\\.\\")) {
        return name;
    }
    if (startsWith(name.get(), L"\\\\")) {
        return textJoin(kLongUncPrefix, kLongUncPrefixUnits, name.get() + 2);
    }
    return textJoin(kLongPrefix, kLongPrefixUnits, name.get());
}

// The file the handle has open, by its own name, links followed.
WideText finalNameOf(HANDLE handle)
{
    const DWORD units = GetFinalPathNameByHandleW(handle, nullptr, 0, FILE_NAME_NORMALIZED);
    if (units == 0) {
        return nullptr;
    }
    WideText name = textMake(units);
    if (!name) {
        return nullptr;
    }
    const DWORD written = GetFinalPathNameByHandleW(handle, name.get(), units, FILE_NAME_NORMALIZED);
    if (written == 0 || written >= units) {
        return nullptr;
    }
    return name;
}

HANDLE pathOpen(const wchar_t* path, DWORD access, DWORD flags)
{
    return CreateFileW(path, access, kShareAll, nullptr, OPEN_EXISTING, flags, nullptr);
}

enum class Look { opened, absent, denied, other };
struct Probe {
    Look look;
    HANDLE handle;
};

// Opens what path names with the rights a replacement needs. A file held by
// a reader that shares less is still looked at; the replacement waits for
// the reader later.
Probe probeOpen(const wchar_t* path, DWORD flags)
{
    HANDLE handle = pathOpen(path, kReplaceAccess, flags);
    if (handle != INVALID_HANDLE_VALUE) {
        return {Look::opened, handle};
    }
    switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
        return {Look::absent, handle};
    case ERROR_ACCESS_DENIED:
        return {Look::denied, handle};
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        handle = pathOpen(path, kLookAccess, flags);
        return {handle != INVALID_HANDLE_VALUE ? Look::opened : Look::other, handle};
    default:
        return {Look::other, handle};
    }
}

// A file that refuses reading or deletion can still be written as it
// stands, if it grants writing. Otherwise the caller is refused, with the
// reason the open gave, as a plain open for writing would be.
TargetKind deniedTargetKind(const wchar_t* path)
{
    HANDLE handle = pathOpen(path, FILE_WRITE_DATA, 0);
    if (handle == INVALID_HANDLE_VALUE) {
        return TargetKind::refused;
    }
    CloseHandle(handle);
    return TargetKind::inPlace;
}

struct Facts {
    DWORD attributes;
    DWORD links;
};

// What the open file is, from two by-handle queries (not
// GetFileInformationByHandle, whose volume serial number costs more than
// the rest of the look under Wine). False for anything but a disk file.
bool factsRead(HANDLE handle, Facts* facts)
{
    FILE_BASIC_INFO basic{};
    FILE_STANDARD_INFO standard{};
    if (GetFileType(handle) != FILE_TYPE_DISK
        || !GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic)
        || !GetFileInformationByHandleEx(handle, FileStandardInfo, &standard, sizeof standard)) {
        return false;
    }
    facts->attributes = basic.FileAttributes;
    facts->links = standard.NumberOfLinks;
    return true;
}

// Classifies the open file: only a disk file of one link is replaced.
void openTargetRead(HANDLE handle, const Facts& facts, Target* target)
{
    if ((facts.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || facts.links != 1) {
        target->kind = TargetKind::inPlace;
        return;
    }
    if ((facts.attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        // Refused, as opening it for writing is.
        SetLastError(ERROR_ACCESS_DENIED);
        target->kind = TargetKind::refused;
        return;
    }
    // A file the system cannot name, or whose access list cannot be read,
    // could not be replaced faithfully: it is written in place instead.
    WideText name = finalNameOf(handle);
    PSECURITY_DESCRIPTOR security = nullptr;
    if (!name
        || GetSecurityInfo(handle, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr, nullptr,
                           &security)
            != ERROR_SUCCESS) {
        target->kind = TargetKind::inPlace;
        return;
    }
    target->kind = TargetKind::replaceable;
    target->name = std::move(name);
    target->security.reset(security);
    target->attributes = facts.attributes & kKeptAttributes;
}

} // namespace

Target targetFind(const wchar_t* path)
{
    const DWORD entryCode = GetLastError();
    Target target{};
    target.name = fullPathOf(path);
    if (!target.name) {
        target.kind = TargetKind::failed;
        return target;
    }
    if (isDeviceNamespace(target.name.get())) {
        target.device = true;
        target.kind = TargetKind::inPlace;
        return target;
    }
    // The path itself first: a symbolic link is then seen as one, and one
    // that leads nowhere is written through, as a plain open would.
    Probe probe = probeOpen(path, FILE_FLAG_OPEN_REPARSE_POINT);
    Facts facts{};
    bool disk = probe.look == Look::opened && factsRead(probe.handle, &facts);
    if (disk && (facts.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        CloseHandle(probe.handle);
        probe = probeOpen(path, 0);
        if (probe.look == Look::absent) {
            probe.look = Look::other;
        }
        disk = probe.look == Look::opened && factsRead(probe.handle, &facts);
    }
    switch (probe.look) {
    case Look::absent:
        target.kind = TargetKind::absent;
        target.name = longFormWhereNeeded(std::move(target.name));
        if (!target.name) {
            target.kind = TargetKind::failed;
            return target;
        }
        break;
    case Look::denied:
        target.kind = deniedTargetKind(path);
        break;
    case Look::other:
        target.kind = TargetKind::inPlace;
        break;
    case Look::opened: {
        target.kind = TargetKind::inPlace;
        if (disk) {
            openTargetRead(probe.handle, facts, &target);
        }
        const DWORD code = GetLastError();
        CloseHandle(probe.handle);
        SetLastError(code);
        break;
    }
    }
    if (target.kind != TargetKind::refused && target.kind != TargetKind::failed) {
        SetLastError(entryCode);
    }
    return target;
}

WideText temporaryNameMake(const wchar_t* target, unsigned attempt)
{
    static const wchar_t kDigits[] = L"0123456789abcdefghijklmnopqrstuvwxyz";
    constexpr std::size_t kDigitCount = sizeof kDigits / sizeof kDigits[0] - 1;
    constexpr std::size_t kTagUnits = 6;
    constexpr wchar_t kSuffix[] = L".partial";
    constexpr std::size_t kSuffixUnits = sizeof kSuffix / sizeof kSuffix[0] - 1;
    // The name must fit one folder entry with its dots, tag and suffix.
    constexpr std::size_t kBaseRoom = kNameUnits - 2 - kTagUnits - kSuffixUnits;

    // Uniqueness comes from the exclusive creation; the tag only makes a
    // clash unlikely. The counter, the process and the attempt seed it.
    LARGE_INTEGER counter{};
    QueryPerformanceCounter(&counter);
    std::uint64_t seed = static_cast<std::uint64_t>(counter.QuadPart) ^ (std::uint64_t{GetCurrentProcessId()} << 32)
        ^ (std::uint64_t{attempt} * 0x9E3779B97F4A7C15ULL);

    const wchar_t* base = std::wcsrchr(target, L'\\');
    base = base != nullptr ? base + 1 : target;
    const std::size_t folderUnits = static_cast<std::size_t>(base - target);
    const std::size_t baseUnits = std::min(std::wcslen(base), kBaseRoom);
    WideText name = textMake(folderUnits + 2 + baseUnits + kTagUnits + kSuffixUnits + 1);
    if (!name) {
        return nullptr;
    }
    wchar_t* out = std::wmemcpy(name.get(), target, folderUnits) + folderUnits;
    *out++ = L'.';
    out = std::wmemcpy(out, base, baseUnits) + baseUnits;
    *out++ = L'.';
    for (std::size_t i = 0; i < kTagUnits; ++i) {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        *out++ = kDigits[(seed >> 33) % kDigitCount];
    }
    std::wmemcpy(out, kSuffix, kSuffixUnits + 1);
    return longFormWhereNeeded(std::move(name));
}

WideText folderOf(const wchar_t* name)
{
    const wchar_t* separator = std::wcsrchr(name, L'\\');
    const std::size_t units = separator != nullptr ? static_cast<std::size_t>(separator - name) + 1 : 0;
    return textJoin(name, units, L"");
}

} // namespace core

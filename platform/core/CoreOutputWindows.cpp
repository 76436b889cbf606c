// File output on Windows: a hidden temporary moved over the target with
// MoveFileExW.
#include "CoreFaults.h"
#include "CoreCall.h"
#include "CoreOutput.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cwchar>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace core {
namespace {

// The longest path Windows takes, in UTF-16 units with the terminator.
constexpr std::size_t kPathUnits = 32768;
// A name in a folder, in UTF-16 units.
constexpr std::size_t kNameUnits = 255;
constexpr int kTemporaryNameAttempts = 64;
// A reader that has the target open without delete sharing holds up the
// replacement for a moment; it is tried again for up to this long.
constexpr int kReplaceWaitMs = 2000;
constexpr int kReplacePollMs = 10;
#if defined(VUZ_DURABLE_RENAME)
constexpr DWORD kReplaceFlags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
#else
constexpr DWORD kReplaceFlags = MOVEFILE_REPLACE_EXISTING;
#endif

// The one output a call has open; calls hold the module lock throughout.
struct Output {
    bool replacing;
    bool inPlaceDisk; // an in-place disk file, emptied and removed on failure
    DWORD volume;
    std::uint64_t index;
    DWORD keptAttributes; // what the replacement takes from the old file
};
Output g_output;
wchar_t g_targetName[kPathUnits];
wchar_t g_temporaryName[kPathUnits];

// The stream's buffer: sixteen slots a write instead of one, as on POSIX.
char g_streamBuffer[64 * 1024];

bool textCopy(wchar_t* destination, std::size_t units, const wchar_t* source)
{
    const std::size_t length = std::wcslen(source);
    if (length + 1 > units) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    std::wmemcpy(destination, source, length + 1);
    return true;
}

// Where the last component of name starts: after its last separator or
// drive colon.
std::size_t baseStartOf(const wchar_t* name)
{
    std::size_t start = 0;
    for (std::size_t i = 0; name[i] != 0; ++i) {
        if (name[i] == L'\\' || name[i] == L'/' || name[i] == L':') {
            start = i + 1;
        }
    }
    return start;
}

struct FileFacts {
    bool disk;
    bool directory;
    DWORD links;
    DWORD attributes;
    DWORD volume;
    std::uint64_t index;
};

FileFacts factsOf(HANDLE handle)
{
    FileFacts facts{};
    BY_HANDLE_FILE_INFORMATION information{};
    if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &information)) {
        return facts;
    }
    facts.disk = true;
    facts.directory = (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    facts.links = information.nNumberOfLinks;
    facts.attributes = information.dwFileAttributes;
    facts.volume = information.dwVolumeSerialNumber;
    facts.index = (std::uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow;
    return facts;
}

HANDLE existingOpen(const wchar_t* path, DWORD access)
{
    return CreateFileW(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

enum class TargetKind { absent, replaceable, inPlace, refused };

// Looks at what path names now. A replaceable target is a disk file with one
// link; a link to it is followed, so the link stays and the file it names
// is replaced. Devices (NUL, CON), pipes, folders and multi-link files are
// written in place, where the open gives the usual answer.
TargetKind targetFind(const wchar_t* path)
{
    if (!textCopy(g_targetName, kPathUnits, path)) {
        return TargetKind::inPlace;
    }
    HANDLE handle = existingOpen(path, FILE_READ_ATTRIBUTES);
    if (handle == INVALID_HANDLE_VALUE) {
        return GetLastError() == ERROR_FILE_NOT_FOUND ? TargetKind::absent : TargetKind::inPlace;
    }
    const FileFacts facts = factsOf(handle);
    TargetKind kind = TargetKind::inPlace;
    if (facts.disk && !facts.directory && facts.links == 1) {
        kind = TargetKind::replaceable;
        if ((facts.attributes & FILE_ATTRIBUTE_READONLY) != 0) {
            // A read-only file is refused, as opening it for writing is.
            SetLastError(ERROR_ACCESS_DENIED);
            kind = TargetKind::refused;
        } else if ((facts.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            const DWORD length = GetFinalPathNameByHandleW(handle, g_targetName, kPathUnits, FILE_NAME_NORMALIZED);
            kind = length > 0 && length < kPathUnits ? TargetKind::replaceable : TargetKind::inPlace;
        }
        g_output.keptAttributes = facts.attributes & ~FILE_ATTRIBUTE_REPARSE_POINT;
    }
    const DWORD reason = GetLastError();
    CloseHandle(handle);
    SetLastError(reason);
    return kind;
}

// ".out.wav.3fa9c2.partial" beside "out.wav", and hidden as well.
bool temporaryNameMake(unsigned attempt)
{
    static const wchar_t kDigits[] = L"0123456789abcdefghijklmnopqrstuvwxyz";
    constexpr std::size_t kTagLength = 6;
    constexpr wchar_t kSuffix[] = L".partial";
    constexpr std::size_t kSuffixLength = sizeof kSuffix / sizeof kSuffix[0] - 1;
    constexpr std::size_t kBaseRoom = kNameUnits - 2 - kTagLength - kSuffixLength;

    LARGE_INTEGER counter{};
    QueryPerformanceCounter(&counter);
    std::uint64_t seed = static_cast<std::uint64_t>(counter.QuadPart)
        ^ (std::uint64_t{GetCurrentProcessId()} << 32) ^ (std::uint64_t{attempt} * 0x9E3779B97F4A7C15ULL);

    const std::size_t folderLength = baseStartOf(g_targetName);
    const std::size_t baseLength = std::min(std::wcslen(g_targetName + folderLength), kBaseRoom);
    if (folderLength + 2 + baseLength + kTagLength + kSuffixLength + 1 > kPathUnits) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    wchar_t* out = g_temporaryName;
    out = std::wmemcpy(out, g_targetName, folderLength) + folderLength;
    *out++ = L'.';
    out = std::wmemcpy(out, g_targetName + folderLength, baseLength) + baseLength;
    *out++ = L'.';
    for (std::size_t i = 0; i < kTagLength; ++i) {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        *out++ = kDigits[(seed >> 33) % (sizeof kDigits / sizeof kDigits[0] - 1)];
    }
    std::wmemcpy(out, kSuffix, kSuffixLength + 1);
    return true;
}

HANDLE temporaryCreate()
{
    if (VUZ_FAULT_INJECTED(temporary)) {
        SetLastError(win32FromErrno(errno));
        return INVALID_HANDLE_VALUE;
    }
    for (unsigned attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        if (!temporaryNameMake(attempt)) {
            return INVALID_HANDLE_VALUE;
        }
        HANDLE handle = CreateFileW(g_temporaryName, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                    CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr);
        if (handle != INVALID_HANDLE_VALUE || (GetLastError() != ERROR_FILE_EXISTS
                                               && GetLastError() != ERROR_ALREADY_EXISTS)) {
            return handle;
        }
    }
    return INVALID_HANDLE_VALUE;
}

// Removes the temporary, or at least empties it should that be refused.
// Leaves errno and the last-error code as they were: it runs after the
// failure they describe.
void temporaryRemove()
{
    const int reason = errno;
    const DWORD code = GetLastError();
    if (VUZ_FAULT_INJECTED(discard) || !DeleteFileW(g_temporaryName)) {
        HANDLE handle = CreateFileW(g_temporaryName, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                    TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            CloseHandle(handle);
        }
    }
    SetLastError(code);
    errno = reason;
}

std::FILE* streamFromHandle(HANDLE handle)
{
    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
    if (descriptor < 0) {
        CloseHandle(handle);
        return nullptr;
    }
    std::FILE* stream = _fdopen(descriptor, "wb");
    if (stream == nullptr) {
        _close(descriptor);
    }
    return stream;
}

std::FILE* inPlaceOpen(const wchar_t* path)
{
    if (VUZ_FAULT_INJECTED(create)) {
        return nullptr;
    }
    textCopy(g_targetName, kPathUnits, path);
    SetLastError(ERROR_SUCCESS);
    std::FILE* stream = _wfopen(path, L"wb");
    if (stream == nullptr) {
        // _wfopen leaves the last-error code of the CreateFileW it made.
        if (GetLastError() != ERROR_SUCCESS) {
            failureRecordWin32();
        }
        return nullptr;
    }
    const FileFacts facts = factsOf(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))));
    g_output.inPlaceDisk = facts.disk && !facts.directory;
    g_output.volume = facts.volume;
    g_output.index = facts.index;
    return stream;
}

// The file is checked, emptied and removed through one handle, so the file
// that goes is the file this call wrote, whatever the path names by then.
// Leaves errno and the last-error code as they were.
void inPlaceDiscard()
{
    if (!g_output.inPlaceDisk) {
        return;
    }
    const int reason = errno;
    const DWORD code = GetLastError();
    HANDLE handle = existingOpen(g_targetName, DELETE | GENERIC_WRITE | FILE_READ_ATTRIBUTES);
    if (handle == INVALID_HANDLE_VALUE) {
        SetLastError(code);
        errno = reason;
        return;
    }
    const FileFacts facts = factsOf(handle);
    if (facts.disk && facts.volume == g_output.volume && facts.index == g_output.index) {
        // Emptied first, so no other link to the file keeps a damaged file.
        SetEndOfFile(handle);
        FILE_DISPOSITION_INFO disposition{};
        disposition.DeleteFile = TRUE;
        if (!VUZ_FAULT_INJECTED(discard)) {
            SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition);
        }
    }
    CloseHandle(handle);
    SetLastError(code);
    errno = reason;
}

// The replacement shows as the file it replaces: not hidden, with the old
// file's attributes.
bool attributesCopy()
{
    if (VUZ_FAULT_INJECTED(metadata)) {
        SetLastError(win32FromErrno(errno));
        return false;
    }
    const DWORD attributes = g_output.keptAttributes != 0 ? g_output.keptAttributes : FILE_ATTRIBUTE_NORMAL;
    return SetFileAttributesW(g_temporaryName, attributes) != 0;
}

// Other writers replace the same target, and readers may hold it open
// without delete sharing; both only for a moment.
bool targetReplace()
{
    if (VUZ_FAULT_INJECTED(rename)) {
        SetLastError(win32FromErrno(errno));
        return false;
    }
    for (int waited = 0;; waited += kReplacePollMs) {
        if (MoveFileExW(g_temporaryName, g_targetName, kReplaceFlags)) {
            return true;
        }
        const DWORD reason = GetLastError();
        if ((reason != ERROR_ACCESS_DENIED && reason != ERROR_SHARING_VIOLATION) || waited >= kReplaceWaitMs) {
            return false;
        }
        Sleep(kReplacePollMs);
    }
}

void streamCloseKeepingErrors(std::FILE* stream)
{
    const int reason = errno;
    const DWORD code = GetLastError();
    std::fclose(stream);
    SetLastError(code);
    errno = reason;
}

} // namespace

std::FILE* outputOpen(const WideChar* path, std::uint64_t /*fileBytes*/)
{
    g_output = Output{};
    if (!isValidUtf16(path)) {
        errno = EILSEQ;
        return nullptr;
    }
    const TargetKind kind = targetFind(path);
    if (kind == TargetKind::refused) {
        failureRecordWin32();
        return nullptr;
    }
    if (kind == TargetKind::inPlace) {
        return inPlaceOpen(path);
    }
    HANDLE handle = temporaryCreate();
    if (handle == INVALID_HANDLE_VALUE) {
        // A folder that refuses new files may still let its file be written.
        if (kind == TargetKind::replaceable && GetLastError() == ERROR_ACCESS_DENIED) {
            return inPlaceOpen(path);
        }
        failureRecordWin32();
        return nullptr;
    }
    g_output.replacing = true;
    std::FILE* stream = streamFromHandle(handle);
    if (stream == nullptr) {
        temporaryRemove();
        return nullptr;
    }
    std::setvbuf(stream, g_streamBuffer, _IOFBF, sizeof g_streamBuffer);
    return stream;
}

bool outputSeekable(std::FILE* stream)
{
    return GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)))) == FILE_TYPE_DISK;
}

bool outputCommit(std::FILE* stream)
{
    if (!g_output.replacing) {
        if (fileClose(stream)) {
            return true;
        }
        inPlaceDiscard();
        return false;
    }
#if defined(VUZ_DURABLE_RENAME)
    // The data reaches the disk before the name does.
    if (std::fflush(stream) != 0
        || !FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))))) {
        failureRecordWin32();
        streamCloseKeepingErrors(stream);
        temporaryRemove();
        return false;
    }
#endif
    if (!fileClose(stream)) {
        temporaryRemove();
        return false;
    }
    if (!attributesCopy() || !targetReplace()) {
        failureRecordWin32();
        temporaryRemove();
        return false;
    }
    return true;
}

void outputAbandon(std::FILE* stream)
{
    streamCloseKeepingErrors(stream);
    if (g_output.replacing) {
        temporaryRemove();
    } else {
        inPlaceDiscard();
    }
}

} // namespace core

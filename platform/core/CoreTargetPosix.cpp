// What a path names, found the way the kernel would open it, but one
// symbolic link at a time: the output is then written to the file the last
// link names, the links stay, and the names of this process's own
// descriptors are recognised as such.
#include "CoreOutputPosix.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

namespace core {
namespace {

// As the kernel counts symbolic links on one path before ELOOP.
constexpr int kMaxSymbolicLinkHops = 40;

// Where this process's descriptors are named. /dev/stdout and /dev/fd/N are
// links into it.
constexpr char kOwnDescriptorFolder[] = "/proc/self/fd";

// What a link says, and the folder part of a path or of a link; calls hold
// the module lock, so module-static buffers serve.
char g_linkText[PATH_MAX];
char g_folderText[PATH_MAX];

bool isFolderOnlyName(const char* name)
{
    return name[0] == '\0' || std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

// Opens the folder part of text (up to its last slash) relative to base,
// and copies the last component into name. False with errno set when the
// folder cannot be opened; name is left empty for text that ends in a
// slash, ".", or "..", which names a folder rather than a file in one.
bool folderAndNameSplit(int base, const char* text, int* folder, char (&name)[NAME_MAX + 1])
{
    if (std::strlen(text) >= PATH_MAX) {
        errno = ENAMETOOLONG;
        return false;
    }
    const char* slash = std::strrchr(text, '/');
    const char* last = slash ? slash + 1 : text;
    const std::size_t nameLength = std::strlen(last);
    if (nameLength >= sizeof name) {
        errno = ENAMETOOLONG;
        return false;
    }
    std::memcpy(name, last, nameLength + 1);
    int opened = -1;
    if (slash == nullptr) {
        opened = openat(base, ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    } else if (slash == text) {
        opened = open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
    } else {
        const std::size_t folderLength = static_cast<std::size_t>(slash - text);
        std::memcpy(g_folderText, text, folderLength);
        g_folderText[folderLength] = '\0';
        opened = openat(base, g_folderText, O_PATH | O_DIRECTORY | O_CLOEXEC);
    }
    if (opened < 0) {
        return false;
    }
    *folder = opened;
    return true;
}

// A descriptor's name in the proc file system: decimal digits, nine at
// most, so that every name read fits an int.
bool descriptorNumberRead(const char* text, int* number)
{
    if (*text == '\0' || std::strlen(text) > 9) {
        return false;
    }
    int value = 0;
    for (const char* c = text; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9') {
            return false;
        }
        value = value * 10 + (*c - '0');
    }
    *number = value;
    return true;
}

// A link in the proc file system is no text to follow but the object
// itself. Those in this process's own descriptor folder name descriptors
// the bytes must go down, whatever they are (a pipe, a socket, a file
// opened for appending); the others are opened as they stand.
TargetKind procLinkKind(int folder, const char* name, int* number)
{
    struct stat folderStatus {};
    struct stat ownStatus {};
    if (fstat(folder, &folderStatus) != 0 || stat(kOwnDescriptorFolder, &ownStatus) != 0
        || folderStatus.st_dev != ownStatus.st_dev || folderStatus.st_ino != ownStatus.st_ino
        || !descriptorNumberRead(name, number)) {
        return TargetKind::other;
    }
    return TargetKind::descriptor;
}

bool isInProcFileSystem(int folder)
{
    struct statfs fileSystem {};
    return fstatfs(folder, &fileSystem) == 0 && fileSystem.f_type == PROC_SUPER_MAGIC;
}

// Moves target one link further: to the folder and name its text names.
bool linkFollow(Target* target)
{
    const ssize_t length = readlinkat(target->folder, target->name, g_linkText, sizeof g_linkText - 1);
    if (length < 0) {
        return false;
    }
    g_linkText[length] = '\0';
    int next = -1;
    const bool split = folderAndNameSplit(target->folder, g_linkText, &next, target->name);
    close(target->folder);
    target->folder = -1;
    if (!split) {
        return false;
    }
    target->folder = next;
    return true;
}

// Looks at folder/name without following it.
bool statusRead(Target* target, bool* exists)
{
    struct statx extended {};
    if (statx(target->folder, target->name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_TYPE | STATX_NLINK, &extended)
        != 0) {
        *exists = false;
        return errno == ENOENT;
    }
    *exists = true;
    target->mode = extended.stx_mode;
    target->linkCount = extended.stx_nlink;
    target->mountRoot = (extended.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0
        && (extended.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
    return true;
}

bool targetClassify(Target* target)
{
    for (int hop = 0; hop <= kMaxSymbolicLinkHops; ++hop) {
        if (isFolderOnlyName(target->name)) {
            target->kind = TargetKind::other;
            return true;
        }
        bool exists = false;
        if (!statusRead(target, &exists)) {
            return false;
        }
        if (!exists) {
            target->kind = TargetKind::absent;
            return true;
        }
        if (S_ISREG(target->mode)) {
            target->kind = TargetKind::file;
            return true;
        }
        if (!S_ISLNK(target->mode)) {
            target->kind = TargetKind::other;
            return true;
        }
        if (isInProcFileSystem(target->folder)) {
            target->kind = procLinkKind(target->folder, target->name, &target->number);
            return true;
        }
        if (!linkFollow(target)) {
            return false;
        }
    }
    errno = ELOOP;
    return false;
}

} // namespace

bool targetFind(const char* path, Target* target)
{
    *target = Target{};
    target->folder = -1;
    if (path[0] == '\0') {
        target->kind = TargetKind::other;
        return true;
    }
    if (!folderAndNameSplit(AT_FDCWD, path, &target->folder, target->name)) {
        return false;
    }
    const bool found = targetClassify(target);
    if (!found || (target->kind != TargetKind::absent && target->kind != TargetKind::file)) {
        const int reason = errno;
        if (target->folder >= 0) {
            close(target->folder);
        }
        target->folder = -1;
        errno = reason;
    }
    return found;
}

} // namespace core

// A replacement takes over everything that says who may use the file and
// what it is: owner, group, access control list, mode and extended
// attributes, as cp --preserve=all would carry them. It runs before the
// first byte of the new content is written, so that at no moment can the
// new content be read by anyone the finished file would refuse.
#include "CoreFaults.h"
#include "CoreOutputPosix.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace core {
namespace {

// The access control list is an extended attribute, and setting it sets the
// mode's permission bits with it. A default list belongs to folders only.
constexpr char kAccessAclName[] = "system.posix_acl_access";
constexpr char kDefaultAclName[] = "system.posix_acl_default";
// Attributes of these namespaces belong to the file's users, and whoever
// may write the file may set them: one that cannot be carried over fails
// the copy. Those of others (security., trusted.) need privileges the
// writer may lack, and the system sets its own on a new file.
constexpr const char* kUsersNamespaces[] = {"user.", "system."};

// The largest list of names and the largest value Linux keeps, so that one
// read always gets all of either. Calls hold the module lock.
constexpr std::size_t kAttributeBytesMax = 65536;
char g_attributeNames[kAttributeBytesMax];
char g_attributeValue[kAttributeBytesMax];

bool isUnsupported(int reason)
{
    return reason == ENOTSUP || reason == ENODATA;
}

bool isUsersAttribute(const char* name)
{
    for (const char* prefix : kUsersNamespaces) {
        if (std::strncmp(name, prefix, std::strlen(prefix)) == 0) {
            return true;
        }
    }
    return false;
}

// The owner first: a change of owner clears the set-id bits, which the mode
// then restores. A writer that is not the owner's may not give the file
// away; one outside the group may not give it that group.
MetadataCopy ownerCopy(const struct stat& source, int replacement)
{
    struct stat made {};
    if (fstat(replacement, &made) != 0) {
        return MetadataCopy::failed;
    }
    if ((made.st_uid != source.st_uid || made.st_gid != source.st_gid)
        && fchown(replacement, source.st_uid, source.st_gid) != 0) {
        return errno == EPERM ? MetadataCopy::cannotKeep : MetadataCopy::failed;
    }
    return MetadataCopy::kept;
}

// The replacement's own list, inherited from a default list of its folder,
// must not outlive the copy when the source has none.
bool accessListCopy(int source, int replacement)
{
    const ssize_t length = fgetxattr(source, kAccessAclName, g_attributeValue, sizeof g_attributeValue);
    if (length >= 0) {
        return fsetxattr(replacement, kAccessAclName, g_attributeValue, static_cast<std::size_t>(length), 0) == 0;
    }
    if (!isUnsupported(errno)) {
        return false;
    }
    return fremovexattr(replacement, kAccessAclName) == 0 || isUnsupported(errno);
}

bool attributeCopy(int source, int replacement, const char* name)
{
    const ssize_t length = fgetxattr(source, name, g_attributeValue, sizeof g_attributeValue);
    if (length < 0) {
        // Gone since it was listed: nothing to carry.
        return errno == ENODATA;
    }
    if (fsetxattr(replacement, name, g_attributeValue, static_cast<std::size_t>(length), 0) == 0) {
        return true;
    }
    const bool mayNotSet = errno == EPERM || errno == EACCES || errno == ENOTSUP;
    return mayNotSet && !isUsersAttribute(name);
}

bool attributesCopy(int source, int replacement)
{
    const ssize_t length = flistxattr(source, g_attributeNames, sizeof g_attributeNames);
    if (length < 0) {
        return errno == ENOTSUP;
    }
    for (const char* name = g_attributeNames; name < g_attributeNames + length; name += std::strlen(name) + 1) {
        const bool listCopiedAlready =
            std::strcmp(name, kAccessAclName) == 0 || std::strcmp(name, kDefaultAclName) == 0;
        if (!listCopiedAlready && !attributeCopy(source, replacement, name)) {
            return false;
        }
    }
    return true;
}

} // namespace

MetadataCopy metadataCopy(int source, int replacement)
{
    struct stat status {};
    if (VUZ_FAULT_INJECTED(metadata) || fstat(source, &status) != 0) {
        return MetadataCopy::failed;
    }
    const MetadataCopy owner = ownerCopy(status, replacement);
    if (owner != MetadataCopy::kept) {
        return owner;
    }
    // The list before the mode: set alone, the mode's group bits would be
    // taken for the owning group's rights, which the list's mask may exceed.
    if (!accessListCopy(source, replacement) || fchmod(replacement, status.st_mode & 07777) != 0
        || !attributesCopy(source, replacement)) {
        return MetadataCopy::failed;
    }
    return MetadataCopy::kept;
}

} // namespace core

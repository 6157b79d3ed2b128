#include "imagefile/replacement_access.h"

#include <acl/libacl.h>
#include <linux/magic.h>
#include <sys/acl.h>
#include <sys/vfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <string>
#include <string_view>

namespace replacing_file {

namespace {

// The file system keeps no extended attributes: the file has none.
bool Unsupported(int error)
{
    return error == ENOTSUP || error == EOPNOTSUPP || error == ENOSYS;
}

// Reads what `read(buffer, size)` gives (a size query with size 0 first),
// again when it grew between the two calls. Nullopt with errno set on failure.
template <class Read>
std::optional<std::string> ReadGrowing(Read read)
{
    for (;;) {
        const ssize_t size = read(nullptr, 0);
        if (size < 0)
            return std::nullopt;
        std::string bytes(static_cast<std::size_t>(size), '\0');
        const ssize_t got = read(bytes.data(), bytes.size());
        if (got >= 0) {
            bytes.resize(static_cast<std::size_t>(got));
            return bytes;
        }
        if (errno != ERANGE)
            return std::nullopt;
    }
}

// Copies every `user.*` extended attribute of `from` onto `to`.
bool CarryUserAttributes(int from, int to)
{
    const std::optional<std::string> list =
        ReadGrowing([from](char* buffer, std::size_t size) { return ::flistxattr(from, buffer, size); });
    if (!list)
        return Unsupported(errno);
    constexpr std::string_view kUser = "user.";
    for (std::size_t at = 0; at < list->size();) {
        const std::string name = list->c_str() + at;
        at += name.size() + 1;
        if (name.compare(0, kUser.size(), kUser) != 0)
            continue;
        const std::optional<std::string> value = ReadGrowing(
            [&](char* buffer, std::size_t size) { return ::fgetxattr(from, name.c_str(), buffer, size); });
        if (!value) {
            if (errno == ENODATA)  // removed since the list was read
                continue;
            return false;
        }
        if (::fsetxattr(to, name.c_str(), value->data(), value->size(), 0) != 0)
            return false;
    }
    return true;
}

// The type of the file system that holds `fd`; 0 when it cannot be told.
decltype(statfs::f_type) FileSystemType(int fd)
{
    struct statfs fs;
    return ::fstatfs(fd, &fs) == 0 ? fs.f_type : 0;
}

// Whether nothing beyond a file's owner, group and mode governs who may use
// it on the file system that holds `fd`: FAT and exFAT (which take all three
// from the mount) and ramfs. Other file systems that keep no POSIX ACLs may
// keep rules of another kind (NFSv4 and SMB ACLs, NTFS security
// descriptors), or are not known here.
bool KeepsOnlyOwnerGroupAndMode(int fd)
{
    switch (FileSystemType(fd)) {
    case MSDOS_SUPER_MAGIC:
    case EXFAT_SUPER_MAGIC:
    case RAMFS_MAGIC:
        return true;
    default:
        return false;
    }
}

// Whether `fd` has an access ACL beyond its permission bits; nullopt when
// that cannot be told, also on a file system that keeps no such ACLs and may
// keep access rules of another kind, which a new file would not have.
std::optional<bool> HasExtendedAcl(int fd)
{
    const int extended = ::acl_extended_fd(fd);
    if (extended >= 0)
        return extended == 1;
    if (Unsupported(errno) && KeepsOnlyOwnerGroupAndMode(fd))
        return false;
    return std::nullopt;
}

// Gives `to` the access ACL of `from`. Where `from` has none, `to` gets one
// of `from`'s permission bits alone, which drops what `to` took from its
// folder's default ACL.
bool CarryAcl(int from, int to)
{
    const std::optional<bool> fromExtended = HasExtendedAcl(from);
    const std::optional<bool> toExtended = HasExtendedAcl(to);
    if (!fromExtended || !toExtended)
        return false;
    if (!*fromExtended && !*toExtended)
        return true;  // the permission bits say it all, given below
    const acl_t acl = ::acl_get_fd(from);
    if (!acl)
        return false;
    const bool set = ::acl_set_fd(to, acl) == 0;
    ::acl_free(acl);
    return set;
}

// The owner and group first: a change of owner clears the set-id bits, and
// until then the file is its maker's alone.
bool TakeOwner(int made, const struct stat& existing)
{
    struct stat st;
    if (::fstat(made, &st) != 0)
        return false;
    return (st.st_uid == existing.st_uid && st.st_gid == existing.st_gid) ||
           ::fchown(made, existing.st_uid, existing.st_gid) == 0;
}

// Whether `made` shows the owner, group and permissions of `existing`: a
// file system may take a change of them without making it (FAT with the
// option quiet, exFAT through FUSE).
bool ShowsOwnerGroupAndMode(int made, const struct stat& existing)
{
    constexpr mode_t kPermissions = S_IRWXU | S_IRWXG | S_IRWXO;
    struct stat st;
    return ::fstat(made, &st) == 0 && st.st_uid == existing.st_uid && st.st_gid == existing.st_gid &&
           (st.st_mode & kPermissions) == (existing.st_mode & kPermissions);
}

}  // namespace

bool AccessCanBeCarried(int existing)
{
    // A FUSE program (sshfs, say) may keep rules it does not show: it may
    // answer the ACL read as if there were none, and keep a server's ACL.
    return FileSystemType(existing) != FUSE_SUPER_MAGIC;
}

bool TakeAccess(int made, int existing, const struct stat& existingStat)
{
    // The tags go on while the maker still owns the file; the ACL before the
    // permission bits, which with an inherited ACL would open its entries;
    // the bits last, which also give the set-id bits back.
    return CarryUserAttributes(existing, made) && TakeOwner(made, existingStat) && CarryAcl(existing, made) &&
           ::fchmod(made, existingStat.st_mode & 07777) == 0 && ShowsOwnerGroupAndMode(made, existingStat);
}

}  // namespace replacing_file

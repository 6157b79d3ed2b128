// A small file system of its own on a folder, for tests of what happens on a
// given kind of disk or on a full one. It is mounted in a mount namespace of
// the calling process's own and goes away with that process: use it in a
// child process only.
#pragma once

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace testsupport {

enum class DiskKind { kTmpfs, kExt4 };

inline const char* DiskName(DiskKind kind)
{
    return kind == DiskKind::kTmpfs ? "tmpfs" : "ext4";
}

// Mounts a new file system of `kind` and `bytes` on the folder `at`. ext4 is
// made (by e2fsprogs' mkfs.ext4) in the image file `at` + ".img" and mounted
// through a loop device, which is let go when it is unmounted. Empty when
// mounted, else why it could not be.
inline std::string MountScratchDisk(DiskKind kind, const std::string& at, unsigned long bytes)
{
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return "this process may not have mounts of its own";
    if (kind == DiskKind::kTmpfs) {
        const std::string options = "size=" + std::to_string(bytes);
        return mount("none", at.c_str(), "tmpfs", 0, options.c_str()) == 0 ? "" : "tmpfs cannot be mounted here";
    }
    const std::string image = at + ".img";
    const int fd = open(image.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    const bool sized = fd >= 0 && ftruncate(fd, static_cast<off_t>(bytes)) == 0;
    if (fd >= 0)
        close(fd);
    if (!sized)
        return "no image file for an ext4 disk";
    const std::string tools = "PATH=\"$PATH:/usr/sbin:/sbin\" ";
    const std::string quiet = " >/dev/null 2>&1";
    if (std::system((tools + "mkfs.ext4 -q -F '" + image + "'" + quiet).c_str()) != 0)
        return "mkfs.ext4 (e2fsprogs) cannot make an ext4 disk";
    if (std::system((tools + "mount -o loop '" + image + "' '" + at + "'" + quiet).c_str()) != 0)
        return "an ext4 disk image cannot be mounted here (no loop device?)";
    return "";
}

}  // namespace testsupport

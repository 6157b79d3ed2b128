// A small file system of its own on a folder, for tests of what happens on a
// given kind of disk or on a full one. It is mounted in a mount namespace of
// the calling process's own and goes away with that process: use it in a
// child process only.
#pragma once

#include <fcntl.h>
#include <linux/loop.h>
#include <linux/magic.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

namespace testsupport {

// tmpfs and ext4 keep ACLs and reserve room; ext2 (files without extents)
// reserves none; ramfs keeps neither ACLs nor extended attributes and has no
// size; exFAT through FUSE (exfat-fuse) reserves nothing, keeps neither, and
// gives every file the mount's owner and permissions, as FAT through FUSE
// (fusefat) does, which also refuses to cut a file to a size that does not
// shrink it; btrfs writes every overwritten block to a new place, and takes
// a reservation of blocks a file has already without reserving anything
// (its disks are of 114 MB at least).
enum class DiskKind { kTmpfs, kExt4, kExt2, kRamfs, kFuseExfat, kFuseFat, kBtrfs };

inline const char* DiskName(DiskKind kind)
{
    switch (kind) {
    case DiskKind::kTmpfs: return "tmpfs";
    case DiskKind::kExt4: return "ext4";
    case DiskKind::kExt2: return "ext2";
    case DiskKind::kRamfs: return "ramfs";
    case DiskKind::kFuseExfat: return "exfat-fuse";
    case DiskKind::kFuseFat: return "fusefat";
    case DiskKind::kBtrfs: return "btrfs";
    }
    return "?";
}

namespace detail {

// An image file of `bytes` at `image`, made into a file system by the
// command `mkfs` (run with the image's name after it). Empty when made.
inline std::string MakeImage(const std::string& image, unsigned long bytes, const std::string& mkfs)
{
    const int fd = open(image.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    const bool sized = fd >= 0 && ftruncate(fd, static_cast<off_t>(bytes)) == 0;
    if (fd >= 0)
        close(fd);
    if (!sized)
        return "no image file for a disk";
    const std::string command = "PATH=\"$PATH:/usr/sbin:/sbin\" " + mkfs + " '" + image + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0)
        return mkfs + " cannot make a disk";
    return "";
}

// A loop device on `image` that is let go when nothing holds it any more;
// this process holds it until it ends. Empty when there is none.
inline std::string LoopDevice(const std::string& image)
{
    const int control = open("/dev/loop-control", O_RDWR | O_CLOEXEC);
    const int backing = open(image.c_str(), O_RDWR | O_CLOEXEC);
    std::string device;
    for (int attempt = 0; control >= 0 && backing >= 0 && device.empty() && attempt < 10; ++attempt) {
        const int number = ioctl(control, LOOP_CTL_GET_FREE);
        if (number < 0)
            break;
        const std::string name = "/dev/loop" + std::to_string(number);
        const int loop = open(name.c_str(), O_RDWR | O_CLOEXEC);
        loop_config config{};
        config.fd = static_cast<unsigned>(backing);
        config.info.lo_flags = LO_FLAGS_AUTOCLEAR;
        if (loop >= 0 && ioctl(loop, LOOP_CONFIGURE, &config) == 0)
            device = name;  // `loop` stays open: closed now, the device would be let go at once
        else if (loop >= 0)
            close(loop);  // taken by another process meanwhile: try the next free one
    }
    if (backing >= 0)
        close(backing);
    if (control >= 0)
        close(control);
    return device;
}

// Runs the FUSE program of `kind` on `source` (a device or an image file)
// and `at` in the foreground, its notes to /dev/null; does not return.
[[noreturn]] inline void RunFuseProgram(DiskKind kind, const std::string& source, const std::string& at)
{
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    dup2(null, STDERR_FILENO);
    const char* path = getenv("PATH");
    setenv("PATH", (std::string(path ? path : "/usr/bin:/bin") + ":/usr/sbin:/sbin").c_str(), 1);
    // exfat-fuse's -d and FUSE's -f keep the program in the foreground;
    // fusefat writes only with rw+.
    if (kind == DiskKind::kFuseFat)
        execlp("fusefat", "fusefat", "-f", "-o", "rw+,allow_other,umask=0", source.c_str(), at.c_str(),
               static_cast<char*>(nullptr));
    else
        execlp("mount.exfat-fuse", "mount.exfat-fuse", "-d", "-o", "allow_other,umask=0", source.c_str(),
               at.c_str(), static_cast<char*>(nullptr));
    _exit(127);
}

// exFAT (exfat-fuse, on a loop device) or FAT (fusefat, on the image file)
// through FUSE on `at`, its program ended when this process ends. Files
// belong to root, open to everyone. The program is ended by a keeper in
// this mount namespace, which outlives it: a FUSE program whose end lets
// the namespace go waits for ever on its own answer to the unmount.
inline std::string MountFuse(DiskKind kind, const std::string& at, unsigned long bytes)
{
    const bool fat = kind == DiskKind::kFuseFat;
    if (access("/dev/fuse", R_OK | W_OK) != 0)
        return "no FUSE device";
    const std::string image = at + ".img";
    const std::string why = MakeImage(image, bytes, fat ? "mkfs.fat" : "mkfs.exfat");
    if (!why.empty())
        return why + (fat ? " (dosfstools)" : " (exfatprogs)");
    const std::string source = fat ? image : LoopDevice(image);
    if (source.empty())
        return "no loop device for the exFAT image";
    int alive[2];  // the write end is open while this process (or a child of it) is
    if (pipe2(alive, O_CLOEXEC) != 0)
        return "no pipe";
    const pid_t keeper = fork();
    if (keeper == 0) {
        close(alive[1]);
        const pid_t program = fork();
        if (program == 0)
            RunFuseProgram(kind, source, at);
        const int programFd = program > 0 ? static_cast<int>(syscall(SYS_pidfd_open, program, 0)) : -1;
        pollfd watch[2] = {{alive[0], POLLIN, 0}, {programFd, POLLIN, 0}};
        while (programFd >= 0 && poll(watch, 2, -1) < 0 && errno == EINTR) {
        }
        if (program > 0) {
            kill(program, SIGKILL);
            waitpid(program, nullptr, 0);
        }
        _exit(0);
    }
    close(alive[0]);
    if (keeper < 0)
        return "no process for the FUSE program";
    // Mounted once the folder shows the FUSE file system; the keeper ends at
    // once when the program cannot mount.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (;;) {
        struct statfs fs;
        if (statfs(at.c_str(), &fs) == 0 && fs.f_type == FUSE_SUPER_MAGIC)
            return "";
        if (waitpid(keeper, nullptr, WNOHANG) == keeper || std::chrono::steady_clock::now() > deadline)
            return std::string(fat ? "FAT" : "exFAT") + " cannot be mounted through FUSE here (" + DiskName(kind) +
                   " missing, or FUSE mounts not allowed)";
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

}  // namespace detail

// Mounts a new file system of `kind` and `bytes` on the folder `at` (ramfs
// takes what memory it is given, whatever `bytes`). ext4 and ext2 (made by
// e2fsprogs) and btrfs (by btrfs-progs) are made in the image file `at` +
// ".img" and mounted through a loop device, which is let go when it is
// unmounted; exFAT (exfatprogs) and FAT (dosfstools) are made there too and
// mounted by exfat-fuse and fusefat. Empty when mounted, else why it could
// not be.
inline std::string MountScratchDisk(DiskKind kind, const std::string& at, unsigned long bytes)
{
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return "this process may not have mounts of its own";
    if (kind == DiskKind::kTmpfs) {
        const std::string options = "size=" + std::to_string(bytes);
        return mount("none", at.c_str(), "tmpfs", 0, options.c_str()) == 0 ? "" : "tmpfs cannot be mounted here";
    }
    if (kind == DiskKind::kRamfs)
        return mount("none", at.c_str(), "ramfs", 0, nullptr) == 0 ? "" : "ramfs cannot be mounted here";
    if (kind == DiskKind::kFuseExfat || kind == DiskKind::kFuseFat)
        return detail::MountFuse(kind, at, bytes);
    const std::string image = at + ".img";
    const bool btrfs = kind == DiskKind::kBtrfs;
    const std::string why = detail::MakeImage(
        image, bytes, btrfs ? "mkfs.btrfs -q -f" : kind == DiskKind::kExt2 ? "mkfs.ext2 -q -F" : "mkfs.ext4 -q -F");
    if (!why.empty())
        return why + (btrfs ? " (btrfs-progs)" : " (e2fsprogs)");
    const std::string tools = "PATH=\"$PATH:/usr/sbin:/sbin\" ";
    const std::string quiet = " >/dev/null 2>&1";
    if (std::system((tools + "mount -o loop '" + image + "' '" + at + "'" + quiet).c_str()) != 0)
        return std::string("the ") + DiskName(kind) + " disk image cannot be mounted here (no loop device?)";
    return "";
}

// MountScratchDisk for a test's child process: true when mounted; else
// prints why not, for the test's log, and is false (the child then ends
// with the code that says the disk was left out).
inline bool MountScratchDiskOrSay(DiskKind kind, const std::string& at, unsigned long bytes)
{
    const std::string why = MountScratchDisk(kind, at, bytes);
    if (!why.empty())
        std::printf("%s: %s\n", DiskName(kind), why.c_str());
    return why.empty();
}

}  // namespace testsupport

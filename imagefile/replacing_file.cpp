#include "imagefile/replacing_file.h"

#include "imagefile/save_path.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Gives `use` short hidden names in `folder` until one is free (`use` fails
// with EEXIST for a name in use). Returns the name used, or empty with errno
// set when `use` failed otherwise. The name is short so that it fits in any
// folder that holds the destination's name.
template <class Use>
std::string WithFreeName(const std::string& folder, Use use)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = InFolder(folder, ".frame-enhancer-" + std::to_string(::getpid()) + "-" +
                                                      std::to_string(attempt) + ".part");
        if (use(name))
            return name;
        if (errno != EEXIST)
            return {};
    }
    errno = EEXIST;
    return {};
}

std::string ProcPath(int fd)
{
    return "/proc/self/fd/" + std::to_string(fd);
}

// A file without a name in `folder`, which can be linked into it through
// /proc; -1 where the system or the folder's file system makes none.
int OpenUnnamed([[maybe_unused]] const std::string& folder)
{
#ifdef O_TMPFILE
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0)
        return -1;
    if (::access(ProcPath(fd).c_str(), F_OK) == 0)
        return fd;
    ::close(fd);
#endif
    return -1;
}

// A file in no folder, in which a picture is encoded whole before it is
// copied: in memory where the system allows, else a temporary file.
std::FILE* OpenScratch()
{
#ifdef MFD_CLOEXEC
    const int fd = ::memfd_create("frame-enhancer-picture", MFD_CLOEXEC);
    if (fd >= 0) {
        if (std::FILE* file = ::fdopen(fd, "w+b"))
            return file;
        ::close(fd);
    }
#endif
    return std::tmpfile();
}

bool WriteAll(int fd, const char* bytes, std::size_t count, off_t offset)
{
    while (count > 0) {
        const ssize_t n = ::pwrite(fd, bytes, count, offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes += n;
        count -= static_cast<std::size_t>(n);
        offset += n;
    }
    return true;
}

// Reserves the space of `size` bytes for `fd` without changing a byte of
// it, so that a full disk or a quota refuses an in-place copy before it
// begins. False only when the file system says the space is not there;
// where it cannot reserve at all, the copy goes ahead as before.
bool ReserveSpace(int fd, off_t size)
{
    if (size <= 0 || ::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, size) == 0)
        return true;
    return errno != ENOSPC && errno != EDQUOT && errno != EFBIG;
}

// Puts the whole of `from` in place of what `to` held, onto the device. The
// bytes go over the old ones and the old tail is cut off last, so the space
// reserved beforehand is the space written.
bool CopyInto(int from, int to)
{
    struct stat scratch;
    if (::fstat(from, &scratch) != 0 || !ReserveSpace(to, scratch.st_size))
        return false;
    char buffer[65536];
    for (off_t offset = 0;;) {
        const ssize_t n = ::pread(from, buffer, sizeof buffer, offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return ::ftruncate(to, offset) == 0 && ::fsync(to) == 0;
        if (!WriteAll(to, buffer, static_cast<std::size_t>(n), offset))
            return false;
        offset += n;
    }
}

}  // namespace

ReplacingFile::ReplacingFile(const char* destination)
{
    if (!destination || !*destination)
        return;
    destination_ = LinkTarget(destination);
    if (destination_.empty())
        return;

    struct stat existing;
    const bool exists = ::stat(destination_.c_str(), &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode)) {
        // A pipe or a socket is refused unopened: opening a pipe would end
        // what its reader reads.
        if (S_ISCHR(existing.st_mode) || S_ISBLK(existing.st_mode))
            OpenDevice();
        return;
    }
    if (exists && ::access(destination_.c_str(), W_OK) != 0)
        return;
    if (exists && existing.st_nlink > 1) {
        // Every name of the file is to show the new picture.
        OpenInPlace();
        return;
    }
    const int fd = OpenBeside();
    if (fd < 0) {
        // A folder that takes no new file may hold a file the user may write.
        if (exists && (errno == EACCES || errno == EPERM))
            OpenInPlace();
        return;
    }
    if (exists) {
        // The new file takes the owner and group of the file it replaces
        // (first: a change of owner clears the set-id bits), then its
        // permissions. An owner that cannot be kept keeps the file itself.
        struct stat made;
        if (::fstat(fd, &made) != 0 ||
            ((made.st_uid != existing.st_uid || made.st_gid != existing.st_gid) &&
             ::fchown(fd, existing.st_uid, existing.st_gid) != 0)) {
            ::close(fd);
            Discard();
            OpenInPlace();
            return;
        }
        ::fchmod(fd, existing.st_mode & 07777);
    }
    file_ = ::fdopen(fd, "wb");
    if (!file_) {
        ::close(fd);
        Discard();
    }
}

// A new file in the destination's folder: one without a name where the
// system makes them, else one under a short hidden name. -1 with errno set
// when the folder takes none.
int ReplacingFile::OpenBeside()
{
    const std::string folder = FolderOf(destination_);
    int fd = OpenUnnamed(folder);
    if (fd >= 0) {
        unnamed_ = true;
        return fd;
    }
    // Made like a new file (the process's umask applies).
    written_ = WithFreeName(folder, [&fd](const std::string& name) {
        fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        return fd >= 0;
    });
    return fd;
}

// The destination opened to be written once the picture is whole in a
// scratch file; it keeps its owner, group, permissions and every name.
void ReplacingFile::OpenInPlace()
{
    inPlace_ = ::open(destination_.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (inPlace_ < 0)
        return;
    file_ = OpenScratch();
    if (!file_) {
        ::close(inPlace_);
        inPlace_ = -1;
    }
}

// A device cannot be replaced by another file: it is written directly. The
// open does not wait (as a terminal line may for its carrier); the writes
// wait as usual. A pipe or a socket is refused, also one that took the
// device's name since it was looked at: opening a pipe waits for a reader,
// and writing one waits for as long as the reader pleases.
void ReplacingFile::OpenDevice()
{
    const int fd = ::open(destination_.c_str(), O_WRONLY | O_TRUNC | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat st;
    const int flags = ::fcntl(fd, F_GETFL);
    if (::fstat(fd, &st) == 0 && (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) && flags >= 0 &&
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0)
        file_ = ::fdopen(fd, "wb");
    if (file_)
        device_ = true;
    else
        ::close(fd);
}

ReplacingFile::~ReplacingFile()
{
    Discard();
}

void ReplacingFile::Discard()
{
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
    }
    if (inPlace_ >= 0) {
        ::close(inPlace_);
        inPlace_ = -1;
    }
    if (!written_.empty()) {
        ::unlink(written_.c_str());
        written_.clear();
    }
    unnamed_ = false;
}

bool ReplacingFile::Commit(bool keep)
{
    if (!file_)
        return false;
    if (!keep) {
        Discard();
        return false;
    }
    bool ok = std::fflush(file_) == 0;
    const int fd = ::fileno(file_);
    if (inPlace_ >= 0) {
        // Only now, with the picture whole, is the destination changed.
        ok = ok && CopyInto(fd, inPlace_);
        ok = ::close(inPlace_) == 0 && ok;
        inPlace_ = -1;
    } else if (!device_) {
        // Every byte on the device before the name moves.
        ok = ok && ::fsync(fd) == 0;
        // A file without a name gets a short one first: a link cannot
        // replace a file, a rename can.
        if (ok && unnamed_) {
            written_ = WithFreeName(FolderOf(destination_), [fd](const std::string& name) {
                return ::linkat(AT_FDCWD, ProcPath(fd).c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0;
            });
            ok = !written_.empty();
        }
    }
    ok = std::fclose(file_) == 0 && ok;
    file_ = nullptr;
    if (ok && !written_.empty())
        ok = std::rename(written_.c_str(), destination_.c_str()) == 0;
    if (ok)
        written_.clear();
    Discard();
    return ok;
}

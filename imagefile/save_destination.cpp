#include "imagefile/save_destination.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <optional>
#include <unistd.h>
#include <utility>

namespace replacing_file {

Descriptor& Descriptor::operator=(Descriptor&& other) noexcept
{
    if (this != &other) {
        Reset();
        fd_ = other.Release();
    }
    return *this;
}

int Descriptor::Release()
{
    return std::exchange(fd_, -1);
}

bool Descriptor::Reset()
{
    return fd_ < 0 || ::close(Release()) == 0;
}

std::string ProcPath(int fd)
{
    return "/proc/self/fd/" + std::to_string(fd);
}

namespace {

constexpr int kMostLinks = 40;  // as many as the system follows in one path

// The folder part of a path ("." for a bare name) and its last name.
std::string FolderOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string LastName(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// `folder` (relative to the folder `at`), held without being opened for
// reading; the system follows the links within it by its own rules.
Descriptor OpenFolder(int at, const std::string& folder)
{
    return Descriptor(::openat(at, folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
}

// The system's own rule for links in folders that everyone may write and
// only owners may delete from (such as /tmp): a link there leads somewhere
// only for its owner, or when it belongs to the folder's owner.
bool MayFollow(const struct stat& link, const struct stat& folder)
{
    constexpr mode_t kSharedFolder = S_ISVTX | S_IWOTH;
    return link.st_uid == ::geteuid() || (folder.st_mode & kSharedFolder) != kSharedFolder ||
           link.st_uid == folder.st_uid;
}

// The text of the link held by `link` (a path descriptor of the link itself).
std::optional<std::string> ReadLink(int link)
{
    char target[PATH_MAX];
    const ssize_t length = ::readlinkat(link, "", target, sizeof target);
    if (length <= 0 || length == sizeof target)
        return std::nullopt;
    return std::string(target, static_cast<std::size_t>(length));
}

// The file held by the path descriptor `held` opened for writing: through
// /proc, which opens that very file; where /proc is not there, by its name,
// not following a link, and only when the name still leads to that file.
// The open never waits (on a lease, or a terminal line's carrier); the
// writes will. Nothing is truncated.
Descriptor OpenForWriting(int held, const struct stat& judged, int folder, const std::string& name)
{
    constexpr int kFlags = O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC;
    Descriptor fd(::open(ProcPath(held).c_str(), kFlags));
    if (!fd.Valid() && errno == ENOENT)
        fd = Descriptor(::openat(folder, name.c_str(), kFlags | O_NOFOLLOW));
    struct stat opened;
    const int flags = fd.Valid() ? ::fcntl(fd.Get(), F_GETFL) : -1;
    if (flags < 0 || ::fstat(fd.Get(), &opened) != 0 || opened.st_dev != judged.st_dev ||
        opened.st_ino != judged.st_ino || ::fcntl(fd.Get(), F_SETFL, flags & ~O_NONBLOCK) != 0)
        return {};
    return fd;
}

// The way to write the existing file that `held` holds, with the file
// opened for it.
void Judge(Destination& d, const Descriptor& held, const struct stat& st)
{
    const bool regular = S_ISREG(st.st_mode);
    // A pipe or a socket is never opened: opening a pipe would end what its
    // reader reads, and writing one may wait without end.
    if (!regular && !S_ISCHR(st.st_mode) && !S_ISBLK(st.st_mode))
        return;
    d.file = OpenForWriting(held.Get(), st, d.folder.Get(), d.name);
    if (!d.file.Valid())
        return;
    d.existing = st;
    if (!regular)
        d.way = Way::kDevice;
    else
        d.way = st.st_nlink > 1 ? Way::kInPlace : Way::kReplace;  // every name is to show the new picture
}

}  // namespace

Destination LookAt(const char* path)
{
    Destination d;
    if (!path || !*path)
        return d;
    Descriptor folder = OpenFolder(AT_FDCWD, FolderOf(path));
    std::string name = LastName(path);
    for (int followed = 0;; ++followed) {
        if (!folder.Valid() || name.empty())
            return d;
        const Descriptor held(::openat(folder.Get(), name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        struct stat st;
        if (!held.Valid() || ::fstat(held.Get(), &st) != 0) {
            if (held.Valid() || errno != ENOENT)
                return d;
            // Not made yet: a new file takes the name.
            d.folder = std::move(folder);
            d.name = std::move(name);
            d.way = Way::kReplace;
            return d;
        }
        if (!S_ISLNK(st.st_mode)) {
            d.folder = std::move(folder);
            d.name = std::move(name);
            Judge(d, held, st);
            return d;
        }
        struct stat folderStat;
        if (followed == kMostLinks || ::fstat(folder.Get(), &folderStat) != 0 || !MayFollow(st, folderStat))
            return d;
        const std::optional<std::string> target = ReadLink(held.Get());
        if (!target)
            return d;
        folder = OpenFolder(folder.Get(), FolderOf(*target));
        name = LastName(*target);
    }
}

}  // namespace replacing_file

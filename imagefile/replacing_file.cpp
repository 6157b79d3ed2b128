#include "imagefile/replacing_file.h"

#include "imagefile/replacement_access.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>
#include <vector>

using replacing_file::AccessCanBeCarried;
using replacing_file::Descriptor;
using replacing_file::ProcPath;
using replacing_file::TakeAccess;
using replacing_file::Way;

namespace {

// Gives `use` short hidden names until one is free (`use` fails with EEXIST
// for a name in use). Returns the name used, or empty with errno set when
// `use` failed otherwise. The name is short so that it fits in any folder
// that holds the destination's name.
template <class Use>
std::string WithFreeName(Use use)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name =
            ".frame-enhancer-" + std::to_string(::getpid()) + "-" + std::to_string(attempt) + ".part";
        if (use(name))
            return name;
        if (errno != EEXIST)
            return {};
    }
    errno = EEXIST;
    return {};
}

// A file without a name in `folder`, which can be linked into it through
// /proc; -1 where the system or the folder's file system makes none.
int OpenUnnamed([[maybe_unused]] int folder, [[maybe_unused]] mode_t mode)
{
#ifdef O_TMPFILE
    const int fd = ::openat(folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
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

// Writes `count` bytes at `offset`, which is moved past each byte written.
bool WriteAll(int fd, const char* bytes, std::size_t count, off_t& offset)
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

// Whether the disk described by `fs` may write an overwritten block to a
// new place, letting the old one go only once the write is done: overwriting
// a file then takes as much free room as writing it anew, and a reservation
// asked for blocks the file has already reserves nothing. Copy-on-write
// disks (btrfs, bcachefs, ZFS) and nilfs2, which logs every write, do so;
// so may the disk behind a network file system or a FUSE program (sshfs to
// a btrfs server), which is not known here. Other local disks overwrite a
// block where it lies.
bool WritesOverwrittenBlocksAnew(const struct statfs& fs)
{
    constexpr std::uint32_t kBcachefs = 0xca451a4e, kZfs = 0x2fc12fc1;
    switch (static_cast<std::uint32_t>(fs.f_type)) {
    case BTRFS_SUPER_MAGIC:
    case kBcachefs:
    case kZfs:
    case NILFS_SUPER_MAGIC:
    case NFS_SUPER_MAGIC:
    case CIFS_SUPER_MAGIC:
    case SMB2_SUPER_MAGIC:
    case V9FS_MAGIC:
    case CEPH_SUPER_MAGIC:
    case FUSE_SUPER_MAGIC:
        return true;
    default:
        return false;
    }
}

// Free room such a disk is to have beyond the new bytes' own blocks. btrfs
// that keeps data and metadata apart overwrites a file whole with room for
// its blocks and no more; with both in one pool (mixed block groups) it
// took up to 1.75 MB more for its own bookkeeping during the overwrite.
// The rest is a margin for what was not measured (another disk behind a
// network or FUSE, another version).
constexpr unsigned long long kBookkeepingRoom = 4ull << 20;

// Whether the disk that holds `fd` has the room to write `size` bytes into
// it anew. Where it writes overwritten blocks anew, its free room (as it
// tells it) must hold them with room to spare; a disk that tells no size
// (a FUSE program that does not say) is written as any other.
bool HasRoomToWriteAnew(int fd, off_t size)
{
    struct statfs fs;
    if (::fstatfs(fd, &fs) != 0 || !WritesOverwrittenBlocksAnew(fs) || fs.f_blocks == 0)
        return true;
    const unsigned long long block = std::max<unsigned long long>(fs.f_frsize > 0 ? fs.f_frsize : fs.f_bsize, 1);
    const unsigned long long blocks = (static_cast<unsigned long long>(size) + block - 1) / block;
    const unsigned long long free = static_cast<unsigned long long>(fs.f_bavail) * block;
    return free >= blocks * block + kBookkeepingRoom;
}

// What a reservation of room for a file's new bytes came to.
enum class Room {
    kReserved,     // the disk holds the room for them
    kNone,         // the disk says the room is not there
    kNotReserved,  // the disk reserves nothing (ext2, exFAT, FUSE, ramfs, NFSv3)
};

// Reserves the space of `size` bytes for `fd` without changing a byte of
// it, so that a full disk or a quota refuses an in-place copy before it
// begins.
Room ReserveSpace(int fd, off_t size)
{
    if (size <= 0 || ::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, size) == 0)
        return Room::kReserved;
    return errno == ENOSPC || errno == EDQUOT || errno == EFBIG ? Room::kNone : Room::kNotReserved;
}

// A stretch of a file that holds no room of the disk: [begin, end).
struct Hole {
    off_t begin, end;
};

// The holes in the first `size` bytes of `fd`; none where the disk cannot
// tell.
std::vector<Hole> HolesOf(int fd, off_t size)
{
    std::vector<Hole> holes;
    for (off_t at = 0; at < size;) {
        const off_t begin = ::lseek(fd, at, SEEK_HOLE);
        if (begin < 0 || begin >= size)
            break;
        const off_t data = ::lseek(fd, begin, SEEK_DATA);  // fails past the last data
        const off_t end = data < 0 || data > size ? size : data;
        holes.push_back({begin, end});
        at = end;
    }
    return holes;
}

// Lets go the room that `hole` of `fd` took since it was seen, which reads
// as zeros all the same. False where the disk cannot.
bool Punch(int fd, const Hole& hole)
{
    return ::fallocate(fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, hole.begin, hole.end - hole.begin) == 0;
}

// Gives back the room a failed copy into `fd` took, to what `before` and
// its `holes` show, where the old bytes before `reached` have been
// overwritten. A file that grew is cut back to its old size, and the blocks
// reserved past its end are let go by that cut, which ext4 and tmpfs make
// also to the size the file has; the blocks taken in its holes are let go
// again. Once old bytes were overwritten, no byte written is taken back: the
// file is cut only to the size it has, and only the holes past them are let
// go.
void GiveBackRoom(int fd, const struct stat& before, const std::vector<Hole>& holes, off_t reached)
{
    struct stat now;
    if (::fstat(fd, &now) == 0 && (now.st_size > before.st_size || now.st_blocks > before.st_blocks))
        ::ftruncate(fd, reached > 0 ? now.st_size : std::min(now.st_size, before.st_size));
    for (const Hole& hole : holes)
        if (hole.end > reached)
            Punch(fd, {std::max(hole.begin, reached), hole.end});
}

// Cuts off what `fd` holds past `size`. A file no longer is left alone: a
// disk may refuse a cut that does not shrink (FAT through fusefat).
bool CutTo(int fd, off_t size)
{
    struct stat now;
    return ::fstat(fd, &now) == 0 && now.st_size >= size && (now.st_size == size || ::ftruncate(fd, size) == 0);
}

// Writes the bytes of `from` from `begin` to `end` at the same place in `to`;
// `reached` ends past the last byte written.
bool CopyBytes(int from, int to, off_t begin, off_t end, off_t& reached)
{
    char buffer[65536];
    for (reached = begin; reached < end;) {
        const ssize_t n =
            ::pread(from, buffer, static_cast<std::size_t>(std::min<off_t>(sizeof buffer, end - reached)), reached);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || !WriteAll(to, buffer, static_cast<std::size_t>(n), reached))
            return false;
    }
    return true;
}

bool CopyBytes(int from, int to, off_t begin, off_t end)
{
    off_t reached;
    return CopyBytes(from, to, begin, end, reached);
}

// Whether the room that writing `holes` of `fd` takes can be given back: a
// hole punched where there is one already changes nothing.
bool HolesCanBeGivenBack(int fd, const std::vector<Hole>& holes)
{
    return holes.empty() || Punch(fd, holes.front());
}

// Writes the bytes of `from` that take room of the disk when written into
// `to` (those in the `holes` of `to`, and those from `end`, its old end, to
// `size`) and settles them on the device: a network or FUSE disk may take a
// write and refuse it only then. True when `to` is then seen to reach `size`.
bool WriteWhatTakesRoom(int from, int to, const std::vector<Hole>& holes, off_t end, off_t size)
{
    for (const Hole& hole : holes)
        if (!CopyBytes(from, to, hole.begin, hole.end))
            return false;
    struct stat settled;
    return CopyBytes(from, to, end, size) && ::fsync(to) == 0 && ::fstat(to, &settled) == 0 &&
           settled.st_size >= size;
}

// Puts the whole of `from` in place of what `to` held, onto the device.
// The room is made sure before the first old byte is overwritten: on a disk
// that writes overwritten blocks anew, its free room must hold the whole
// new picture; then it is reserved where the disk reserves; elsewhere what
// takes room (the new bytes past the old end and in the old file's holes)
// is written and settled first, and an old file with holes that cannot be
// given back is not written at all. A copy that fails before the old bytes
// are overwritten, also one refused for want of room, leaves `to` as it
// was, holding no more of the disk than before; one that fails after keeps
// what it wrote, so that a step that fails once the new bytes are all
// written (the flush onto the device, say) still leaves the new picture
// whole.
bool CopyInto(int from, int to)
{
    struct stat scratch, before;
    if (::fstat(from, &scratch) != 0 || ::fstat(to, &before) != 0)
        return false;
    const off_t size = scratch.st_size;
    const off_t overwritten = std::min(size, before.st_size);
    if (!HasRoomToWriteAnew(to, size))
        return false;
    const std::vector<Hole> holes = HolesOf(to, overwritten);
    bool ok = false;
    off_t reached = 0;  // the old bytes before it are overwritten
    switch (ReserveSpace(to, size)) {
    case Room::kReserved:
        ok = CopyBytes(from, to, 0, size, reached);
        break;
    case Room::kNone:
        break;
    case Room::kNotReserved:
        ok = HolesCanBeGivenBack(to, holes) && WriteWhatTakesRoom(from, to, holes, overwritten, size) &&
             CopyBytes(from, to, 0, overwritten, reached);
        break;
    }
    // The old tail cut off last, so that the room reserved is the room written.
    if (ok && CutTo(to, size) && ::fsync(to) == 0)
        return true;
    GiveBackRoom(to, before, holes, reached);
    return false;
}

}  // namespace

ReplacingFile::ReplacingFile(const char* destination) : destination_(replacing_file::LookAt(destination))
{
    Way& way = destination_.way;
    switch (way) {
    case Way::kRefuse:
        return;
    case Way::kDevice:
        // A device cannot be replaced by another file: it is written directly.
        file_ = ::fdopen(destination_.file.Get(), "wb");
        if (file_)
            destination_.file.Release();
        break;
    case Way::kReplace:
        way = OpenReplacement();
        if (way != Way::kInPlace)
            break;
        [[fallthrough]];
    case Way::kInPlace:
        // The file keeps its owner, group, permissions and every name; it
        // changes only once the picture is whole in a scratch file.
        file_ = OpenScratch();
        break;
    }
    if (!file_)
        way = Way::kRefuse;
}

// A new file in the destination's folder: one without a name where the
// system makes them, else one under a short hidden name. kInPlace where it
// cannot take the existing file's place but the file itself may be written.
Way ReplacingFile::OpenReplacement()
{
    const int folder = destination_.folder.Get();
    const bool replacing = destination_.file.Valid();
    if (replacing && !AccessCanBeCarried(destination_.file.Get()))
        return Way::kInPlace;
    // Made like a new file (the process's umask applies); one that is to
    // replace a file is readable by this user alone until it has that
    // file's permissions.
    const mode_t mode = replacing ? 0600 : 0666;
    int fd = OpenUnnamed(folder, mode);
    unnamed_ = fd >= 0;
    if (!unnamed_)
        named_ = WithFreeName([&](const std::string& name) {
            fd = ::openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
            return fd >= 0;
        });
    if (fd < 0)  // a folder that takes no new file may hold a file the user may write
        return replacing && (errno == EACCES || errno == EPERM) ? Way::kInPlace : Way::kRefuse;
    Descriptor made(fd);
    if (replacing && !TakeAccess(fd, destination_.file.Get(), destination_.existing)) {
        Discard();
        return Way::kInPlace;
    }
    file_ = ::fdopen(fd, "wb");
    if (!file_) {
        Discard();
        return Way::kRefuse;
    }
    made.Release();
    return Way::kReplace;
}

ReplacingFile::~ReplacingFile()
{
    Discard();
}

// Drops what was written, never the destination.
void ReplacingFile::Discard()
{
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
    }
    if (!named_.empty()) {
        ::unlinkat(destination_.folder.Get(), named_.c_str(), 0);
        named_.clear();
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
    const int folder = destination_.folder.Get();
    switch (destination_.way) {
    case Way::kInPlace:
        // Only now, with the picture whole, is the destination changed.
        ok = ok && CopyInto(fd, destination_.file.Get());
        ok = destination_.file.Reset() && ok;
        break;
    case Way::kReplace:
        // Every byte on the device before the name moves.
        ok = ok && ::fsync(fd) == 0;
        // A file without a name gets a short one first: a link cannot
        // replace a file, a rename can.
        if (ok && unnamed_) {
            named_ = WithFreeName([&](const std::string& name) {
                return ::linkat(AT_FDCWD, ProcPath(fd).c_str(), folder, name.c_str(), AT_SYMLINK_FOLLOW) == 0;
            });
            ok = !named_.empty();
        }
        break;
    case Way::kDevice:
    case Way::kRefuse:
        break;
    }
    ok = std::fclose(file_) == 0 && ok;
    file_ = nullptr;
    if (ok && destination_.way == Way::kReplace)
        ok = ::renameat(folder, named_.c_str(), folder, destination_.name.c_str()) == 0;
    if (ok)
        named_.clear();
    Discard();
    return ok;
}

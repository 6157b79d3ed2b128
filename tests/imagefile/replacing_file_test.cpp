// Saving at the edges of the file system: pipes, the longest names, saves
// killed midway, files the saver may write but not replace, files of other
// owners or with several names, symbolic links to files not made yet and
// links planted by other users, names swapped while a save runs, refused
// permissions, the file-size limit, full disks that reserve room or none,
// and files with holes.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "imagefile/raster_image.h"
#include "imagefile/replacing_file.h"
#include "tests/imagefile/imagefile_test_util.h"
#include "tests/imagefile/save_test_util.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/scratch_disk.h"
#include "tests/support/syscall_faults.h"

using namespace imagefile_test;

namespace {

using ReplacingFileSave = TempDir;

// A pipe is refused at once, read or not: opening one without a reader waits
// for a reader, and writing one waits for as long as its reader pleases. The
// save does not even open it, so its reader sees no writer come and go (a
// hang-up, which would end what it reads).
TEST_F(ReplacingFileSave, PipesAreRefusedAtOnce)
{
    Picture picture(8, 8, 1);
    for (const bool withReader : {false, true}) {
        SCOPED_TRACE(withReader ? "with a reader" : "without a reader");
        const std::string pipe = dir_ + (withReader ? "/read.bmp" : "/unread.bmp");
        ASSERT_EQ(mkfifo(pipe.c_str(), 0666), 0);
        const int reader = withReader ? open(pipe.c_str(), O_RDONLY | O_NONBLOCK) : -1;
        const int status = RunInChild([&] { return picture.image.Save(pipe.c_str(), RASTER_TYPE_BMP) ? 0 : 1; },
                                      false, 10);
        EXPECT_EQ(ExitCode(status), 1) << "-1: the save still waited after 10 s";
        struct stat st;
        ASSERT_EQ(lstat(pipe.c_str(), &st), 0);
        EXPECT_TRUE(S_ISFIFO(st.st_mode));
        if (reader >= 0) {
            pollfd watch{reader, POLLIN, 0};
            EXPECT_EQ(poll(&watch, 1, 0), 0) << "the reader saw a writer (events " << watch.revents << ")";
            close(reader);
        }
    }
}

// Every name the folder accepts can be saved, new and over an older file.
TEST_F(ReplacingFileSave, NamesUpToTheLongestTheFolderTakes)
{
    if (pathconf(dir_.c_str(), _PC_NAME_MAX) < 255)
        GTEST_SKIP() << "the folder takes no 255-byte names";
    Picture first(10, 10, 1), second(12, 9, 2);
    for (const std::size_t length : {250u, 255u}) {
        SCOPED_TRACE(testing::Message() << length << " bytes");
        const std::string path = dir_ + "/" + std::string(length - 4, 'n') + ".bmp";
        ASSERT_TRUE(first.image.Save(path.c_str(), RASTER_TYPE_BMP));
        EXPECT_EQ(ReadFile(path), first.bytes);
        ASSERT_TRUE(second.image.Save(path.c_str(), RASTER_TYPE_BMP));
        EXPECT_EQ(ReadFile(path), second.bytes);
        EXPECT_EQ(FolderEntries(dir_).size(), 1u);
        unlink(path.c_str());
    }
}

// Whether files made in `dir` can be unnamed until they are whole.
bool UnnamedFilesIn(const std::string& dir)
{
#ifdef O_TMPFILE
    const int fd = open(dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    const bool linkable = access(("/proc/self/fd/" + std::to_string(fd)).c_str(), F_OK) == 0;
    close(fd);
    return linkable;
#else
    (void)dir;
    return false;
#endif
}

void KillSelf(int)
{
    kill(getpid(), SIGKILL);
}

// A save killed while it writes leaves the folder as it was: the destination
// untouched, and no part of the picture beside it.
TEST_F(ReplacingFileSave, ASaveKilledMidwayLeavesNothingBehind)
{
    if (!UnnamedFilesIn(dir_))
        GTEST_SKIP() << "the system makes no unnamed files in " << dir_;
    Picture older(6, 6, 1), large(400, 300, 2);
    const std::string existing = dir_ + "/existing.bmp";
    WriteBytes(existing, older.bytes);
    for (const std::string& path : {existing, dir_ + "/new.bmp"}) {
        SCOPED_TRACE(path);
        const int status = RunInChild([&] {
            // The write that crosses the limit raises SIGXFSZ, and the
            // process is killed there, in the middle of the picture.
            testsupport::FileSizeLimit limit(large.bytes.size() / 2);
            std::signal(SIGXFSZ, KillSelf);
            return large.image.Save(path.c_str(), RASTER_TYPE_BMP) ? 0 : 1;
        });
        ASSERT_TRUE(status >= 0 && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
        EXPECT_EQ(FolderEntries(dir_), std::vector<std::string>{"existing.bmp"});
        EXPECT_EQ(ReadFile(existing), older.bytes);
    }
}

// A file the saver may write but not replace, because its folder takes no new
// file, or because the file belongs to another user whose ownership a new
// file of the saver's could not keep (in a folder open to all, with and
// without the sticky bit): the picture goes into the file itself, only once it
// is whole. As root the saves run as nobody.
TEST_F(ReplacingFileSave, AWritableFileTheSaverCannotReplace)
{
    if (geteuid() != 0 && access("/", W_OK) == 0)  // permissions do not bind this process
        GTEST_SKIP() << "file permissions do not apply to this process";
    ASSERT_EQ(chmod(dir_.c_str(), 0755), 0);  // nobody passes through
    Picture older(6, 6, 1), newer(30, 20, 2);
    for (const mode_t folderMode : {0555, 0777, 01777}) {
        SCOPED_TRACE(testing::Message() << "folder mode " << std::oct << folderMode);
        const std::string folder = dir_ + "/" + std::to_string(folderMode);
        const std::string path = folder + "/picture.bmp";
        ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
        WriteBytes(path, older.bytes);
        ASSERT_EQ(chmod(path.c_str(), 0666), 0);
        ASSERT_EQ(chmod(folder.c_str(), folderMode), 0);
        struct stat before;
        ASSERT_EQ(stat(path.c_str(), &before), 0);

        EXPECT_EQ(ExitCode(RunInChild([&] { return FailThenSave(newer.image, path, older.bytes); }, true)), 0);
        EXPECT_EQ(ReadFile(path), newer.bytes);
        struct stat after;
        ASSERT_EQ(stat(path.c_str(), &after), 0);
        EXPECT_EQ(after.st_uid, before.st_uid);
        EXPECT_EQ(after.st_gid, before.st_gid);
        EXPECT_EQ(after.st_mode & 07777, 0666u);
        EXPECT_EQ(FolderEntries(folder), std::vector<std::string>{"picture.bmp"});
        chmod(folder.c_str(), 0755);
    }
}

TEST_F(ReplacingFileSave, AReplacedFileKeepsItsOwnerAndGroup)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "only a privileged process may save a file of another user's and keep its owner";
    Picture older(6, 6, 1), newer(30, 20, 2);
    const std::string path = dir_ + "/owned.bmp";
    WriteBytes(path, older.bytes);
    ASSERT_EQ(chown(path.c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    ASSERT_TRUE(newer.image.Save(path.c_str(), RASTER_TYPE_BMP));
    EXPECT_EQ(ReadFile(path), newer.bytes);
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, kNobody);
    EXPECT_EQ(st.st_gid, kNobody);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

// A file with two names stays one file: both names see the new picture, and
// neither changes when a save fails.
TEST_F(ReplacingFileSave, EveryNameOfAFileSeesTheNewPicture)
{
    Picture older(6, 6, 1), newer(30, 20, 2);
    const std::string first = dir_ + "/first.bmp", second = dir_ + "/second.bmp";
    WriteBytes(first, older.bytes);
    ASSERT_EQ(link(first.c_str(), second.c_str()), 0);
    EXPECT_EQ(FailThenSave(newer.image, first, older.bytes), 0);
    EXPECT_EQ(ReadFile(first), newer.bytes);
    EXPECT_EQ(ReadFile(second), newer.bytes);
    struct stat a, b;
    ASSERT_EQ(stat(first.c_str(), &a), 0);
    ASSERT_EQ(stat(second.c_str(), &b), 0);
    EXPECT_EQ(a.st_ino, b.st_ino);
    EXPECT_EQ(a.st_nlink, 2u);
    EXPECT_EQ(FolderEntries(dir_).size(), 2u);
}

// A file written in place on a disk without room for the new picture stays
// as it was: the room is asked for before a byte changes. The disk is a
// small memory file system that the test's child mounts where it may.
TEST_F(ReplacingFileSave, AFullDiskLeavesAFileWrittenInPlaceAsItWas)
{
    Picture older(6, 6, 1), newer(120, 100, 2);
    const std::string disk = dir_ + "/disk";
    ASSERT_EQ(mkdir(disk.c_str(), 0755), 0);
    const int status = RunInChild([&] {
        if (!testsupport::MountScratchDisk(testsupport::DiskKind::kTmpfs, disk, 64 * 1024).empty())
            return 125;
        const std::string first = disk + "/first.bmp", second = disk + "/second.bmp";
        WriteBytes(first, older.bytes);
        if (link(first.c_str(), second.c_str()) != 0)
            return 2;
        // The rest of the disk filled up.
        const Bytes block(4096, 0);
        if (std::FILE* filler = std::fopen((disk + "/filler").c_str(), "wb")) {
            while (std::fwrite(block.data(), 1, block.size(), filler) == block.size() && std::fflush(filler) == 0) {
            }
            std::fclose(filler);
        }
        if (newer.image.Save(first.c_str(), RASTER_TYPE_BMP))
            return 3;
        if (ReadFile(first) != older.bytes || ReadFile(second) != older.bytes)
            return 4;
        std::remove((disk + "/filler").c_str());
        if (!newer.image.Save(first.c_str(), RASTER_TYPE_BMP) || ReadFile(second) != newer.bytes)
            return 5;
        return 0;
    });
    if (ExitCode(status) == 125)
        GTEST_SKIP() << "this process may not mount a file system of its own";
    EXPECT_EQ(ExitCode(status), 0);
}

// Fills the disk up to `leftFree` bytes with the new file `filler`: by
// reserving the room where the disk reserves, else by writing. In steps of
// 64 MB at most, the free room looked at anew once the disk has settled
// after each: btrfs tells it only roughly before, and after one large step
// has less free than it told.
bool FillDisk(const std::string& filler, unsigned long leftFree)
{
    const int fd = open(filler.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    const Bytes block(1 << 20, 0);
    bool filled = false;
    for (int step = 0; fd >= 0 && step < 64; ++step) {
        struct statvfs fs;
        struct stat st;
        if (syncfs(fd) != 0 || fstatvfs(fd, &fs) != 0 || fstat(fd, &st) != 0)
            break;
        const unsigned long free = fs.f_bavail * fs.f_frsize;
        if (free <= leftFree) {
            filled = step > 0;  // a disk with less room than asked from the start is not filled
            break;
        }
        const unsigned long bytes = std::min(free - leftFree, 64ul << 20);
        if (fallocate(fd, 0, st.st_size, static_cast<off_t>(bytes)) == 0)
            continue;
        bool written = true;
        for (unsigned long done = 0; written && done < bytes;) {
            const std::size_t n = std::min<unsigned long>(bytes - done, block.size());
            written = pwrite(fd, block.data(), n, st.st_size + static_cast<off_t>(done)) == static_cast<ssize_t>(n);
            done += n;
        }
        if (!written)
            break;
    }
    return fd >= 0 && close(fd) == 0 && filled;
}

// The file `path` and its disk once what they hold has settled.
bool LookSettled(const std::string& path, struct stat& file, struct statvfs& disk)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    const bool seen = fd >= 0 && syncfs(fd) == 0 && fstat(fd, &file) == 0 && fstatvfs(fd, &disk) == 0;
    if (fd >= 0)
        close(fd);
    return seen;
}

// An in-place save that fails, for want of room or on a write into the
// file, leaves every byte of the file as it was, the file holding no more of
// the disk than before and the disk as free as it was. On small disks of
// their own: ext4 keeps what a reservation took before it ran out, and the
// blocks reserved past a file's end stay with it on ext4 and tmpfs alike
// until they are let go; ext2 and exFAT through FUSE reserve nothing, so
// the room is made sure by writing before an old byte is overwritten; btrfs
// reserves, and lets go what it reserved past the end by a cut to the size
// the file has. The file is written in place because it has two names, or,
// on exFAT (which takes no second name), because FUSE is always written in
// place.
TEST_F(ReplacingFileSave, AFailedInPlaceSaveGivesBackTheRoomItTook)
{
    using testsupport::DiskKind;
    const Bytes older{'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'};
    Picture large(1024, 1024, 2);  // 3 MB on a disk of 8 MB
    // Through FUSE and on btrfs a save into the file is tried only with free
    // room for the whole picture and 4 MB more; btrfs takes 114 MB at least.
    const auto diskBytes = [](DiskKind kind) {
        return kind == DiskKind::kBtrfs ? 256ul << 20 : kind == DiskKind::kFuseExfat ? 16ul << 20 : 8ul << 20;
    };
    const struct {
        const char* name;
        unsigned long leftFree;  // bytes left free by a filler file; 0: no filler
        std::vector<testsupport::SyscallFault> faults;
    } cases[] = {
        {"a disk with less room than the picture", 1536 * 1024, {}},
        {"a write into the file that fails", 0, {{{__NR_pwrite64}, EIO}}},
    };
    int ran = 0;
    for (const DiskKind kind :
         {DiskKind::kTmpfs, DiskKind::kExt4, DiskKind::kExt2, DiskKind::kFuseExfat, DiskKind::kBtrfs}) {
        SCOPED_TRACE(testsupport::DiskName(kind));
        const std::string disk = dir_ + "/" + testsupport::DiskName(kind);
        ASSERT_EQ(mkdir(disk.c_str(), 0755), 0);
        const int status = RunInChild([&] {
            if (!testsupport::MountScratchDiskOrSay(kind, disk, diskBytes(kind)))
                return 125;
            const std::string first = disk + "/first.bmp", second = disk + "/second.bmp", filler = disk + "/filler";
            for (const auto& c : cases) {
                SCOPED_TRACE(c.name);
                const int code = ExitCode(RunInChild([&] {
                    WriteBytes(first, older);
                    const bool twoNames = link(first.c_str(), second.c_str()) == 0;
                    if (!twoNames && kind != DiskKind::kFuseExfat)
                        return 2;
                    if (c.leftFree > 0 && !FillDisk(filler, c.leftFree))
                        return 2;
                    struct stat before, after;
                    struct statvfs freeBefore, freeAfter;
                    if (!LookSettled(first, before, freeBefore))
                        return 2;
                    if (!testsupport::InjectSyscallFaults(c.faults))
                        return 125;
                    EXPECT_FALSE(large.image.Save(first.c_str(), RASTER_TYPE_BMP));
                    if (!LookSettled(first, after, freeAfter))
                        return 2;
                    EXPECT_EQ(ReadFile(twoNames ? second : first), older);
                    EXPECT_EQ(after.st_size, before.st_size);
                    EXPECT_EQ(after.st_blocks, before.st_blocks) << "blocks of 512 bytes the file holds";
                    EXPECT_EQ(freeAfter.f_bfree, freeBefore.f_bfree)
                        << "free blocks of " << freeAfter.f_frsize << " bytes";
                    return testing::Test::HasFailure() ? 1 : 0;
                }));
                EXPECT_EQ(code, 0) << "2: the disk could not be laid out; 125: the faults could not be made";
                unlink(first.c_str());
                unlink(second.c_str());
                unlink(filler.c_str());
            }
            return testing::Test::HasFailure() ? 1 : 0;
        });
        ran += JudgedOnScratchDisk(status);
    }
    if (ran == 0)
        GTEST_SKIP() << "this process may not mount small disks of its own";
}

// An in-place save over a file with holes, on a disk with room for the new
// bytes past the old end but not for the holes as well, fails and leaves
// the file as it was, holding no more of the disk than before. Where the
// disk reserves room, what the reservation took in the holes before it ran
// out is let go again (ext4 may keep one block of the file's extent tree,
// grown for the reservation); where it reserves none (ext2), the holes are
// written first and let go again, before an old byte changes; where it
// could not let them go either, the file is not written. So too where the
// disk has the room and the first write into the file fails.
TEST_F(ReplacingFileSave, AFailedSaveOverAFileWithHolesLeavesItAsItWas)
{
    using testsupport::DiskKind;
    const Bytes bytes{'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'};
    constexpr off_t kHole = 2 << 20;
    Picture large(1024, 1024, 2);  // 3 MB on a disk of 8 MB
    Bytes older(kHole + bytes.size(), 0);
    std::copy(bytes.begin(), bytes.end(), older.begin());
    std::copy(bytes.begin(), bytes.end(), older.begin() + kHole);
    const struct {
        const char* name;
        DiskKind kind;
        unsigned long keptBlocks;  // blocks of the disk the file may keep
        std::vector<testsupport::SyscallFault> faults;
        bool full = true;  // the disk has 1.5 MB free
    } disks[] = {
        {"tmpfs", DiskKind::kTmpfs, 0, {}},
        {"ext4", DiskKind::kExt4, 1, {}},
        {"ext2", DiskKind::kExt2, 0, {}},
        {"ext4 neither reserving room nor making holes", DiskKind::kExt4, 0, {{{__NR_fallocate}, EOPNOTSUPP}}},
        {"ext4 with room, a write into the file failing", DiskKind::kExt4, 1, {{{__NR_pwrite64}, EIO}}, false},
    };
    int number = 0, ran = 0;
    for (const auto& [name, kind, keptBlocks, faults, full] : disks) {
        SCOPED_TRACE(name);
        const std::string disk = dir_ + "/" + std::to_string(++number);
        ASSERT_EQ(mkdir(disk.c_str(), 0755), 0);
        const int status = RunInChild([&] {
            if (!testsupport::MountScratchDiskOrSay(kind, disk, 8ul << 20))
                return 125;
            const std::string first = disk + "/first.bmp", second = disk + "/second.bmp";
            // Old bytes, the hole, old bytes.
            const auto written = [&bytes](ssize_t n) { return n == static_cast<ssize_t>(bytes.size()); };
            const int fd = open(first.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
            if (fd < 0 || !written(pwrite(fd, bytes.data(), bytes.size(), 0)) ||
                !written(pwrite(fd, bytes.data(), bytes.size(), kHole)) || close(fd) != 0 ||
                link(first.c_str(), second.c_str()) != 0 || (full && !FillDisk(disk + "/filler", 1536 * 1024)))
                return 2;
            struct stat before, after;
            struct statvfs freeBefore, freeAfter;
            if (!LookSettled(first, before, freeBefore))
                return 2;
            if (!testsupport::InjectSyscallFaults(faults))
                return 125;
            EXPECT_FALSE(large.image.Save(first.c_str(), RASTER_TYPE_BMP));
            if (!LookSettled(first, after, freeAfter))
                return 2;
            EXPECT_EQ(ReadFile(second), older);
            EXPECT_LE(static_cast<unsigned long>(after.st_blocks - before.st_blocks) * 512,
                      keptBlocks * freeAfter.f_frsize)
                << "the file held " << before.st_blocks << " blocks of 512 bytes, now " << after.st_blocks;
            EXPECT_LE(freeBefore.f_bfree - freeAfter.f_bfree, keptBlocks)
                << "free blocks of " << freeAfter.f_frsize << " bytes, " << freeBefore.f_bfree << " before";
            return testing::Test::HasFailure() ? 1 : 0;
        });
        ran += JudgedOnScratchDisk(status);
    }
    if (ran == 0)
        GTEST_SKIP() << "this process may not mount small disks of its own";
}

// On a disk that writes every overwritten block to a new place (btrfs), a
// save into the file itself takes free room for the whole new picture, which
// a reservation of the blocks the file has already does not make sure of.
// Without that room the save is refused before a byte changes, also where
// the room would hold the new end but not the overwrite, and the file and
// the disk stay as they were; with room to spare the save goes through. A
// 5.76 MB picture with two names on a btrfs disk of 256 MB.
TEST_F(ReplacingFileSave, ADiskThatWritesOverwrittenBlocksAnewNeedsRoomForTheWholePicture)
{
    Picture older(1600, 1200, 1), same(1600, 1200, 2), larger(2048, 1536, 3);  // 5.76 MB, 9.44 MB
    const struct {
        const char* name;
        Picture& newer;
        unsigned long leftFree;
        bool saved;
    } cases[] = {
        {"as large, 2 MB free", same, 2ul << 20, false},
        {"larger, room for its new end but not for the overwrite", larger, 6ul << 20, false},
        {"as large, room to spare", same, 12ul << 20, true},
    };
    const std::string disk = dir_ + "/disk";
    ASSERT_EQ(mkdir(disk.c_str(), 0755), 0);
    const int status = RunInChild([&] {
        if (!testsupport::MountScratchDiskOrSay(testsupport::DiskKind::kBtrfs, disk, 256ul << 20))
            return 125;
        const std::string first = disk + "/first.bmp", second = disk + "/second.bmp", filler = disk + "/filler";
        for (const auto& c : cases) {
            SCOPED_TRACE(c.name);
            WriteBytes(first, older.bytes);
            struct stat before, after;
            struct statvfs freeBefore, freeAfter;
            if (link(first.c_str(), second.c_str()) != 0 || !FillDisk(filler, c.leftFree) ||
                !LookSettled(first, before, freeBefore))
                return 2;
            EXPECT_EQ(c.newer.image.Save(first.c_str(), RASTER_TYPE_BMP), c.saved);
            if (!LookSettled(first, after, freeAfter))
                return 2;
            EXPECT_EQ(ReadFile(second), c.saved ? c.newer.bytes : older.bytes);
            if (!c.saved) {
                EXPECT_EQ(after.st_size, before.st_size);
                EXPECT_EQ(after.st_blocks, before.st_blocks) << "blocks of 512 bytes the file holds";
                EXPECT_EQ(freeAfter.f_bfree, freeBefore.f_bfree) << "free blocks of " << freeAfter.f_frsize << " bytes";
            }
            unlink(first.c_str());
            unlink(second.c_str());
            unlink(filler.c_str());
        }
        return testing::Test::HasFailure() ? 1 : 0;
    });
    if (ExitCode(status) == 125)
        GTEST_SKIP() << "this process may not mount a btrfs disk of its own";
    EXPECT_EQ(ExitCode(status), 0) << "1: see above; 2: the disk could not be laid out";
}

// A save into the file itself that has overwritten it keeps the new picture
// whole. On FAT through FUSE, which refuses to cut a file to a size that
// does not shrink it, a picture as large as the old one, larger or smaller
// is saved and the save says so; where the flush onto the device fails once
// every byte is written, the save says it failed, and nothing cuts the new
// picture back to the old size.
TEST_F(ReplacingFileSave, AFileOverwrittenInPlaceKeepsTheNewPictureWhole)
{
    using testsupport::DiskKind;
    Picture older(60, 40, 1), same(60, 40, 2), larger(90, 60, 3), smaller(30, 20, 4);
    const struct {
        const char* name;
        DiskKind kind;
        Picture& newer;
        std::vector<testsupport::SyscallFault> faults;
        bool saved;
    } cases[] = {
        {"FAT through FUSE, as large", DiskKind::kFuseFat, same, {}, true},
        {"FAT through FUSE, larger", DiskKind::kFuseFat, larger, {}, true},
        {"FAT through FUSE, smaller", DiskKind::kFuseFat, smaller, {}, true},
        {"tmpfs, larger, the flush failing", DiskKind::kTmpfs, larger, {{{__NR_fsync}, EIO}}, false},
    };
    int number = 0, ran = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string disk = dir_ + "/" + std::to_string(++number);
        ASSERT_EQ(mkdir(disk.c_str(), 0755), 0);
        const int status = RunInChild([&] {
            if (!testsupport::MountScratchDiskOrSay(c.kind, disk, 8ul << 20))
                return 125;
            // A second name makes the save go into the file; through FUSE it
            // always does.
            const std::string first = disk + "/first.bmp", second = disk + "/second.bmp";
            WriteBytes(first, older.bytes);
            const bool twoNames = link(first.c_str(), second.c_str()) == 0;
            if (!twoNames && c.kind != DiskKind::kFuseFat)
                return 2;
            const int saved = ExitCode(RunInChild([&] {
                if (!testsupport::InjectSyscallFaults(c.faults))
                    return 125;
                return c.newer.image.Save(first.c_str(), RASTER_TYPE_BMP) ? 0 : 1;
            }));
            if (saved == 125)
                return 125;
            // Judged here: the failures of earlier cases came along into this process.
            const bool reported = saved == (c.saved ? 0 : 1);
            const bool whole = ReadFile(twoNames ? second : first) == c.newer.bytes;
            EXPECT_TRUE(reported) << "the save said it was " << (saved == 0 ? "made" : "not made");
            EXPECT_TRUE(whole) << "the file is not the new picture";
            return reported && whole ? 0 : 1;
        });
        ran += JudgedOnScratchDisk(status);
    }
    if (ran == 0)
        GTEST_SKIP() << "this process may not mount small disks of its own";
}

// A symbolic link to a file not made yet: the save makes that file (through
// chains of links, with relative and absolute targets), the next save
// replaces it, and the links stay as they were. Links that loop are refused.
TEST_F(ReplacingFileSave, ALinkToAFileNotMadeYetGetsItsFile)
{
    ASSERT_EQ(mkdir((dir_ + "/sub").c_str(), 0755), 0);
    struct Link {
        std::string name, target;
    };
    const struct {
        std::vector<Link> links;  // the save goes through the first
        std::string made;
    } cases[] = {
        {{{"relative.bmp", "sub/relative-target.bmp"}}, "sub/relative-target.bmp"},
        {{{"absolute.bmp", dir_ + "/sub/absolute-target.bmp"}}, "sub/absolute-target.bmp"},
        {{{"chain.bmp", "sub/middle.bmp"}, {"sub/middle.bmp", "../sub/./chain-target.bmp"}}, "sub/chain-target.bmp"},
    };
    Picture first(10, 10, 1), second(12, 9, 2);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.links[0].name);
        for (const Link& l : c.links)
            ASSERT_EQ(symlink(l.target.c_str(), (dir_ + "/" + l.name).c_str()), 0);
        const std::string path = dir_ + "/" + c.links[0].name;
        for (Picture* picture : {&first, &second}) {
            ASSERT_TRUE(picture->image.Save(path.c_str(), RASTER_TYPE_BMP));
            EXPECT_EQ(ReadFile(dir_ + "/" + c.made), picture->bytes);
            for (const Link& l : c.links) {
                char target[4096] = {};
                EXPECT_EQ(readlink((dir_ + "/" + l.name).c_str(), target, sizeof target - 1),
                          static_cast<ssize_t>(l.target.size()));
                EXPECT_EQ(target, l.target);
            }
        }
    }

    const std::string loop = dir_ + "/loop.bmp";
    ASSERT_EQ(symlink("loop.bmp", loop.c_str()), 0);
    EXPECT_FALSE(first.image.Save(loop.c_str(), RASTER_TYPE_BMP));
    struct stat st;
    ASSERT_EQ(lstat(loop.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
}

// A link in a folder that everyone may write and only owners may delete
// from is followed as the system itself would follow it: when it belongs to
// the saver or to the folder's owner. Another user's link there is refused
// and left as it is, with the file it leads to, existing or not. Elsewhere
// links are followed whoever made them.
TEST_F(ReplacingFileSave, LinksAreFollowedOnlyWhereTheSystemWouldFollowThem)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "links of another user are made as root";
    ASSERT_EQ(chmod(dir_.c_str(), 0755), 0);
    const std::string victim = dir_ + "/victim";
    ASSERT_EQ(mkdir(victim.c_str(), 0700), 0);
    const struct {
        const char* name;
        mode_t folderMode;
        uid_t folderOwner, linkOwner;
        bool followed;
    } cases[] = {
        {"another user's link in a sticky folder open to all", 01777, 0, kNobody, false},
        {"the saver's own link there", 01777, 0, 0, true},
        {"the folder owner's link there", 01777, kNobody, kNobody, true},
        {"another user's link in a folder open to all, not sticky", 0777, 0, kNobody, true},
        {"another user's link in a sticky folder not open to all", 01775, 0, kNobody, true},
    };
    Picture precious(6, 6, 1), picture(10, 10, 2);
    int folderNumber = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string folder = dir_ + "/shared" + std::to_string(++folderNumber);
        ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
        ASSERT_EQ(chown(folder.c_str(), c.folderOwner, c.folderOwner), 0);
        ASSERT_EQ(chmod(folder.c_str(), c.folderMode), 0);
        for (const bool targetExists : {true, false}) {
            SCOPED_TRACE(targetExists ? "to an existing file" : "to a file not made yet");
            const std::string target =
                victim + "/" + std::to_string(folderNumber) + (targetExists ? "-notes.bmp" : "-autostart.bmp");
            if (targetExists)
                WriteBytes(target, precious.bytes);
            const std::string link = folder + (targetExists ? "/out.bmp" : "/new.bmp");
            ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
            ASSERT_EQ(lchown(link.c_str(), c.linkOwner, c.linkOwner), 0);

            EXPECT_EQ(picture.image.Save(link.c_str(), RASTER_TYPE_BMP), c.followed);
            if (c.followed)
                EXPECT_EQ(ReadFile(target), picture.bytes);
            else if (targetExists)
                EXPECT_EQ(ReadFile(target), precious.bytes);
            else
                EXPECT_NE(access(target.c_str(), F_OK), 0) << "the save made a file in the victim's folder";
            char text[4096] = {};
            EXPECT_EQ(readlink(link.c_str(), text, sizeof text - 1), static_cast<ssize_t>(target.size()));
            EXPECT_EQ(text, target);
        }
    }
}

// The whole of what the file open as `fd` holds.
Bytes ReadAll(int fd)
{
    Bytes bytes;
    std::uint8_t block[4096];
    for (ssize_t n; (n = pread(fd, block, sizeof block, static_cast<off_t>(bytes.size()))) > 0;)
        bytes.insert(bytes.end(), block, block + n);
    return bytes;
}

// Saves a different picture through `path` a few times, with the entries
// `path` and `other` swapped whenever the save is about to open a file for
// writing: as someone who may write the folder could, at the worst moment.
// In a child under a hang guard. With `hideProc`, /proc is hidden (as in a
// container without it), and the swap comes when the save is about to open
// a name for writing without following a link, the moment that matters
// there (a swap before each open would also come before the attempt
// through /proc, and swap the name back). `intact` is asked after every save
// whether what the test watches is as it should be. 0 when all saves ended
// with it so, 1 when it was not, -1 when a save hung, 125 when /proc could
// not be hidden.
int SaveWhileSwapping(const std::string& path, const std::string& other, bool hideProc,
                      const std::function<bool()>& intact)
{
    return ExitCode(RunInChild(
        [&] {
            if (hideProc && (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                             mount("none", "/proc", "tmpfs", 0, nullptr) != 0))
                return 125;
            const auto swap = [&] { renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, other.c_str(), RENAME_EXCHANGE); };
            const std::uint32_t opening = hideProc ? O_WRONLY | O_NOFOLLOW : O_WRONLY;
            if (!testsupport::RunBeforeEachCall({{__NR_openat, 2, opening}}, swap))
                return 125;
            Picture picture(8, 8, 0);
            for (int i = 0; i < 6; ++i) {
                picture.image.RowAddress(0)[1] = static_cast<std::uint8_t>(i);
                picture.image.Save(path.c_str(), RASTER_TYPE_BMP);
                if (!intact())
                    return 1;
            }
            return 0;
        },
        false, 10));
}

// The destination is looked at once and the file looked at is the file
// written, whatever its name leads to meanwhile: someone who may write the
// folder and swaps the name between the file and something else never
// gets the picture written into another file, nor a file emptied, nor the
// save waiting on a pipe.
TEST_F(ReplacingFileSave, TheFileWrittenIsTheFileLookedAt)
{
    Picture older(6, 6, 1);
    // A file of one name may be replaced, never written in place: what it
    // held, read through a descriptor kept from the start, stays, whatever
    // its names lead to later.
    std::vector<int> kept;
    const auto keepsItsBytes = [&kept](const std::string& file) {
        const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
        kept.push_back(fd);
        return std::function<bool()>([fd, bytes = ReadAll(fd)] { return ReadAll(fd) == bytes; });
    };
    const struct {
        const char* name;
        bool device;  // only a privileged process makes one
        // Makes the saved name and the entry swapped with it; returns what
        // is to stay intact.
        std::function<std::function<bool()>(const std::string&, const std::string&)> plant;
    } cases[] = {
        {"a file with two names, written in place, swapped with a link to a file of one name", false,
         [&](const std::string& path, const std::string& other) {
             WriteBytes(path, older.bytes);
             link(path.c_str(), (path + "-second-name").c_str());
             WriteBytes(other + "-secret", older.bytes);
             symlink((other + "-secret").c_str(), other.c_str());
             return keepsItsBytes(other + "-secret");
         }},
        {"a file with two names swapped with a pipe that nobody reads", false,
         [&](const std::string& path, const std::string& other) {
             WriteBytes(path, older.bytes);
             link(path.c_str(), (path + "-second-name").c_str());
             mkfifo(other.c_str(), 0666);
             return std::function<bool()>([] { return true; });
         }},
        {"a device swapped with a file of one name", true,
         [&](const std::string& path, const std::string& other) {
             mknod(path.c_str(), S_IFCHR | 0666, makedev(1, 3));  // as /dev/null
             WriteBytes(other, older.bytes);
             return keepsItsBytes(other);
         }},
    };
    int caseNumber = 0;
    for (const bool hideProc : {false, true}) {
        SCOPED_TRACE(hideProc ? "without /proc" : "with /proc");
        for (const auto& c : cases) {
            SCOPED_TRACE(c.name);
            if (c.device && geteuid() != 0)
                continue;
            const std::string folder = dir_ + "/" + std::to_string(++caseNumber);
            ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
            const std::string path = folder + "/pic.bmp", other = folder + "/swapped";
            const std::function<bool()> intact = c.plant(path, other);
            const int result = SaveWhileSwapping(path, other, hideProc, intact);
            if (result == 125)
                break;  // this process may not hide /proc from itself
            EXPECT_EQ(result, 0) << "1: a file was written that was not looked at; -1: a save waited on a pipe";
        }
    }
    for (const int fd : kept)
        close(fd);
}

// A new file that cannot be given the permissions of the file it is to
// replace never takes its place: the picture goes into the file itself. Until
// a new file has those permissions, it is readable by its owner alone, also
// one made under a name where the system makes no unnamed files.
TEST_F(ReplacingFileSave, APictureIsNeverMoreReadableThanTheFileItReplaces)
{
    using testsupport::SyscallFault;
    const struct {
        const char* name;
        std::vector<SyscallFault> faults;
    } cases[] = {
        {"permissions refused", {{{__NR_fchmod}, EPERM}, {{__NR_fchmodat}, EPERM}}},
        {"no unnamed files", {{{__NR_openat, 2, O_TMPFILE & ~O_DIRECTORY}, EOPNOTSUPP}}},
    };
    Picture older(6, 6, 1), newer(30, 20, 2);
    const std::string path = dir_ + "/private.bmp";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteBytes(path, older.bytes);
        ASSERT_EQ(chmod(path.c_str(), 0600), 0);
        const int status = RunInChild([&] {
            // Whether a file beside the destination is readable by others,
            // when the save gives permissions and once it is ready to write.
            std::atomic<bool> exposed{false};
            const auto look = [&] {
                for (const std::string& name : FolderEntries(dir_)) {
                    struct stat st;
                    if (name != "private.bmp" && stat((dir_ + "/" + name).c_str(), &st) == 0 && (st.st_mode & 077) != 0)
                        exposed = true;
                }
            };
            umask(022);
            if (!testsupport::InjectSyscallFaults(c.faults) || !testsupport::RunBeforeEachCall({{__NR_fchmod}}, look))
                return 125;
            ReplacingFile out(path.c_str());
            if (!out.File())
                return 1;
            look();
            if (exposed)
                return 2;
            if (std::fwrite(newer.bytes.data(), 1, newer.bytes.size(), out.File()) != newer.bytes.size())
                return 3;
            return out.Commit(true) ? 0 : 4;
        });
        if (ExitCode(status) == 125)
            GTEST_SKIP() << "this system cannot make calls fail on purpose";
        EXPECT_EQ(ExitCode(status), 0) << "2: a file beside it was readable by others";
        EXPECT_EQ(ReadFile(path), newer.bytes);
        struct stat st;
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0600u);
        EXPECT_EQ(FolderEntries(dir_), std::vector<std::string>{"private.bmp"});
    }
}

// A picture larger than the file-size limit fails to save and the program
// goes on (the limit's signal would end it), whether the picture was to
// replace a file, go into one in place or make a new one; the files stay as
// they were, and a save within the limit then works.
TEST_F(ReplacingFileSave, APictureBeyondTheFileSizeLimitFailsAndTheProgramGoesOn)
{
    Picture older(6, 6, 1), large(200, 100, 2);
    const std::string replaced = dir_ + "/replaced.bmp", linked = dir_ + "/linked.bmp";
    WriteBytes(replaced, older.bytes);
    WriteBytes(linked, older.bytes);
    ASSERT_EQ(link(linked.c_str(), (dir_ + "/other-name.bmp").c_str()), 0);
    const int status = RunInChild([&] {
        std::signal(SIGXFSZ, SIG_DFL);
        rlimit saved{}, limit{};
        if (getrlimit(RLIMIT_FSIZE, &saved) != 0)
            return 125;
        limit = saved;
        limit.rlim_cur = large.bytes.size() / 2;
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
            return 125;
        for (const std::string& path : {replaced, linked, dir_ + "/new.bmp"})
            if (large.image.Save(path.c_str(), RASTER_TYPE_BMP))
                return 1;
        setrlimit(RLIMIT_FSIZE, &saved);
        return large.image.Save((dir_ + "/later.bmp").c_str(), RASTER_TYPE_BMP) ? 0 : 2;
    });
    ASSERT_NE(ExitCode(status), 125);
    EXPECT_EQ(ExitCode(status), 0) << (WIFSIGNALED(status) ? strsignal(WTERMSIG(status)) : "");
    EXPECT_EQ(ReadFile(replaced), older.bytes);
    EXPECT_EQ(ReadFile(linked), older.bytes);
    std::vector<std::string> entries = FolderEntries(dir_);
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(entries, (std::vector<std::string>{"later.bmp", "linked.bmp", "other-name.bmp", "replaced.bmp"}));
}

} // namespace

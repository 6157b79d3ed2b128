// A picture saved over a file lets in nobody that file shut out, by its
// access ACL or by the default ACL of its folder, and keeps its tags (user
// extended attributes), on the file systems pictures are saved on; on disks
// that keep no ACLs it replaces the file whole, and through FUSE it goes
// into the file itself.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tests/imagefile/imagefile_test_util.h"
#include "tests/imagefile/save_test_util.h"
#include "tests/support/scratch_disk.h"
#include "tests/support/syscall_faults.h"

using namespace imagefile_test;
using testsupport::SyscallFault;

namespace {

constexpr gid_t kUsers = 100;  // the group users on Debian

// Someone who may or may not open a file.
struct Person {
    uid_t uid;
    gid_t group;  // the only group
};
constexpr Person kNamedUser{kNobody, kNobody};  // named in the ACLs below
constexpr Person kMemberOfUsers{4242, kUsers};

// Whether `who` may open `path` with `flags`, as the system decides it for
// them.
bool MayOpen(const Person& who, const std::string& path, int flags)
{
    const int code = ExitCode(RunInChild([&] {
        if (setgroups(1, &who.group) != 0 || setgid(who.group) != 0 || setuid(who.uid) != 0)
            return 125;
        return open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC) >= 0 ? 0 : 1;
    }));
    if (code != 0 && code != 1)
        ADD_FAILURE() << "the test could not become uid " << who.uid << " (" << code << ")";
    return code == 0;
}

bool MayReadOrWrite(const Person& who, const std::string& path)
{
    return MayOpen(who, path, O_RDONLY) || MayOpen(who, path, O_WRONLY);
}

// An ACL in the form the system keeps it in an extended attribute (as
// setfacl writes it): entries of a tag, permissions and an id.
struct AclEntry {
    std::uint16_t tag, permissions;
    std::uint32_t id = ~0u;  // for named users and groups only
};
constexpr std::uint16_t kUserObj = 0x01, kUser = 0x02, kGroupObj = 0x04, kMask = 0x10, kOther = 0x20;

std::string Acl(std::initializer_list<AclEntry> entries)
{
    std::string blob;
    const auto append = [&blob](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            blob.push_back(static_cast<char>(value >> (8 * i)));
    };
    append(2, 4);  // the format's version
    for (const AclEntry& e : entries) {
        append(e.tag, 2);
        append(e.permissions, 2);
        append(e.id, 4);
    }
    return blob;
}

constexpr const char* kAccessAcl = "system.posix_acl_access";
constexpr const char* kDefaultAcl = "system.posix_acl_default";

std::optional<std::string> Attribute(const std::string& path, const char* name)
{
    char value[4096];
    const ssize_t size = getxattr(path.c_str(), name, value, sizeof value);
    if (size < 0)
        return std::nullopt;
    return std::string(value, static_cast<std::size_t>(size));
}

using Tags = std::map<std::string, std::string>;

// The file's user extended attributes.
Tags TagsOf(const std::string& path)
{
    char names[4096];
    const ssize_t size = listxattr(path.c_str(), names, sizeof names);
    Tags tags;
    for (ssize_t at = 0; at < size;) {
        const std::string name = names + at;
        at += static_cast<ssize_t>(name.size()) + 1;
        if (name.rfind("user.", 0) == 0)
            tags[name] = Attribute(path, name.c_str()).value_or("(gone)");
    }
    return tags;
}

// Whether the file system under `folder` keeps ACLs and user extended
// attributes; empty when so, else which it lacks.
std::string MissingFeature(const std::string& folder)
{
    const std::string probe = folder + "/probe";
    WriteBytes(probe, {1});
    const std::string acl = Acl({{kUserObj, 6}, {kGroupObj, 4}, {kOther, 4}});
    std::string missing;
    if (setxattr(probe.c_str(), kAccessAcl, acl.data(), acl.size(), 0) != 0)
        missing = "ACLs";
    else if (setxattr(probe.c_str(), "user.probe", "1", 1, 0) != 0)
        missing = "user extended attributes";
    unlink(probe.c_str());
    return missing;
}

const std::string kNobodyMayWrite = Acl({{kUserObj, 6}, {kUser, 6, kNobody}, {kGroupObj, 0}, {kMask, 6}, {kOther, 0}});
const std::string kNobodyMayAll = Acl({{kUserObj, 7}, {kUser, 7, kNobody}, {kGroupObj, 5}, {kMask, 7}, {kOther, 0}});
const Tags kTags{{"user.xdg.tags", "holiday,sea"}, {"user.xdg.comment", "the harbour at dusk"}};

// The calls through which a save gives a new file an owner, an ACL, tags,
// permissions or a name.
const std::vector<testsupport::SyscallRule> kGivingCalls{
    {__NR_fchown}, {__NR_fsetxattr}, {__NR_fchmod}, {__NR_linkat}, {__NR_renameat2},
#ifdef __NR_renameat
    {__NR_renameat},
#endif
};

struct AccessCase {
    const char* name;
    std::string folderDefaultAcl;  // empty: none
    mode_t mode;
    gid_t group;
    std::string accessAcl;  // empty: none
    Tags tags;
    std::vector<SyscallFault> faults;
    bool inPlace;                    // the picture goes into the file itself
    std::vector<Person> shutOut;     // may neither read nor write it, before or after
    std::vector<Person> mayUseIt;    // may read and write it, before and after
};

const AccessCase kCases[] = {
    {"an access ACL that names a user and shuts the group out", "", 0660, kUsers, kNobodyMayWrite, {}, {}, false,
     {kMemberOfUsers}, {kNamedUser}},
    {"no ACL, in a folder whose default ACL names a user", kNobodyMayAll, 0640, 0, "", {}, {}, false,
     {kNamedUser, kMemberOfUsers}, {}},
    {"tags", "", 0644, 0, "", kTags, {}, false, {}, {}},
    {"an ACL and tags the new file may not be given", "", 0660, kUsers, kNobodyMayWrite, kTags,
     {{{__NR_fsetxattr}, EPERM}}, true, {kMemberOfUsers}, {kNamedUser}},
    {"a file system that keeps no ACLs of this kind", "", 0640, 0, "", {}, {{{__NR_fgetxattr}, EOPNOTSUPP}}, true,
     {kNamedUser, kMemberOfUsers}, {}},
};

// Lays out the case's file in `folder`, saves over it (first two saves that
// fail) and checks what it became. Whenever the save is about to give the
// new file an owner, an ACL, tags or permissions, or a name, everyone the
// case shuts out is tried on every file in the folder. With `unnamed` false
// the system is made to refuse unnamed files, so that the new file has a
// name all along. Returns 0 when all was as it should be.
int SaveOver(const AccessCase& c, const std::string& folder, bool unnamed)
{
    Picture older(6, 6, 1), newer(30, 20, 2);
    const std::string path = folder + "/x.bmp";
    if (mkdir(folder.c_str(), 0755) != 0)
        return 2;
    WriteBytes(path, older.bytes);
    // The file is made before the folder has its default ACL, which it
    // would take.
    if (chown(path.c_str(), 0, c.group) != 0 || chmod(path.c_str(), c.mode) != 0 ||
        (!c.accessAcl.empty() && setxattr(path.c_str(), kAccessAcl, c.accessAcl.data(), c.accessAcl.size(), 0) != 0) ||
        (!c.folderDefaultAcl.empty() &&
         setxattr(folder.c_str(), kDefaultAcl, c.folderDefaultAcl.data(), c.folderDefaultAcl.size(), 0) != 0))
        return 2;
    for (const auto& [name, value] : c.tags)
        if (setxattr(path.c_str(), name.c_str(), value.data(), value.size(), 0) != 0)
            return 2;
    struct stat before;
    if (stat(path.c_str(), &before) != 0)
        return 2;
    const std::optional<std::string> aclBefore = Attribute(path, kAccessAcl);
    const Tags tagsBefore = TagsOf(path);
    for (const Person& p : c.shutOut)
        EXPECT_FALSE(MayReadOrWrite(p, path)) << "laid out wrong: uid " << p.uid;
    for (const Person& p : c.mayUseIt)
        EXPECT_TRUE(MayOpen(p, path, O_RDWR)) << "laid out wrong: uid " << p.uid;

    std::atomic<bool> exposed{false};
    const auto look = [&] {
        for (const std::string& name : FolderEntries(folder))
            for (const Person& p : c.shutOut)
                if (MayReadOrWrite(p, folder + "/" + name))
                    exposed = true;
    };
    std::vector<SyscallFault> faults = c.faults;
    if (!unnamed)
        faults.push_back({{__NR_openat, 2, O_TMPFILE & ~O_DIRECTORY}, EOPNOTSUPP});
    if (!testsupport::InjectSyscallFaults(faults) || !testsupport::RunBeforeEachCall(kGivingCalls, look))
        return 125;

    EXPECT_EQ(FailThenSave(newer.image, path, older.bytes), 0);
    EXPECT_FALSE(exposed) << "a file in the folder was open to someone the old file shut out";
    EXPECT_EQ(ReadFile(path), newer.bytes);
    struct stat after;
    if (stat(path.c_str(), &after) != 0)
        return 2;
    EXPECT_EQ(after.st_ino == before.st_ino, c.inPlace) << "the same file: written in place";
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_EQ(after.st_gid, before.st_gid);
    EXPECT_EQ(after.st_mode, before.st_mode);
    EXPECT_EQ(Attribute(path, kAccessAcl), aclBefore);
    EXPECT_EQ(TagsOf(path), tagsBefore);
    for (const Person& p : c.shutOut)
        EXPECT_FALSE(MayReadOrWrite(p, path)) << "uid " << p.uid << " may open the picture";
    for (const Person& p : c.mayUseIt)
        EXPECT_TRUE(MayOpen(p, path, O_RDWR)) << "uid " << p.uid << " may no longer use the picture";
    EXPECT_EQ(FolderEntries(folder), std::vector<std::string>{"x.bmp"});
    return testing::Test::HasFailure() ? 1 : 0;
}

using ReplacementAccess = TempDir;

// Each case, with the new file unnamed and named until it is whole, on the
// test folder's own file system and on small tmpfs and ext4 disks. A file
// system that keeps no ACLs or user extended attributes is left out.
TEST_F(ReplacementAccess, APictureLetsInNobodyTheFileItReplacesShutOut)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "files of other groups, and saves as other users, are made as root";
    ASSERT_EQ(chmod(dir_.c_str(), 0755), 0);  // the people tried pass through
    using testsupport::DiskKind;
    const struct {
        const char* name;
        std::optional<DiskKind> kind;  // none: the test folder's own
    } disks[] = {
        {"the test folder's file system", std::nullopt}, {"tmpfs", DiskKind::kTmpfs}, {"ext4", DiskKind::kExt4}};
    int diskNumber = 0, ran = 0;
    std::string skipped;
    for (const auto& disk : disks) {
        SCOPED_TRACE(disk.name);
        const std::string root = dir_ + "/disk" + std::to_string(++diskNumber);
        ASSERT_EQ(mkdir(root.c_str(), 0755), 0);
        const int status = ExitCode(RunInChild([&] {
            if (disk.kind) {
                if (!testsupport::MountScratchDiskOrSay(*disk.kind, root, 8ul << 20))
                    return 125;
                chmod(root.c_str(), 0755);
            }
            const std::string missing = MissingFeature(root);
            if (!missing.empty()) {
                std::printf("%s keeps no %s\n", disk.name, missing.c_str());
                return 125;
            }
            int number = 0;
            for (const AccessCase& c : kCases) {
                SCOPED_TRACE(c.name);
                for (const bool unnamed : {true, false}) {
                    SCOPED_TRACE(unnamed ? "unnamed until whole" : "named until whole");
                    const std::string folder = root + "/" + std::to_string(++number);
                    EXPECT_EQ(ExitCode(RunInChild([&] { return SaveOver(c, folder, unnamed); })), 0)
                        << "2: the case could not be laid out; 125: the faults could not be made";
                }
            }
            return testing::Test::HasFailure() ? 1 : 0;
        }));
        if (status == 125) {
            skipped += std::string(skipped.empty() ? "" : ", ") + disk.name;
            continue;
        }
        ++ran;
        EXPECT_EQ(status, 0);
    }
    if (ran == 0)
        GTEST_SKIP() << "no file system here keeps ACLs and user extended attributes";
    if (!skipped.empty())
        std::printf("left out (see above): %s\n", skipped.c_str());
}

// On a disk that keeps nothing of who may use a file beyond its owner, group
// and mode (ramfs here, as FAT and exFAT), a save replaces the file with a
// new one, which a kill cannot leave half written, once the new file shows
// the old one's owner, group and mode; where it does not, as when a call
// says it gave them and did not, the picture goes into the file itself.
// Through FUSE, whose program may keep rules it does not show (an sshfs
// server's ACL), the picture always goes into the file itself. As root,
// the file belonging to nobody and the group users.
TEST_F(ReplacementAccess, ADiskWithoutACLsIsReplacedWholeAndFUSEWrittenInPlace)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "small disks are mounted, and files of other users made, as root";
    using testsupport::DiskKind;
    const struct {
        const char* name;
        DiskKind kind;
        std::vector<SyscallFault> faults;
        bool inPlace;
    } cases[] = {
        {"ramfs", DiskKind::kRamfs, {}, false},
        {"ramfs, an owner that is not given", DiskKind::kRamfs, {{{__NR_fchown}, 0}, {{__NR_fchownat}, 0}}, true},
        {"ramfs, permissions that are not given", DiskKind::kRamfs, {{{__NR_fchmod}, 0}, {{__NR_fchmodat}, 0}}, true},
        {"exFAT through FUSE", DiskKind::kFuseExfat, {}, true},
    };
    Picture older(6, 6, 1), newer(30, 20, 2);
    int number = 0, ran = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string disk = dir_ + "/disk" + std::to_string(++number);
        ASSERT_EQ(mkdir(disk.c_str(), 0755), 0);
        const int status = ExitCode(RunInChild([&] {
            if (!testsupport::MountScratchDiskOrSay(c.kind, disk, 8ul << 20))
                return 125;
            const std::string path = disk + "/x.bmp";
            WriteBytes(path, older.bytes);
            // exFAT keeps the mount's owner and mode whatever is asked.
            const bool laidOut = chown(path.c_str(), kNobody, kUsers) == 0 && chmod(path.c_str(), 0640) == 0;
            if (!laidOut && c.kind != DiskKind::kFuseExfat)
                return 2;
            struct stat before;
            const int kept = open(path.c_str(), O_RDONLY | O_CLOEXEC);  // holds the file that was there
            if (kept < 0 || fstat(kept, &before) != 0)
                return 2;
            const int saved = ExitCode(RunInChild([&] {
                if (!testsupport::InjectSyscallFaults(c.faults))
                    return 125;
                return FailThenSave(newer.image, path, older.bytes);
            }));
            if (saved == 125)
                return 125;
            EXPECT_EQ(saved, 0) << "the step of the saves that went wrong";
            EXPECT_EQ(ReadFile(path), newer.bytes);
            struct stat after, keptAfter;
            if (stat(path.c_str(), &after) != 0 || fstat(kept, &keptAfter) != 0)
                return 2;
            EXPECT_EQ(after.st_dev == keptAfter.st_dev && after.st_ino == keptAfter.st_ino, c.inPlace)
                << "the same file: written in place";
            EXPECT_EQ(after.st_uid, before.st_uid);
            EXPECT_EQ(after.st_gid, before.st_gid);
            EXPECT_EQ(after.st_mode, before.st_mode);
            close(kept);
            EXPECT_EQ(FolderEntries(disk), std::vector<std::string>{"x.bmp"});
            return testing::Test::HasFailure() ? 1 : 0;
        }));
        if (status == 125)
            continue;
        ++ran;
        EXPECT_EQ(status, 0) << "1: see above; 2: the case could not be laid out";
    }
    if (ran == 0)
        GTEST_SKIP() << "this process may not mount small disks of its own";
}

}  // namespace

// A file written in place of another only once it is whole: the bytes go to
// a new file in the destination's folder, which takes the destination's name
// when the writer commits, so a failed save (a full disk, an encoder that
// gives up, a write past the file-size limit) leaves the destination exactly
// as it was. Where the system allows, the new file has no name until then,
// so a save that is killed leaves nothing behind.
//
// Where a new file could not take the old one's place whole (the folder
// takes no new file, the file has more names than one, its owner, group,
// permissions, ACL or user extended attributes could not be given to a new
// file, or it is reached through FUSE, whose program may keep rules it does
// not show), the bytes go to a scratch file outside the folder and are
// copied into the destination itself on commit. The room for them is made
// sure before the first old byte changes (on a disk that writes overwritten
// blocks anew, such as btrfs or one behind FUSE, as free room for the whole
// picture; then reserved, or where the disk reserves nothing, by writing
// first what lies past the old end), so a failed encoding, or a disk without
// room for the whole picture, still leaves it as it was, and a copy that
// fails then gives back the room it took. A write that fails once the old
// bytes are being overwritten does not leave it so; what was written then
// stays, so that a step that fails after the last byte (the flush onto the
// device) leaves the new picture whole, though the save reports failure.
//
// The destination is the file that the path's symbolic links lead to, also
// one not made yet, where the system would follow them for this user. It is
// looked at once and held open: the file written is the file looked at.
// Devices are written directly; pipes and sockets are refused, as writing
// one may wait without end.
#pragma once

#include <cstdio>
#include <string>

#include "imagefile/file_size_signal.h"
#include "imagefile/save_destination.h"

class ReplacingFile {
public:
    // Opens the file to write; File() is null when it cannot be opened (or
    // the destination exists and may not be written).
    explicit ReplacingFile(const char* destination);
    ~ReplacingFile();  // removes the written file unless it was committed
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    std::FILE* File() const { return file_; }
    // Closes the file and, with `keep`, puts it in the destination's place.
    // True when the destination now holds the written bytes.
    bool Commit(bool keep);

private:
    replacing_file::Way OpenReplacement();
    void Discard();

    replacing_file::FileSizeSignalHold fileSizeHold_;  // from the first write to the last
    replacing_file::Destination destination_;
    std::FILE* file_ = nullptr;  // the new file, the scratch file or the device the encoder writes
    std::string named_;          // the new file's short name in the folder, once it has one
    bool unnamed_ = false;       // the new file has no name yet
};

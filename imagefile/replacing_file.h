// A file written in place of another only once it is whole: the bytes go to
// a new file in the destination's folder, which takes the destination's name
// when the writer commits, so a failed save (a full disk, an encoder that
// gives up) leaves the destination exactly as it was. Where the system
// allows, the new file has no name until then, so a save that is killed
// leaves nothing behind.
//
// Where a new file could not take the old one's place whole (the folder
// takes no new file, the file has more names than one, or its owner and
// group could not be given to a new file), the bytes go to a scratch file
// outside the folder and are copied into the destination itself on commit:
// a failed encoding, or a disk without room for the whole picture, still
// leaves it as it was; a write that fails during the copy does not.
//
// The destination is the file that the path's symbolic links lead to, also
// one not made yet. Devices are written directly; pipes and sockets are
// refused, as writing one may wait without end.
#pragma once

#include <cstdio>
#include <string>

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
    int OpenBeside();
    void OpenInPlace();
    void OpenDevice();
    void Discard();

    std::FILE* file_ = nullptr;
    std::string destination_;  // the file the path leads to
    std::string written_;      // the named file being written beside it, or linked to it on commit
    bool unnamed_ = false;     // file_ is a file without a name in the destination's folder
    int inPlace_ = -1;         // the destination, open for the copy of file_ (a scratch file)
    bool device_ = false;      // file_ is the destination itself
};

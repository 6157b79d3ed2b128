// A file written in place of another only once it is whole: the bytes go to
// a new file beside the destination, which is renamed over it when the
// writer commits, so a failed save (a full disk, an encoder that gives up)
// leaves the destination exactly as it was.
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
    void Discard();

    std::FILE* file_ = nullptr;
    std::string destination_;
    std::string written_;   // the file being written; empty when it is the destination itself
};

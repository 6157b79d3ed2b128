// The one look a save takes at its destination: the folder that holds it,
// the file there (if any) held open, and the way the picture is to reach it.
// Everything a save then does goes through these descriptors, so the file
// written is the file looked at, whatever happens to the names meanwhile.
#pragma once

#include <string>

#include <sys/stat.h>

namespace replacing_file {

// A file descriptor closed with its owner.
class Descriptor {
public:
    Descriptor() = default;
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() { Reset(); }
    Descriptor(Descriptor&& other) noexcept : fd_(other.Release()) {}
    Descriptor& operator=(Descriptor&& other) noexcept;
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    int Release();
    // Closes the descriptor; false when the close reported an error.
    bool Reset();

private:
    int fd_ = -1;
};

// How the picture reaches the destination.
enum class Way {
    kRefuse,   // not written: a pipe, a socket, a folder, a link not to be followed, a file not writable
    kDevice,   // written straight into the device
    kReplace,  // a new file takes the name (the only way for a file not made yet)
    kInPlace,  // written over the file itself, keeping its every name, owner and mode
};

struct Destination {
    Way way = Way::kRefuse;
    Descriptor folder;  // the folder that holds the name (a path descriptor)
    std::string name;   // the destination's name in that folder
    Descriptor file;    // the existing file, open for writing; none for a file not made yet
    struct stat existing {};  // the existing file, as `file` shows it
};

// Follows the symbolic links `path` ends in, as the system itself would for
// this user, to the file they lead to, which need not exist yet. A link in a
// folder that is sticky and writable by all is followed only when it belongs
// to this user or to the folder's owner, where another user's link could
// lead the save into files it was never meant for. The way is kReplace for
// a writable regular file with one name (the caller may still write it in
// place), kInPlace for one with more names.
Destination LookAt(const char* path);

// The name of `fd` under /proc, through which the very file it holds can be
// opened again or given a name.
std::string ProcPath(int fd);

}  // namespace replacing_file

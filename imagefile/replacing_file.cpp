#include "imagefile/replacing_file.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The folder of a path and its last name ("." for a bare name).
void SplitPath(const std::string& path, std::string* folder, std::string* name)
{
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        *folder = ".";
        *name = path;
    } else {
        *folder = slash == 0 ? "/" : path.substr(0, slash);
        *name = path.substr(slash + 1);
    }
}

}  // namespace

ReplacingFile::ReplacingFile(const char* destination)
{
    if (!destination || !*destination)
        return;
    destination_ = destination;

    struct stat existing;
    const bool exists = ::stat(destination, &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode)) {
        // A device or a pipe cannot be replaced by renaming: write to it.
        file_ = std::fopen(destination, "wb");
        return;
    }
    if (exists) {
        // The file the path names (through any links) is the one replaced,
        // and only if it may be written.
        if (::access(destination, W_OK) != 0)
            return;
        char resolved[PATH_MAX];
        if (::realpath(destination, resolved))
            destination_ = resolved;
    }

    std::string folder, name;
    SplitPath(destination_, &folder, &name);
    // Created like a new file (the process's umask applies), then given the
    // permissions of the file it replaces.
    for (int attempt = 0; attempt < 100 && !file_; ++attempt) {
        const std::string candidate = folder + "/." + name + "." + std::to_string(::getpid()) + "." +
                                      std::to_string(attempt) + ".part";
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return;
        }
        if (exists)
            ::fchmod(fd, existing.st_mode & 07777);
        file_ = ::fdopen(fd, "wb");
        if (!file_) {
            ::close(fd);
            ::unlink(candidate.c_str());
            return;
        }
        written_ = candidate;
    }
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
    if (!written_.empty()) {
        ::unlink(written_.c_str());
        written_.clear();
    }
}

bool ReplacingFile::Commit(bool keep)
{
    if (!file_)
        return false;
    if (!keep) {
        Discard();
        return false;
    }
    // Every byte on the device before the name moves.
    bool ok = std::fflush(file_) == 0;
    if (ok && !written_.empty())
        ok = ::fsync(::fileno(file_)) == 0;
    ok = std::fclose(file_) == 0 && ok;
    file_ = nullptr;
    if (written_.empty())
        return ok;
    if (ok)
        ok = std::rename(written_.c_str(), destination_.c_str()) == 0;
    if (ok)
        written_.clear();
    else
        Discard();
    return ok;
}

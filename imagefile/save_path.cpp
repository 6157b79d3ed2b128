#include "imagefile/save_path.h"

#include <climits>
#include <sys/stat.h>
#include <unistd.h>

std::string FolderOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string InFolder(const std::string& folder, const std::string& name)
{
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::string LinkTarget(const std::string& path)
{
    constexpr int kMostLinks = 40;  // as many as the system follows in one path
    std::string current = path;
    for (int followed = 0; followed <= kMostLinks; ++followed) {
        struct stat st;
        if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return current;
        char target[PATH_MAX];
        const ssize_t length = ::readlink(current.c_str(), target, sizeof target);
        if (length <= 0 || length == sizeof target)
            return {};
        const std::string next(target, static_cast<std::size_t>(length));
        current = next[0] == '/' ? next : InFolder(FolderOf(current), next);
    }
    return {};
}

// Names a save works with: the folder of a path, a name in a folder, and the
// file that a path's symbolic links lead to.
#pragma once

#include <string>

// The folder of a path ("." for a bare name).
std::string FolderOf(const std::string& path);

// `name` in `folder`.
std::string InFolder(const std::string& folder, const std::string& name);

// The file a write through `path` reaches: the symbolic links that the path
// ends in followed (chains of them, targets relative to the link's folder)
// to a name that is not a link, which need not exist yet. Empty when the
// links loop or cannot be read.
std::string LinkTarget(const std::string& path);

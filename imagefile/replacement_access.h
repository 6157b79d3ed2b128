// Who may use a file and what it is tagged with, carried from a file to the
// new file that is to take its place, so that a save lets in nobody the old
// file shut out and drops none of its tags.
#pragma once

#include <sys/stat.h>

namespace replacing_file {

// Gives the new file `made` (open, unnamed or under a hidden name, readable
// by its owner alone) what `existing` has: its user extended attributes
// (`user.*`), owner and group, access ACL (none where it has none, also
// where `made` took entries from its folder's default ACL) and permissions,
// in that order, so that `made` is never open to more than `existing` is.
// Security labels stay as the system gave them. False when any of it could
// not be given, or the file system keeps no ACLs of this kind (it may keep
// others): `made` must not then take the place of `existing`.
bool TakeAccess(int made, int existing, const struct stat& existingStat);

}  // namespace replacing_file

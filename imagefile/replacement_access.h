// Who may use a file and what it is tagged with, carried from a file to the
// new file that is to take its place, so that a save lets in nobody the old
// file shut out and drops none of its tags.
#pragma once

#include <sys/stat.h>

namespace replacing_file {

// Whether all that governs who may use the file `existing` can be seen
// from here and given to a new file: not through FUSE, whose program may
// keep rules it does not show. Where not, the file is to be written in
// place.
bool AccessCanBeCarried(int existing);

// Gives the new file `made` (open, unnamed or under a hidden name, readable
// by its owner alone) what `existing` has: its user extended attributes
// (`user.*`), owner and group, access ACL (none where it has none, also
// where `made` took entries from its folder's default ACL) and permissions,
// in that order, so that `made` is never open to more than `existing` is.
// Security labels stay as the system gave them. False when any of it could
// not be given, when `made` does not then show the owner, group and
// permissions of `existing`, or when the file system keeps no ACLs of this
// kind and may keep others (where it keeps nothing beyond owner, group and
// mode, as FAT, exFAT and ramfs, there is no ACL to give): `made` must not
// then take the place of `existing`.
bool TakeAccess(int made, int existing, const struct stat& existingStat);

}  // namespace replacing_file

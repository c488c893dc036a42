#pragma once

#include <sys/stat.h>

// What a copy keeps of its source besides the data, as `cp -a` and `mv` do: the owner where
// the process may give it (root), the group where it may, extended attributes (user.*, and
// trusted.* and security.* where allowed), POSIX ACLs (as their raw attributes), the permission
// bits with set-user-id, set-group-id and sticky, and the times. What the destination cannot
// hold (FAT has no owners, modes or attributes) is left out without a word; the copy stands.
namespace modFSO::detail
{

struct FolderCaps;

// Gives out (the complete copy, still unnamed or hidden) what in has, whose stat is source.
// The order matters: a change of owner clears the set-id bits, and setting the permission bits
// rewrites the mask of an ACL, so the owner goes first, then the attributes, then the mode and
// last the times. 0, or EIO when the destination failed to take them for a reason other than
// not holding them (the copy is then not to be trusted).
int keepAttributes(int in, int out, const struct stat &source, FolderCaps &caps);

} // namespace modFSO::detail

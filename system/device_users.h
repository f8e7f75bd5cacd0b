#pragma once

#include <string>
#include <vector>

#include <sys/types.h>

namespace meridan {

// Who may use a device and who is using it, for the errors that tell a person what to do when a
// board's device cannot be opened.

// The name of group `group` as the system knows it (dialout, uucp, gpio), or its number where it
// has no name.
std::string groupName(gid_t group);

// What to do when a device that belongs to `group` refused this user: add the user to the group,
// or, for a device only root may open, a rule that gives it a group.
std::string permissionAdvice(gid_t group);

// The programs other than this one that hold the character device at `path` open, as "name (pid
// N)", from what /proc shows this user (another user's processes are hidden unless this one is
// root). Empty when none can be seen.
std::vector<std::string> processesHolding(const std::string &path);

} // namespace meridan

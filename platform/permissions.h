#pragma once
// Opening a folder to the built-in Users group.

#include <optional>
#include <string>

// The call that failed and its error code.
struct PermissionFailure {
  const char* call;  // "GetNamedSecurityInfo", "AllocateAndInitializeSid", "SetEntriesInAcl", "SetNamedSecurityInfo"
  unsigned long error;
};

// Grants the Users group (S-1-5-32-545) full control of `folder`, inherited
// by everything below it, merged into the folder's access list. None on
// success; otherwise the first call that failed.
std::optional<PermissionFailure> OpenFolderToUsers(const std::string& folder);

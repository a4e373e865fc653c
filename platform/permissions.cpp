#include "platform/permissions.h"

#include <windows.h>

#include <aclapi.h>

#include "platform/guards.h"
#include "platform/text.h"

std::optional<PermissionFailure> OpenFolderToUsers(const std::string& folder) {
  const std::wstring path = WideFromUtf8(folder);
  PACL existing = nullptr;  // points into the descriptor
  LocalMemory descriptor;
  DWORD status = GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                       &existing, nullptr, reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.receive()));
  if (status != ERROR_SUCCESS) return PermissionFailure{"GetNamedSecurityInfo", status};

  SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
  SidMemory users;
  if (!AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS, 0, 0, 0, 0, 0, 0,
                                users.receive()))
    return PermissionFailure{"AllocateAndInitializeSid", GetLastError()};

  EXPLICIT_ACCESSA access = {};
  access.grfAccessPermissions = GENERIC_ALL;
  access.grfAccessMode = GRANT_ACCESS;
  access.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
  access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
  access.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
  access.Trustee.ptstrName = static_cast<LPSTR>(users.get());
  LocalMemory merged;
  status = SetEntriesInAclA(1, &access, existing, reinterpret_cast<PACL*>(merged.receive()));
  if (status != ERROR_SUCCESS) return PermissionFailure{"SetEntriesInAcl", status};

  status = SetNamedSecurityInfoW(const_cast<wchar_t*>(path.c_str()), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                 nullptr, nullptr, static_cast<PACL>(merged.get()), nullptr);
  if (status != ERROR_SUCCESS) return PermissionFailure{"SetNamedSecurityInfo", status};
  return std::nullopt;
}

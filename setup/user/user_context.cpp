#include "user/user_context.h"

#include <sddl.h>

#include <vector>

#include "platform/guards.h"
#include "user/user_key_path.h"

bool elevatedRelaunch = false;

namespace {

struct Context {
  HANDLE token = nullptr;  // kept open for the whole run
  HKEY root = HKEY_CURRENT_USER;
  std::string sid;
};

HANDLE OpenShellToken() {
  HWND shell = GetShellWindow();
  if (shell == nullptr) return nullptr;
  DWORD processId = 0;
  GetWindowThreadProcessId(shell, &processId);
  UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  if (!process) return nullptr;
  HANDLE token = nullptr;
  if (!OpenProcessToken(process.get(), TOKEN_QUERY | TOKEN_IMPERSONATE, &token)) return nullptr;
  return token;
}

std::string TokenUserSid(HANDLE token) {
  DWORD size = 0;
  if (GetTokenInformation(token, TokenUser, nullptr, 0, &size) || GetLastError() != ERROR_INSUFFICIENT_BUFFER)
    return {};
  std::vector<BYTE> buffer(size);
  if (!GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) return {};
  char* text = nullptr;
  if (!ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text)) return {};
  std::string sid = text;
  LocalFree(text);
  return sid;
}

const Context& UserContext() {
  static const Context context = [] {
    Context result;
    if (!elevatedRelaunch) return result;
    result.token = OpenShellToken();
    if (result.token != nullptr) result.sid = TokenUserSid(result.token);
    if (!result.sid.empty()) result.root = HKEY_USERS;
    return result;
  }();
  return context;
}

}  // namespace

HANDLE ShellUserToken() { return UserContext().token; }

HKEY UserRegistryRoot() { return UserContext().root; }

std::string UserKeyPath(std::string_view subKey) { return UserKeyPathFor(UserContext().sid, subKey); }

// A library planted beside a program under a system library's name: when
// loaded it leaves "<its own path>.loaded" and refuses to load, so a test
// sees every load even when the program carries on without it.

#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  wchar_t mark[MAX_PATH + 8];
  const DWORD length = GetModuleFileNameW(self, mark, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return FALSE;
  lstrcpyW(mark + length, L".loaded");
  const HANDLE file = CreateFileW(mark, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return FALSE;
}

// wintool's commands that read or change the machine: registry values,
// version resources, signatures and trusted roots, the installer's own
// resources, files held or tampered with, profile files, and a crash.

#include "wintool.h"

#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "setup_ids.h"

namespace wintool {

int RegSet(const Args& args) {
  HKEY key;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, args[0].c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
      ERROR_SUCCESS)
    return 1;
  LONG status;
  if (args[2] == L"dword") {
    const DWORD value = wcstoul(args[3].c_str(), nullptr, 10);
    status = RegSetValueExW(key, args[1].c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  } else {
    status = RegSetValueExW(key, args[1].c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(args[3].c_str()),
                            static_cast<DWORD>((args[3].size() + 1) * sizeof(wchar_t)));
  }
  RegCloseKey(key);
  return status == ERROR_SUCCESS ? 0 : 1;
}

int Version(const Args& args) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(args[0].c_str(), &ignored);
  if (size == 0) return 1;
  std::vector<BYTE> data(size);
  if (!GetFileVersionInfoW(args[0].c_str(), 0, size, data.data())) return 1;
  WORD* translation = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length) ||
      length < 4)
    return 1;
  wchar_t query[64];
  swprintf(query, 64, L"\\StringFileInfo\\%04x%04x\\FileVersion", translation[0], translation[1]);
  wchar_t* text = nullptr;
  if (!VerQueryValueW(data.data(), query, reinterpret_cast<void**>(&text), &length) || length == 0) return 1;
  std::printf("%s\n", Utf8(text).c_str());
  return 0;
}

int Trust(const Args& args) {
  WINTRUST_FILE_INFO file = {};
  file.cbStruct = sizeof file;
  file.pcwszFilePath = args[0].c_str();
  WINTRUST_DATA data = {};
  data.cbStruct = sizeof data;
  data.dwUIChoice = WTD_UI_NONE;
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &file;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  const LONG result = WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  data.dwStateAction = WTD_STATEACTION_CLOSE;
  WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  std::printf("0x%08lX\n", static_cast<unsigned long>(result));
  return 0;
}

int Resources(const Args& args) {
  HMODULE module = LoadLibraryExW(args[0].c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (module == nullptr) return 1;
  if (HRSRC manifest = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24))) {
    const char* text = static_cast<const char*>(LockResource(LoadResource(module, manifest)));
    std::printf("%.*s\n", static_cast<int>(SizeofResource(module, manifest)), text);
  }
  if (HRSRC group = FindResourceW(module, MAKEINTRESOURCEW(IDI_SETUP), MAKEINTRESOURCEW(14))) {
    // GRPICONDIR: 3 words, then 14-byte entries starting with width and height (0 means 256).
    const BYTE* data = static_cast<const BYTE*>(LockResource(LoadResource(module, group)));
    const WORD count = *reinterpret_cast<const WORD*>(data + 4);
    for (WORD i = 0; i < count; ++i) {
      const BYTE* entry = data + 6 + 14 * i;
      std::printf("icon %dx%d\n", entry[0] ? entry[0] : 256, entry[1] ? entry[1] : 256);
    }
  }
  FreeLibrary(module);
  return 0;
}

int TrustCa(const Args& args) {
  HANDLE file = CreateFileW(args[0].c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  char pem[16384];
  DWORD size = 0;
  const BOOL read = ReadFile(file, pem, sizeof pem, &size, nullptr);
  CloseHandle(file);
  if (!read) return 1;
  BYTE der[8192];
  DWORD derSize = sizeof der;
  if (!CryptStringToBinaryA(pem, size, CRYPT_STRING_BASE64HEADER, der, &derSize, nullptr, nullptr)) return 1;
  return CertAddEncodedCertificateToSystemStoreW(L"Root", der, derSize) ? 0 : 1;
}

int Hold(const Args& args) {
  const DWORD share = args[1] == L"delete" ? FILE_SHARE_READ | FILE_SHARE_DELETE : 0;
  HANDLE file = CreateFileW(args[0].c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  std::printf("held\n");
  std::fflush(stdout);
  Sleep(wcstoul(args[2].c_str(), nullptr, 10) * 1000);
  CloseHandle(file);
  return 0;
}

int Tamper(const Args& args) {
  const std::wstring& path = args[0];
  int worked = 0;
  auto report = [&worked](const char* what, bool ok) {
    const DWORD error = GetLastError();
    if (ok) {
      ++worked;
      std::printf("%s ok\n", what);
    } else {
      std::printf("%s refused %lu\n", what, static_cast<unsigned long>(error));
    }
  };
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
  report("write", file != INVALID_HANDLE_VALUE);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  report("delete", DeleteFileW(path.c_str()) != FALSE);
  const std::wstring moved = path + L".moved";
  const bool renamed = MoveFileW(path.c_str(), moved.c_str()) != FALSE;
  report("rename", renamed);
  if (renamed) MoveFileW(moved.c_str(), path.c_str());
  std::fflush(stdout);
  return worked;
}

// Writes keys of one section of a profile file one call at a time, as a
// reference for what such writes leave on disk.
int IniWrite(const Args& args) {
  for (std::size_t i = 2; i + 1 < args.size(); i += 2)
    if (!WritePrivateProfileStringW(args[1].c_str(), args[i].c_str(), args[i + 1].c_str(), args[0].c_str())) return 1;
  return 0;
}

namespace {

DWORD WINAPI ReadNowhere(void*) {
  volatile int* nowhere = reinterpret_cast<int*>(-1);
  return static_cast<DWORD>(*nowhere);
}

}  // namespace

int Crash(const Args&) {
  const HANDLE thread = CreateThread(nullptr, 0, ReadNowhere, nullptr, 0, nullptr);
  if (thread) WaitForSingleObject(thread, 10000);
  return 1;
}

}  // namespace wintool

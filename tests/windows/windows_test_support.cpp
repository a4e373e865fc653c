#include "windows_test_support.h"

#include <objbase.h>
#include <shlobj.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "log/setup_log.h"
#include "platform/files.h"
#include "platform/shell.h"
#include "platform/text.h"

namespace windows_test {

namespace fs = std::filesystem;

fs::path Native(const std::string& path) { return fs::path(WideFromUtf8(path)); }

fs::path LoopbackInstaller() { return Native(OwnModulePath()).parent_path() / "QuenlithSetup-loopback.exe"; }

ToolRun RunWintool(const std::vector<std::string>& args) {
  ToolRun run{~0u, {}};
  std::wstring command = L"\"" + (Native(OwnModulePath()).parent_path() / "wintool.exe").wstring() + L"\"";
  for (const std::string& arg : args) command += L" \"" + WideFromUtf8(arg) + L"\"";
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return run;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writeEnd;
  startup.hStdError = writeEnd;
  PROCESS_INFORMATION process = {};
  const bool started =
      CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
  CloseHandle(writeEnd);
  if (started) {
    char buffer[512];
    DWORD got = 0;
    while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0) run.output.append(buffer, got);
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &run.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  CloseHandle(readEnd);
  return run;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(Native(path), std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

void WriteText(const std::string& path, const std::string& text) {
  fs::create_directories(Native(path).parent_path());
  std::ofstream(Native(path), std::ios::binary) << text;
}

bool Exists(const std::string& path) { return fs::exists(Native(path)); }

std::string FolderOf(int csidl) { return ShellFolderPath(csidl, nullptr).value_or("<none>") + "\\"; }

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

std::optional<RawValue> ReadRaw(HKEY root, const std::string& key, const std::string& name) {
  HKEY handle = nullptr;
  if (RegOpenKeyExW(root, WideFromUtf8(key).c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return std::nullopt;
  RawValue value;
  DWORD size = 0;
  const std::wstring wideName = WideFromUtf8(name);
  const wchar_t* valueName = name.empty() ? nullptr : wideName.c_str();
  LSTATUS status = RegQueryValueExW(handle, valueName, nullptr, &value.type, nullptr, &size);
  if (status == ERROR_SUCCESS) {
    value.bytes.resize(size);
    status = RegQueryValueExW(handle, valueName, nullptr, &value.type, reinterpret_cast<BYTE*>(value.bytes.data()),
                              &size);
  }
  RegCloseKey(handle);
  if (status != ERROR_SUCCESS) return std::nullopt;
  return value;
}

std::string Utf16Bytes(const std::string& text, bool terminated) {
  const std::wstring wide = WideFromUtf8(text) + (terminated ? std::wstring(1, L'\0') : std::wstring());
  return std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(wchar_t));
}

std::optional<std::string> ReadText(HKEY root, const std::string& key, const std::string& name) {
  const std::optional<RawValue> raw = ReadRaw(root, key, name);
  if (!raw || raw->type != REG_SZ) return std::nullopt;
  std::wstring wide(raw->bytes.size() / 2, L'\0');
  std::memcpy(wide.data(), raw->bytes.data(), wide.size() * 2);
  while (!wide.empty() && wide.back() == L'\0') wide.pop_back();
  return Utf8FromWide(wide);
}

bool KeyExists(HKEY root, const std::string& key) {
  HKEY handle = nullptr;
  if (RegOpenKeyExW(root, WideFromUtf8(key).c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
  RegCloseKey(handle);
  return true;
}

void DeleteTree(HKEY root, const std::string& key) { RegDeleteTreeW(root, WideFromUtf8(key).c_str()); }

std::optional<LinkFields> ReadLink(const std::string& path) {
  CoInitialize(nullptr);
  IShellLinkW* link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&link))))
    return std::nullopt;
  IPersistFile* file = nullptr;
  std::optional<LinkFields> fields;
  if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
      SUCCEEDED(file->Load(WideFromUtf8(path).c_str(), STGM_READ))) {
    wchar_t text[1024];
    fields.emplace();
    if (SUCCEEDED(link->GetPath(text, 1024, nullptr, SLGP_RAWPATH))) fields->target = Utf8FromWide(text);
    if (SUCCEEDED(link->GetArguments(text, 1024))) fields->arguments = Utf8FromWide(text);
    if (SUCCEEDED(link->GetDescription(text, 1024))) fields->description = Utf8FromWide(text);
    if (SUCCEEDED(link->GetWorkingDirectory(text, 1024))) fields->workingDirectory = Utf8FromWide(text);
    if (SUCCEEDED(link->GetIconLocation(text, 1024, &fields->iconIndex))) fields->iconPath = Utf8FromWide(text);
  }
  if (file != nullptr) file->Release();
  link->Release();
  return fields;
}

namespace {
std::size_t gLogStart = 0;
}  // namespace

void StartTestLog() {
  gSetupLog.Enable();
  LOG_NORMAL("Test starts.");
  gLogStart = ReadText(gSetupLog.LogPath()).size();
}

std::string TestLog() {
  const std::string text = ReadText(gSetupLog.LogPath());
  return gLogStart <= text.size() ? text.substr(gLogStart) : std::string();
}

}  // namespace windows_test

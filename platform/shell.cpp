#include "platform/shell.h"

#include <shellapi.h>
#include <shlobj.h>

#include "platform/text.h"

std::optional<std::string> ShellFolderPath(int csidl, HANDLE token) {
  PIDLIST_ABSOLUTE items = nullptr;
  if (FAILED(SHGetFolderLocation(nullptr, csidl, token, 0, &items)) || items == nullptr) return std::nullopt;
  wchar_t path[MAX_PATH];
  const BOOL found = SHGetPathFromIDListW(items, path);
  ILFree(items);
  if (!found) return std::nullopt;
  // The wide buffer keeps the path within the platform's limit, however many bytes its UTF-8 takes.
  return Utf8FromWide(path);
}

int ShowMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) {
  return MessageBoxW(owner, WideFromUtf8(text).c_str(), WideFromUtf8(caption).c_str(), type);
}

bool StartElevated(const std::string& program, const std::string& parameters) {
  const std::wstring wideProgram = WideFromUtf8(program);
  const std::wstring wideParameters = WideFromUtf8(parameters);
  SHELLEXECUTEINFOW request = {};
  request.cbSize = sizeof request;
  request.lpVerb = L"runas";
  request.lpFile = wideProgram.c_str();
  request.lpParameters = wideParameters.c_str();
  request.nShow = SW_SHOW;
  return ShellExecuteExW(&request) != FALSE;
}

namespace {

template <typename Interface>
struct ComRelease {
  Interface* pointer = nullptr;
  ~ComRelease() {
    if (pointer != nullptr) pointer->Release();
  }
};

// COM for the calling thread for one scope; a thread that already has it
// keeps it (the call only counts up and back down).
class ComApartment {
 public:
  ComApartment() : initialised_(SUCCEEDED(CoInitialize(nullptr))) {}
  ~ComApartment() {
    if (initialised_) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  bool initialised_;
};

}  // namespace

HRESULT WriteShellLink(const std::string& path, const ShellLinkFields& fields) {
  // Declared first, so the interfaces below are released before the apartment is left.
  const ComApartment apartment;
  ComRelease<IShellLinkW> link;
  HRESULT result = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                    reinterpret_cast<void**>(&link.pointer));
  if (FAILED(result)) return result;
  ComRelease<IPersistFile> file;
  result = link.pointer->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file.pointer));
  if (FAILED(result)) return result;
  if (fields.target && FAILED(result = link.pointer->SetPath(WideFromUtf8(*fields.target).c_str()))) return result;
  if (fields.workingDirectory &&
      FAILED(result = link.pointer->SetWorkingDirectory(WideFromUtf8(*fields.workingDirectory).c_str())))
    return result;
  if (fields.description &&
      FAILED(result = link.pointer->SetDescription(WideFromUtf8(*fields.description).c_str())))
    return result;
  if (fields.arguments && FAILED(result = link.pointer->SetArguments(WideFromUtf8(*fields.arguments).c_str())))
    return result;
  if (fields.iconPath && FAILED(result = link.pointer->SetIconLocation(WideFromUtf8(*fields.iconPath).c_str(), 1)))
    return result;
  return file.pointer->Save(WideFromUtf8(path).c_str(), TRUE);
}

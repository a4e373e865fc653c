// wintool's commands for the benchmarks: timing a page of the wizard, and
// the platform's own floor under an extraction.

#include "wintool.h"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "formats/archive.h"
#include "formats/layout.h"
#include "platform/permissions.h"

namespace wintool {

// Waits until the window of a class shows a visible child with an id (a
// page's button, say).
int WaitChild(const Args& args) {
  const int id = static_cast<int>(wcstol(args[1].c_str(), nullptr, 10));
  const DWORD timeout = wcstoul(args[2].c_str(), nullptr, 10);
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < timeout) {
    if (HWND window = FindWindowW(args[0].c_str(), nullptr))
      if (HWND child = GetDlgItem(window, id); child != nullptr && IsWindowVisible(child)) return 0;
    // Often enough to time a page closely, seldom enough not to slow the program watched.
    Sleep(20);
  }
  return 1;
}

// The platform's own cost of an extraction: what the installer's extraction
// takes beyond this is ours to win back.
int Floor(const Args& args) {
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  std::ifstream archive(args[0].c_str(), std::ios::binary);
  unsigned char count[archive::kCountSize] = {};
  if (!archive.read(reinterpret_cast<char*>(count), sizeof count)) return 1;
  std::vector<archive::Entry> table(layout::ReadLe32(count));
  for (archive::Entry& entry : table) {
    unsigned char field[archive::kEntrySize];
    if (!archive.read(reinterpret_cast<char*>(field), sizeof field) || !archive::DecodeEntry(field, entry)) return 1;
  }
  std::string destination = Utf8(args[1]);
  if (destination.empty() || destination.back() != '\\') destination += '\\';
  std::set<std::string> folders;
  std::vector<char> block(1 << 20);
  const FILETIME stamp = {0, 0x01DC0000};
  for (const archive::Entry& entry : table) {
    for (std::size_t at = entry.name.find('\\'); at != std::string::npos; at = entry.name.find('\\', at + 1)) {
      const std::string folder = destination + entry.name.substr(0, at);
      if (!folders.insert(folder).second) continue;
      CreateDirectoryA(folder.c_str(), nullptr);
      OpenFolderToUsers(folder);
    }
    const HANDLE file = CreateFileA((destination + entry.name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    for (std::uint32_t left = entry.size; left > 0;) {
      const std::uint32_t piece = left < block.size() ? left : static_cast<std::uint32_t>(block.size());
      DWORD written = 0;
      if (!archive.read(block.data(), piece) || !WriteFile(file, block.data(), piece, &written, nullptr)) return 1;
      left -= piece;
    }
    SetFileTime(file, &stamp, &stamp, &stamp);
    CloseHandle(file);
  }
  QueryPerformanceCounter(&end);
  std::printf("%.3f\n", static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart));
  return 0;
}

}  // namespace wintool

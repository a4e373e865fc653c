// Small Windows-side operations for the test harness, one per command
// (declared in wintool.h by what they serve):
//   click CAPTION BUTTON [TIMEOUT_MS]  answer a message box: prints its text, then
//                                      presses ok, cancel, yes, no, retry, abort or ignore
//   find CLASS TITLE [TIMEOUT_MS]      wait for a top-level window; exit 0 when found
//   close CLASS TITLE                  ask a top-level window to close
//   msgbox CAPTION TEXT TYPE           show a message box (TYPE ok, retrycancel, yesno);
//                                      exits with the button id pressed
//   regset KEY NAME dword|sz VALUE     write a value under HKEY_CURRENT_USER\KEY
//   version FILE                       print the FileVersion text of the first translation
//   trust FILE                         print WinVerifyTrust's result in hexadecimal
//   resources FILE                     print the manifest and the sizes in icon group 138
//   trustca FILE                       add a PEM certificate to the user's trusted roots
//   hold FILE none|delete SECONDS      keep FILE open for reading, sharing nothing or only
//                                      renames and deletes, for SECONDS; prints "held" once open
//   tamper FILE                        try what another program of the same user could do to
//                                      FILE: open it for writing, delete it, rename it; prints
//                                      one line per attempt ("write ok" or "write refused N",
//                                      N the Windows error) and exits with the number that worked
//   window CLASS [TIMEOUT_MS]          wait for a top-level window of CLASS; prints its title,
//                                      client size, position and visibility
//   children CLASS                     one line per child: id, class, client rectangle,
//                                      visible, enabled, check state, text
//   settext CLASS ID TEXT              set a child's text (an edit raises EN_CHANGE)
//   setcheck CLASS ID 0|1              tick or clear a check box
//   command CLASS ID                   post WM_COMMAND with ID, as a click on that button
//   key CLASS VK                       post a key press (decimal virtual-key code) to the
//                                      focused control, through the target's own message loop
//   post CLASS MESSAGE                 post a message (decimal) with wParam and lParam 0
//   pixels CLASS X Y [X Y ...]         print the client-area colour at each point as RRGGBB
//   dpichanged CLASS DPI L T R B       send WM_DPICHANGED for DPI with the suggested outer
//                                      rectangle L, T, R, B, as a move to another monitor does
//   textwidth CLASS ID FACE HEIGHT     print the width the edit control ID gives its text
//                                      (but the last character) and the width of that text in
//                                      a font of FACE and HEIGHT made here: equal when the
//                                      control uses such a font; and the face that font
//                                      resolves to in this prefix ("control=N font=N face=F")
//   editview CLASS ID                  print how the edit control ID shows its text: its
//                                      left margin, its first visible character, where
//                                      character 0 starts, and the leftmost client column
//                                      holding a dark pixel (-1 for none)
//   dismiss CLASS TIMEOUT_MS           wait for the window, then close it (again and again
//                                      while it refuses, answering its thread's message boxes)
//                                      until it is gone
//   iniwrite FILE SECTION KEY VALUE [KEY VALUE ...]
//                                      write the keys one call at a time through the system
//   waitchild CLASS ID TIMEOUT_MS      wait until the window shows a visible child with ID
//   floor ARCHIVE DESTINATION          make the files of a payload archive below DESTINATION
//                                      with nothing but the system calls an installation
//                                      cannot do without (each folder created and opened to
//                                      the Users group once, each file created, written,
//                                      stamped and closed); prints the seconds it took
//   crash                              fault in a thread other than the main one
// Exit codes: 0 done, 1 not found or failed, 2 usage.

#include "wintool.h"

#include <cstdio>
#include <string>
#include <vector>

namespace wintool {

std::string Utf8(const std::wstring& text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string bytes(size > 0 ? size - 1 : 0, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, bytes.data(), size, nullptr, nullptr);
  return bytes;
}

HWND WaitForWindow(const wchar_t* className, const wchar_t* title, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  while (true) {
    if (HWND window = FindWindowW(className, title)) return window;
    if (GetTickCount() - start >= timeoutMs) return nullptr;
    Sleep(50);
  }
}

HWND WaitForClass(const std::wstring& className, DWORD timeoutMs) {
  return WaitForWindow(className.c_str(), nullptr, timeoutMs);
}

}  // namespace wintool

int wmain(int argc, wchar_t** argv) {
  using namespace wintool;
  const Args args(argv + (argc > 1 ? 2 : argc), argv + argc);
  const std::wstring command = argc > 1 ? argv[1] : L"";
  const struct {
    const wchar_t* name;
    std::size_t minArgs;
    int (*run)(const Args&);
  } kCommands[] = {
      // Driving windows.
      {L"click", 2, Click}, {L"find", 2, Find}, {L"close", 2, Close}, {L"msgbox", 3, ShowBox},
      {L"window", 1, Window}, {L"children", 1, Children}, {L"settext", 3, SetText}, {L"setcheck", 3, SetCheck},
      {L"command", 2, Command}, {L"key", 2, Key}, {L"post", 2, Post}, {L"pixels", 1, Pixels},
      {L"dpichanged", 6, DpiChanged}, {L"textwidth", 4, TextWidth}, {L"editview", 2, EditView},
      {L"dismiss", 2, Dismiss},
      // Reading and changing the machine.
      {L"regset", 4, RegSet}, {L"version", 1, Version}, {L"trust", 1, Trust}, {L"resources", 1, Resources},
      {L"trustca", 1, TrustCa}, {L"hold", 3, Hold}, {L"tamper", 1, Tamper}, {L"iniwrite", 2, IniWrite},
      {L"crash", 0, Crash},
      // Benchmarks.
      {L"waitchild", 3, WaitChild}, {L"floor", 2, Floor}};
  for (const auto& entry : kCommands)
    if (command == entry.name && args.size() >= entry.minArgs) return entry.run(args);
  std::fprintf(stderr, "usage: wintool click|find|close|msgbox|regset|version|trust ...\n");
  return 2;
}

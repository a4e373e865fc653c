#pragma once
// The commands of wintool, the test harness's Windows-side helper, by what
// they serve: driving windows (wintool_windows.cpp), reading and changing
// the machine (wintool_machine.cpp), and benchmarks (wintool_bench.cpp).
// Each takes the arguments after the command's name and returns the
// program's exit code: 0 done, 1 not found or failed, 2 usage.

#include <windows.h>

#include <string>
#include <vector>

namespace wintool {

using Args = std::vector<std::wstring>;

// `text` as UTF-8, for printing.
std::string Utf8(const std::wstring& text);
// Waits up to `timeoutMs` for a top-level window of `className` and `title`
// (null: any); null when none came.
HWND WaitForWindow(const wchar_t* className, const wchar_t* title, DWORD timeoutMs);
// The same for a class alone.
HWND WaitForClass(const std::wstring& className, DWORD timeoutMs);

// Driving windows.
int Click(const Args& args);
int Find(const Args& args);
int Close(const Args& args);
int ShowBox(const Args& args);
int Window(const Args& args);
int Children(const Args& args);
int SetText(const Args& args);
int SetCheck(const Args& args);
int Command(const Args& args);
int Key(const Args& args);
int Post(const Args& args);
int Pixels(const Args& args);
int DpiChanged(const Args& args);
int TextWidth(const Args& args);
int EditView(const Args& args);
int Dismiss(const Args& args);

// Reading and changing the machine.
int RegSet(const Args& args);
int Version(const Args& args);
int Trust(const Args& args);
int Resources(const Args& args);
int TrustCa(const Args& args);
int Hold(const Args& args);
int Tamper(const Args& args);
int IniWrite(const Args& args);
int Crash(const Args& args);

// Benchmarks.
int WaitChild(const Args& args);
int Floor(const Args& args);

}  // namespace wintool

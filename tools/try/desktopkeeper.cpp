// Keeps a Wine prefix's desktop as a real one is: owns a hidden window until
// ended, which keeps Wine's desktop process from shutting down between
// programs (each next program would wait about 2 s for a new one), and a
// notification-area icon, so the tray never empties: with no window manager,
// hiding an emptied tray makes Wine's shell wait 2 s before it answers the
// program that removed the last icon. Started by wine-env.sh.

#include <windows.h>
#include <shellapi.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = DefWindowProcW;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = L"QuenlithHarnessKeeper";
  RegisterClassW(&windowClass);
  const HWND window =
      CreateWindowW(L"QuenlithHarnessKeeper", L"", 0, 0, 0, 0, 0, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return 1;
  NOTIFYICONDATAW icon = {};
  icon.cbSize = sizeof icon;
  icon.hWnd = window;
  icon.uID = 1;
  icon.uFlags = NIF_ICON;
  icon.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
  Shell_NotifyIconW(NIM_ADD, &icon);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  return 0;
}

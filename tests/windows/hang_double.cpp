// A stand-in for an installer that never ends: shows a window and refuses to
// close, so that `quenlith-pack try` meets a run it must end after its time
// limit. The tests append a package's sections to this program.

#include <windows.h>

namespace {

LRESULT CALLBACK HangProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CLOSE) return 0;
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = HangProc;
  windowClass.hInstance = instance;
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = L"QuenlithHangDouble";
  RegisterClassW(&windowClass);
  CreateWindowW(L"QuenlithHangDouble", L"Hanging installer", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 400, 300,
                nullptr, nullptr, instance, nullptr);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  return 0;
}

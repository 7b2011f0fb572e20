// Keeps one Wine GUI process alive during a test run, so that Wine's desktop
// process is not restarted around every test. Ends on WM_CLOSE or when killed.
#include <windows.h>

static LRESULT CALLBACK KeepAliveProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = KeepAliveProc;
  wc.hInstance = instance;
  wc.lpszClassName = "VellumixTestKeepAlive";
  if (!RegisterClassA(&wc)) return 1;
  if (!CreateWindowA(wc.lpszClassName, "", WS_OVERLAPPED, 0, 0, 1, 1, nullptr, nullptr, instance,
                     nullptr)) {
    return 1;
  }
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
  return 0;
}

// The program's entry point: one running instance, start-up in its fixed order, the
// message loop, shutdown. Start-up failures end the program silently with exit code 0.
#include <windows.h>
#include <commctrl.h>

#include "services/globals.h"
#include "app/startup.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int showCommand) {
  if (!ClaimSingleInstance()) return HandOffToRunningInstance(commandLine);
  g_instance = instance;
  InitCommonControls();
  if (!RegisterWindowClasses(instance)) {
    ReleaseMutex(g_instanceMutex);
    return 0;
  }
  if (!InitialiseProgram(showCommand)) {
    ShutDown();
    return 0;
  }
  PostCommandLine(commandLine);
  int exitCode = RunMessageLoop();
  ShutDown();
  return exitCode;
}

// Start-up and shutdown of the program: one running instance, the window classes,
// the process-wide values, the frame, the message loop.
#pragma once

#include <windows.h>

// Creates the single-instance mutex owned. True in the first instance (the mutex is then
// kept in g_instanceMutex); otherwise the handle is closed again.
bool ClaimSingleInstance();

// In a second instance: finds the running frame (up to 50 tries, 100 ms apart), sends it
// the command line's path (as a global atom, or as the data of WM_COPYDATA when the path is
// too long for an atom's name), restores it when minimised and brings it to the front. The
// quotes around the command line are removed in place. Returns the exit code, 1.
int HandOffToRunningInstance(char* commandLine);

// Registers the common controls the program uses (InitCommonControlsEx), then the six window
// classes of the program in their fixed order; false when any registration fails. Keeps the
// common controls' procedures and the pane class atoms.
bool RegisterWindowClasses(HINSTANCE instance);

// Everything between class registration and the message loop, ending with the frame shown
// with the given show command. False at the first step that fails; the caller then runs
// ShutDown.
bool InitialiseProgram(int showCommand);

// Builds TempDirectory from the system's temporary path and creates the directory.
bool CreateTempDirectory();
// The same from a given answer of GetTempPathA (its result and the text it wrote); the
// directory is written to out (kPathBufferSize bytes). It must stay within the system's
// path limit, counted in UTF-16 units. An existing directory is not an error.
bool CreateTempDirectoryFrom(DWORD tempPathResult, const char* tempPath, char* out);

// Loads the main menu and the accelerator table into their globals.
bool LoadMenuAndAccelerators();
// Attaches the recent-file list to the "Recent Files" submenu and loads it from the registry.
bool LoadRecentFiles();

// Registers the seven clipboard formats; false when any registration fails.
bool RegisterClipboardFormats();

// Creates the frame with the main menu and shows it; the frame window or null.
HWND CreateFrameWindow(int showCommand);

// Posts the command line's path (quotes removed in place) to the frame when it is not empty.
void PostCommandLine(char* commandLine);

// The message loop's translation of one message: the MDI system keys, then the
// accelerators. True when the message was consumed.
bool TranslateFrameMessage(MSG* msg);

// Runs the message loop until WM_QUIT; returns its exit code.
int RunMessageLoop();

// Stops the worker threads, releases the drop source, ends OLE when it was started and
// releases the single-instance mutex.
void ShutDown();

// Removes the quotes around a command line in place: when it starts with '"', its last
// character is dropped and the text after the first character is returned.
char* StripCommandLineQuotes(char* commandLine);

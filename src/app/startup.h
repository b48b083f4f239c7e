// Start-up and shut-down of the program.
#pragma once

class QApplication;

// Everything before the main window: the handlers that show boxes and open folders, the program
// and data folders, player.ini and system.ini, the audio library's settings, and the connection
// settings object (read later by the main window).
void StartUp();

// Plugs the windows of other layers into the main window (see app/app_hooks.h).
void InstallWindowHooks();

// The whole run: start-up, the main window, the message loop until the window closes (by the
// user or by SIGTERM, SIGINT or SIGHUP), then shut-down. Requests still in flight are abandoned,
// so the program ends at once even when the station does not answer. Returns the exit code.
int RunVexmo(QApplication& AApp);

// Where the windows of other layers plug into the main window. Start-up installs them
// (InstallWindowHooks in startup.cpp); tests install their own.
#pragma once

#include <functional>

class QDialog;
class QWidget;

// Runs while the main window is created, after the settings files are read: hands the plug-in
// layer its settings, folders and the main window.
using TPluginSetupHook = std::function<void(QWidget* AMainWindow)>;
TPluginSetupHook SetPluginSetupHook(TPluginSetupHook AHook);
void RunPluginSetupHook(QWidget* AMainWindow);

// Creates the microphone DSP window when the main window is first shown. The window is created
// hidden with its chain view filled, lives until the main window is destroyed (AMainWindow is
// its parent), and is shown modally from the main window's DSP button. Closing it is its own
// business (it saves player.ini).
using TMicDSPWindowFactory = std::function<QDialog*(QWidget* AMainWindow)>;
TMicDSPWindowFactory SetMicDSPWindowFactory(TMicDSPWindowFactory AFactory);
QDialog* CreateMicDSPWindow(QWidget* AMainWindow);

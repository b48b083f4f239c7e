// What quillon shares with Vexmo at start-up: the program and data folders, player.ini (the
// microphone chain, the voice-track folder), system.ini (the microphone, the plug-in switches,
// the language) and the plug-in layer; and the recorder's own settings.
#pragma once

#include <QString>

class TRecorderSettings;

// AWithWindows: the message boxes and plug-in windows of the UI (the window mode); without, every
// message goes to standard error (the scripted mode). AProgramFolder: for tests, a folder that
// stands in for the executable's (and, with no uid.ini in it, is the data folder).
void RecorderStartUp(bool AWithWindows, const QString& AProgramFolder = {});
void RecorderShutDown();

TRecorderSettings& RecorderSettings();
// The voice-track folder, ending in "/"; created when missing (a failure shows later, when a take
// cannot be written there).
QString VoiceTrackFolder();

// The program folder and the data folder, settled once at start-up.
//
// Folder texts built here always end in "/".
#pragma once

#include <QString>

// Sets the program folder: AFolder, or when empty the folder of the running executable with
// symbolic links resolved. Called first thing at start-up; tests call it with a temporary folder
// and then InitDataFolder() to re-run the data folder choice against it.
void InitProgramFolder(const QString& AFolder = QString());
// Folder of the program file and its read-only companions (uid.ini, setup.ini, Lang/, Plugins/).
QString ProgramFolder();

// Chooses the data folder from uid.ini in the program folder (section "Settings"):
// - no "UID": the program folder (a portable install); nothing is created;
// - with "UID": <config>/Korvane/Vexmo_<UID>/, where <config> is the first folder of
//   XDG_CONFIG_DIRS (default /etc/xdg) when "Allusers" is exactly "A", else XDG_CONFIG_HOME
//   (default ~/.config). The folder is created with its parents; a failure is not reported.
//   When no such folder can be named (no home folder), the program folder.
// "/" and "\" in the UID become "_", so the folder always stays inside Korvane/.
void InitDataFolder();
// The installation's identifier from uid.ini, empty when there is none.
QString InstallUID();
// Folder of every settings file.
QString DataFolder();

// Turns a stored folder setting into a folder path. A text of at least two characters that starts
// with one "\" (the default "\VoiceTracks\") lies in the data folder, its "\" become "/"; any
// other text ("\\server\vt", "/srv/vt/") is a path as it stands. The result loses one final "/"
// or "\" (a text of one character, such as the root "/", stays as it is).
QString ExpandDataPath(const QString& APath);

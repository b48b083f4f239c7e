// Small shared helpers: starting programs, folder actions, texts for file names and captions.
#pragma once

#include <QString>
#include <QtGlobal>
#include <functional>

// Starts a program without waiting for it. The command line is split like a shell would
// (QProcess::splitCommand: blanks separate, double quotes group), the first part is the program,
// looked up in PATH when it has no folder. A command line that is blank (after trimming blanks
// and control characters at both ends) starts nothing and leaves AError untouched. Otherwise
// AError is cleared, and on failure filled with the system's description of the error (for
// example "No such file or directory"). When AProcessId is given it receives the new process id
// (0 on failure). The program's working folder and environment are this program's.
void RunCommandLine(const QString& ACommandLine, qint64* AProcessId, QString& AError);

// Opening a folder in the desktop's file manager. The Core layers cannot use the desktop
// services themselves, so the UI may install a handler (QDesktopServices::openUrl); without one,
// "xdg-open <folder>" is started. Returns whether the file manager could be started.
using TOpenFolderHandler = std::function<bool(const QString& AFolder)>;
// Installs the handler and returns the previous one (empty when none was set).
TOpenFolderHandler SetOpenFolderHandler(TOpenFolderHandler AHandler);
bool OpenFolderInFileManager(const QString& AFolder);

// Creates the folder with any missing parents (no elevation is needed or asked for on this
// platform: a folder the user may not create simply fails). True when the folder exists after.
bool CreateFolderElevated(const QString& AFolder);

// Removes " * / : < > ? \ | ; every other character stays, in order.
QString StripFileNameChars(const QString& AText);
// True when the text starts with http://, https://, ftp:// or mms:// (any letter case).
bool IsUrl(const QString& AText);
// A URL unchanged; otherwise the file name (or with AKeepFolder the whole path) without the
// extension of the file name. Both "/" and "\" separate folders, since stored texts may carry
// either.
QString FileDisplayName(const QString& APath, bool AKeepFolder);
// Removes every "&" (menu captions carry them as accelerator marks).
QString StripAmpersands(const QString& AText);
// Milliseconds since the system started, including time spent suspended; never goes back.
qint64 TickCount64();

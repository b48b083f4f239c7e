// The real message box behind MyMessageBox (base/message_box.h): a QMessageBox owned by the
// active window, modal to the whole program, with the icon and buttons that the flags ask for.
#pragma once

#include <QMessageBox>
#include <QString>

// Icon for the flags' icon part: 16 error, 32 question, 48 warning, 64 information.
QMessageBox::Icon MessageBoxIconForFlags(int AFlags);
// Buttons for the flags' button part: 0 OK, 1 OK/Cancel, 2 Abort/Retry/Ignore,
// 3 Yes/No/Cancel, 4 Yes/No, 5 Retry/Cancel.
QMessageBox::StandardButtons MessageBoxButtonsForFlags(int AFlags);
// The answer number (IDOK, IDCANCEL, IDYES, IDNO, ...) for a button.
int MessageBoxResultForButton(QMessageBox::StandardButton AButton);

// Shows the box and returns the answer number. A box that is closed without a button (the
// program quitting under it) answers as MyMessageBox does when nobody can be asked.
int ShowQtMessageBox(const QString& AText, const QString& ACaption, int AFlags);

// Opens a folder in the desktop's file manager.
bool OpenFolderWithDesktop(const QString& AFolder);

// Installs the message box and folder handlers of the Core layers. Called once at start-up,
// before anything may report a failure.
void InstallUiHandlers();

// Message boxes that any layer may show, from any thread.
//
// The Core layers cannot show a dialog themselves: the UI installs a handler at start-up that
// shows a real box, tests install a recorder. The flag and result numbers are the program's own
// API (they match what stored texts and callers have always used); the handler maps them.
#pragma once

#include <QString>
#include <functional>

// Buttons (low four bits of the flags).
constexpr int MB_OK = 0;
constexpr int MB_OKCANCEL = 1;
constexpr int MB_YESNO = 4;
// Icons.
constexpr int MB_ICONERROR = 16;
constexpr int MB_ICONQUESTION = 32;
constexpr int MB_ICONWARNING = 48;
constexpr int MB_ICONINFORMATION = 64;
// Masks for picking the parts out of the flags.
constexpr int MB_TYPEMASK = 0x0F;
constexpr int MB_ICONMASK = 0xF0;

// Results.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

using TMessageBoxHandler =
    std::function<int(const QString& AText, const QString& ACaption, int AFlags)>;

// Installs the handler that shows boxes and returns the previous one (empty when none was set).
// An empty handler removes it. The handler is only ever called on the UI thread.
TMessageBoxHandler SetMessageBoxHandler(TMessageBoxHandler AHandler);

// Shows a box with the text, caption and flags and returns the button pressed.
//
// Called from a thread other than the application's UI thread, the box is queued to the UI
// thread (in call order) and -1 is returned at once; the answer is then discarded.
//
// Without a handler the message goes to the log (qWarning) and the answer is the one that changes
// nothing: IDOK for an OK box, IDNO for Yes/No, IDCANCEL for any box that has a Cancel button.
int MyMessageBox(const QString& AText, const QString& ACaption, int AFlags);

// The answer MyMessageBox gives for the flags when nobody can be asked.
int DefaultMessageBoxAnswer(int AFlags);

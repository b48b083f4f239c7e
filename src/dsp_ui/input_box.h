// The one-line input box of the stage windows (the preset name asked for by "Save..."), behind a
// seam: the program shows a real dialog, tests answer at once, so that no test waits on a dialog.
#pragma once

#include <QString>
#include <functional>

class QWidget;

// Runs once the user has confirmed a text; it does not run when the box is cancelled.
using TInputDone = std::function<void(const QString& AValue)>;

// Asks for one line of text, window-modal to AParent, with the caption, the prompt and the text
// prefilled with ADefault. The call returns at once; ADone runs when the user confirms.
void InputBox(QWidget* AParent, const QString& ACaption, const QString& APrompt,
              const QString& ADefault, TInputDone ADone);

using TInputBoxHandler =
    std::function<void(QWidget* AParent, const QString& ACaption, const QString& APrompt,
                       const QString& ADefault, TInputDone ADone)>;
// Installs a stand-in and returns the previous one; empty restores the real dialog.
TInputBoxHandler SetInputBoxHandler(TInputBoxHandler AHandler);

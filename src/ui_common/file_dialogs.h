// The folder picker and the file-open dialog, each behind a seam: the program uses the real
// dialogs, tests install a stand-in so that no test ever waits on a dialog.
#pragma once

#include <QString>
#include <functional>

class QWidget;

// Asks for a folder, starting in APath, with no title. When the user confirms a folder, APath
// becomes it and the result is true; otherwise APath stays as it was and the result is false.
bool SelectFolder(QString& APath);
using TSelectFolderHandler = std::function<bool(QString& APath)>;
// Installs a stand-in and returns the previous one; empty restores the real dialog.
TSelectFolderHandler SetSelectFolderHandler(TSelectFolderHandler AHandler);

// Shows a file-open dialog for one existing file, window-modal to AParent, starting in AFolder
// and offering AFilter (Qt's form, "FLAC (*.flac)"). ADone runs once the user has chosen, with
// the full file name; it does not run when the dialog is cancelled. The call itself returns at
// once, so nothing waits in a nested event loop.
using TFileChosen = std::function<void(const QString& AFileName)>;
void SelectOpenFile(QWidget* AParent, const QString& AFolder, const QString& AFilter,
                    TFileChosen ADone);
using TOpenFileHandler = std::function<void(QWidget* AParent, const QString& AFolder,
                                            const QString& AFilter, TFileChosen ADone)>;
// Installs a stand-in and returns the previous one; empty restores the real dialog.
TOpenFileHandler SetOpenFileHandler(TOpenFileHandler AHandler);

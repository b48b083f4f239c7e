#include "ui_common/file_dialogs.h"

#include <QApplication>
#include <QFileDialog>

namespace {

TSelectFolderHandler GSelectFolder;
TOpenFileHandler GOpenFile;

bool RealSelectFolder(QString& APath)
{
  QWidget* Owner = QApplication::activeModalWidget();
  if (!Owner)
    Owner = QApplication::activeWindow();
  const QString Chosen = QFileDialog::getExistingDirectory(Owner, QString(), APath);
  if (Chosen.isEmpty())
    return false;
  APath = Chosen;
  return true;
}

void RealOpenFile(QWidget* AParent, const QString& AFolder, const QString& AFilter,
                  TFileChosen ADone)
{
  auto* Dialog = new QFileDialog(AParent, QString(), AFolder, AFilter);
  Dialog->setAttribute(Qt::WA_DeleteOnClose);
  Dialog->setFileMode(QFileDialog::ExistingFile);
  Dialog->setAcceptMode(QFileDialog::AcceptOpen);
  QObject::connect(Dialog, &QFileDialog::fileSelected, Dialog,
                   [Done = std::move(ADone)](const QString& AFile) {
                     if (!AFile.isEmpty() && Done)
                       Done(AFile);
                   });
  Dialog->open();
}

} // namespace

bool SelectFolder(QString& APath)
{
  return GSelectFolder ? GSelectFolder(APath) : RealSelectFolder(APath);
}

TSelectFolderHandler SetSelectFolderHandler(TSelectFolderHandler AHandler)
{
  TSelectFolderHandler Previous = std::move(GSelectFolder);
  GSelectFolder = std::move(AHandler);
  return Previous;
}

void SelectOpenFile(QWidget* AParent, const QString& AFolder, const QString& AFilter,
                    TFileChosen ADone)
{
  if (GOpenFile)
    GOpenFile(AParent, AFolder, AFilter, std::move(ADone));
  else
    RealOpenFile(AParent, AFolder, AFilter, std::move(ADone));
}

TOpenFileHandler SetOpenFileHandler(TOpenFileHandler AHandler)
{
  TOpenFileHandler Previous = std::move(GOpenFile);
  GOpenFile = std::move(AHandler);
  return Previous;
}

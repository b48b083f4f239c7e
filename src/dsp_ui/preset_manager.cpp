#include "dsp_ui/preset_manager.h"

#include "base/message_box.h"
#include "base/utils.h"
#include "dsp/presets.h"

#include <QAction>
#include <QFile>
#include <QMenu>

TPresetManager::TPresetManager(const QString& APresetFolder, QMenu* ALoadMenu, QMenu* ADelMenu,
                               QObject* AOwner, TPresetManagerEvent AOnLoadPreset,
                               const QString& APresetExt)
    : QObject(AOwner), FLoadMenu(ALoadMenu), FDelMenu(ADelMenu), FOwner(AOwner),
      FOnLoadPreset(std::move(AOnLoadPreset)), FPresetFolder(APresetFolder), FPresetExt(APresetExt)
{
  setObjectName(QStringLiteral("PresetManager"));
}

TPresetManager::~TPresetManager()
{
  // The entries call back into this manager; they must not outlive it in a menu that stays.
  ClearMenu(FLoadMenu);
  ClearMenu(FDelMenu);
}

void TPresetManager::ClearMenu(QMenu* AMenu)
{
  if (!AMenu)
    return;
  const QList<QAction*> Entries = AMenu->actions();
  for (QAction* Entry : Entries) {
    AMenu->removeAction(Entry);
    // An entry may be the one whose click is being handled right now (delete rebuilds the
    // menus), so it is freed once control is back in the event loop.
    if (Entry->parent() == AMenu) {
      Entry->disconnect();
      Entry->deleteLater();
    }
  }
}

QString TPresetManager::EntryCaption(const QString& AName)
{
  QString Caption = AName;
  Caption.replace(QLatin1Char('&'), QStringLiteral("&&"));
  return Caption;
}

QString TPresetManager::EntryFileName(const QAction* AEntry)
{
  return AEntry ? AEntry->data().toString() : QString();
}

void TPresetManager::UpdateMenus()
{
  ClearMenu(FLoadMenu);
  ClearMenu(FDelMenu);

  const QStringList Presets = GetPresetList(FPresetFolder, FPresetExt);
  for (const QString& FileName : Presets) {
    const QString Caption = EntryCaption(FileDisplayName(FileName, false));
    if (FLoadMenu) {
      QAction* Entry = FLoadMenu->addAction(Caption);
      // The entry keeps the file's path: a caption cannot carry every name back (an "&" in it
      // is an access-key mark to the menu).
      Entry->setData(FileName);
      connect(Entry, &QAction::triggered, this, [this, Entry] { LoadEntryClick(Entry); });
    }
    if (FDelMenu) {
      QAction* Entry = FDelMenu->addAction(Caption);
      Entry->setData(FileName);
      connect(Entry, &QAction::triggered, this, [this, Entry] { DeleteEntryClick(Entry); });
    }
  }
  if (Presets.isEmpty()) {
    for (QMenu* Menu : {FLoadMenu.data(), FDelMenu.data()})
      if (Menu)
        Menu->addAction(QStringLiteral("(no presets)"))->setEnabled(false);
  }

  if (FIncludeDefaultPreset && FLoadMenu) {
    const QList<QAction*> Entries = FLoadMenu->actions();
    QAction* First = Entries.isEmpty() ? nullptr : Entries.first();
    auto* Default = new QAction(FDefaultPresetCaption, FLoadMenu);
    FLoadMenu->insertAction(First, Default);
    FLoadMenu->insertSeparator(First);
    connect(Default, &QAction::triggered, this, [this, Default] { LoadEntryClick(Default); });
  }
}

void TPresetManager::LoadEntryClick(QAction* AEntry)
{
  if (!FOnLoadPreset || !AEntry)
    return;
  FOnLoadPreset(AEntry, EntryFileName(AEntry));
}

void TPresetManager::DeleteEntryClick(QAction* AEntry)
{
  if (!AEntry)
    return;
  bool Allow = true;
  if (FOnBeforeDeletePreset)
    FOnBeforeDeletePreset(this, Allow);
  if (!Allow)
    return;
  const QString FileName = EntryFileName(AEntry);
  if (FileName.isEmpty() || !QFile::remove(FileName))
    MyMessageBox(QStringLiteral("Unable to delete preset"), QStringLiteral("Error"), MB_ICONERROR);
  UpdateMenus();
  if (FOnDeletePreset)
    FOnDeletePreset(this, FileName);
}

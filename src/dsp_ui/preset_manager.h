// The "Load" and "Delete" submenus of a stage window's preset menu: one entry per preset file
// found in the window's preset folder, or one disabled "(no presets)" entry.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>

class QAction;
class QMenu;

// A preset entry was chosen: the sender is the menu entry (for a load) or the manager (for a
// delete), AFileName the preset file's full path (empty for the default entry).
using TPresetManagerEvent = std::function<void(QObject* ASender, const QString& AFileName)>;
// Asked before a file is deleted; clearing AAllow keeps the file.
using TPresetManagerEventConfirm = std::function<void(QObject* ASender, bool& AAllow)>;

class TPresetManager : public QObject
{
  Q_OBJECT

public:
  // APresetFolder ends in "/"; APresetExt has no dot ("eqp"). The menus are not owned; the
  // manager is a child of AOwner. Nothing is listed until UpdateMenus().
  TPresetManager(const QString& APresetFolder, QMenu* ALoadMenu, QMenu* ADelMenu, QObject* AOwner,
                 TPresetManagerEvent AOnLoadPreset, const QString& APresetExt);
  ~TPresetManager() override;

  // Empties both submenus and lists the folder's presets again, in the order the folder lists
  // them.
  void UpdateMenus();

  QString PresetFolder() const { return FPresetFolder; }
  QString PresetExt() const { return FPresetExt; }

  const TPresetManagerEvent& OnDeletePreset() const { return FOnDeletePreset; }
  void SetOnDeletePreset(TPresetManagerEvent AHandler) { FOnDeletePreset = std::move(AHandler); }
  const TPresetManagerEventConfirm& OnBeforeDeletePreset() const { return FOnBeforeDeletePreset; }
  void SetOnBeforeDeletePreset(TPresetManagerEventConfirm AHandler)
  {
    FOnBeforeDeletePreset = std::move(AHandler);
  }
  // A default entry (file name empty) at the top of the Load submenu, then a separator.
  bool IncludeDefaultPreset() const { return FIncludeDefaultPreset; }
  void SetIncludeDefaultPreset(bool AValue) { FIncludeDefaultPreset = AValue; }
  QString DefaultPresetCaption() const { return FDefaultPresetCaption; }
  void SetDefaultPresetCaption(const QString& AValue) { FDefaultPresetCaption = AValue; }

  // What choosing an entry does; the menus' entries call these.
  void LoadEntryClick(QAction* AEntry);
  void DeleteEntryClick(QAction* AEntry);

  // The preset file an entry stands for; empty for the default entry and "(no presets)".
  static QString EntryFileName(const QAction* AEntry);
  // The menu caption for a preset name: "&" is doubled so that it shows as typed and marks no
  // access key.
  static QString EntryCaption(const QString& AName);

private:
  static void ClearMenu(QMenu* AMenu);

  QPointer<QMenu> FLoadMenu;
  QPointer<QMenu> FDelMenu;
  QObject* FOwner;
  TPresetManagerEvent FOnLoadPreset;
  QString FPresetFolder;
  QString FPresetExt;
  TPresetManagerEvent FOnDeletePreset;
  bool FIncludeDefaultPreset = false;
  QString FDefaultPresetCaption = QStringLiteral("(Default)");
  TPresetManagerEventConfirm FOnBeforeDeletePreset;
};

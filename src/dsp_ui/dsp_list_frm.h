// The add-DSP dialog (TDSPListFrm): lists every stage that can be added (the built-in effects,
// then the Winamp DSP and VST plug-ins found on the computer) and carries the program-wide
// switches of the two plug-in families, "Refresh list" and the way to the plug-in folders.
#pragma once

#include "dsp_ui/kel_confirm_check_box.h"
#include "dsp_ui/plugin_folders_frm.h"

#include <QDialog>
#include <QPointer>
#include <memory>

class QListView;
class QPushButton;
class TDSPItemC;
class TDSPItemsC;
class TDSPCatalogueModel;

class TDSPListFrm : public QDialog
{
  Q_OBJECT

public:
  explicit TDSPListFrm(QWidget* AParent = nullptr);
  ~TDSPListFrm() override;

  // The chosen entry after OK (an entry of L, so copy it before the dialog goes), or none.
  TDSPItemC* SelectedDSP = nullptr;
  // The choices shown, one row per entry; rebuilt on show and by Refresh list.
  const TDSPItemsC* L() const { return FL.get(); }
  // False until the switches were set on show.
  bool Init() const { return FInit; }
  // The plug-in folders dialog while it is open.
  TPluginFoldersFrm* PluginFoldersDialog() const { return FFoldersDialog; }

  // Rebuilds the catalogue: families switched off are unloaded (their running plug-ins stop),
  // families switched on are searched when their list was dropped.
  void RefreshList();

  QListView* ListView1;
  TKelConfirmCheckBox* Label45;
  TKelConfirmCheckBox* chVstplugins;
  QPushButton* Button4;
  QPushButton* Button3;
  QPushButton* Button1;
  QPushButton* Button2;

protected:
  void showEvent(QShowEvent* AEvent) override;

private:
  void FormShow();
  void Button1Click();
  void Button3Click();
  void PluginFoldersFinished(int AResult, const QString& AOldFolder);
  void Label45BeforeChange(bool& AAllow);
  void chVstpluginsBeforeChange(bool& AAllow);
  void Label45Click();
  void chVstpluginsClick();

  std::unique_ptr<TDSPItemsC> FL;
  TDSPCatalogueModel* FModel;
  bool FInit = false;
  bool FShown = false;
  QPointer<TPluginFoldersFrm> FFoldersDialog;
};

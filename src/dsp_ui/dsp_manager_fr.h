// The chain editor (TDSPManagerFr): an embeddable panel that shows one DSP chain as a check list
// (one row per stage, the mark switching the stage on or off) with buttons to configure, add,
// remove and reorder stages. It edits the chain through its chain manager, which starts and
// stops the stages and tells the panel after each change.
#pragma once

#include "dsp_ui/dsp_list_frm.h"

#include <QPointer>
#include <QWidget>
#include <functional>

class QListView;
class QToolButton;
class TDSPChainModel;
class TDSPItemC;
class TDSPItemsC;
class TDSPManager;

class TDSPManagerFr : public QWidget
{
  Q_OBJECT

public:
  // Asked before Add, Remove, Move and Configure; false ends the operation without a word.
  using TUACCallback = std::function<bool()>;

  explicit TDSPManagerFr(QWidget* AParent = nullptr);
  // Clears the change notification of the manager the panel still holds.
  ~TDSPManagerFr() override;

  TDSPManager* DSPManager() const { return FDSPManager; }
  // Subscribes to the new manager's change notification. Assigning none only forgets the
  // manager; its notification is left as it is.
  void SetDSPManager(TDSPManager* AManager);

  // VST stages are configured through the parameter list instead of the plug-in's editor.
  bool VSTUseTextUI() const { return FVSTUseTextUI; }
  void SetVSTUseTextUI(bool AValue) { FVSTUseTextUI = AValue; }

  TUACCallback UACCallback;

  // Rebuilds the rows from the chain; the selection is lost.
  void UpdateDSPListView();

  // The selected row, or -1.
  int SelectedIndex() const;
  // The add dialog while it is open.
  TDSPListFrm* AddDialog() const { return FAddDialog; }

  // The controls, named as the window's designer named them.
  QListView* lDSP;
  QToolButton* btDSPConfig;
  QToolButton* btDSPAdd;
  QToolButton* btDSPRemove;
  QToolButton* btDSPUp;
  QToolButton* btDSPDown;

  void btDSPAddClick();
  void btDSPRemoveClick();
  // Both move buttons: AStep is -1 (up) or 1 (down).
  void btDSPUpClick(int AStep);
  void btDSPConfigClick();

private:
  void DSPManagerChange();
  void lDSPItemChecked(int ARow, bool AChecked);
  // A Winamp DSP or VST stage whose family is switched off.
  bool IsPluginKindOff(int ARow) const;
  bool Permitted() const;
  TDSPItemsC* Chain() const;
  TDSPItemC* SelectedItem() const;
  void ConfigureVST(TDSPItemC* AItem);
  void AddDialogFinished(int AResult);

  TDSPChainModel* FModel;
  bool FDisableCheckUpdate = false;
  bool FVSTUseTextUI = false;
  TDSPManager* FDSPManager = nullptr;
  QPointer<TDSPListFrm> FAddDialog;
};

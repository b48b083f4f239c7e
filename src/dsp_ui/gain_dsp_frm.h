// The gain window: one slider for the gain stage's level. Every change goes into the stage's
// Params at once and is applied to the running stage.
#pragma once

#include "settings/dsp_items.h"

#include <QDialog>

class QPushButton;
class QWidget;
class TLBar;

class TGainDSPFrm : public QDialog
{
  Q_OBJECT

public:
  // AD is the stage being edited; it must outlive the window.
  explicit TGainDSPFrm(TDSPItemC* AD, QWidget* AParent = nullptr);
  ~TGainDSPFrm() override;

  // The one open gain window: Open replaces it, CloseOpen deletes it at once.
  static void Open(TDSPItemC* AItem, QWidget* AOwner);
  static void CloseOpen();
  static TGainDSPFrm* OpenWindow();

  // Once the window is set up, Params becomes the one line with the gain.
  void cpGainValueChange(QObject* ASender);

  TLBar* cpGain = nullptr;
  QPushButton* btOK = nullptr;
  bool InitFinished = false;
  TDSPItemC* D;

protected:
  void showEvent(QShowEvent* AEvent) override;

private:
  void FormShow();
};

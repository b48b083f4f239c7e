// The microphone DSP window (TMicDSPFrm): hosts a chain editor over the microphone chain, which
// lives in the player settings (MicDSPList). The main window creates it once, hidden, and shows
// it window-modally from its DSP button; closing it writes player.ini with every edit so far.
#pragma once

#include <QDialog>
#include <memory>

class QPushButton;
class TDSPManager;
class TDSPManagerFr;
class TPlayerIni;
class TSystemIni;

class TMicDSPFrm : public QDialog
{
  Q_OBJECT

public:
  // APlayerIni holds the chain and is saved on close; ASystemIni gives the screen-reader
  // switches. Both default to the program's instances and must outlive the window.
  explicit TMicDSPFrm(QWidget* AParent = nullptr, TPlayerIni* APlayerIni = nullptr,
                      TSystemIni* ASystemIni = nullptr);
  // Detaches the manager from the editor, then frees both. Running stages keep running.
  ~TMicDSPFrm() override;

  // Closes the window (OK, Escape or the title bar) and saves player.ini.
  void done(int AResult) override;

  QWidget* Panel1;
  QPushButton* Button1;
  TDSPManager* DSPManager() const { return FDSPManager.get(); }
  TDSPManagerFr* DSPManagerFr() const { return FDSPManagerFr; }

protected:
  void showEvent(QShowEvent* AEvent) override;

private:
  void FormCreate();
  void FormShow();
  void FormClose();

  TPlayerIni* FPlayerIni;
  TSystemIni* FSystemIni;
  std::unique_ptr<TDSPManager> FDSPManager;
  TDSPManagerFr* FDSPManagerFr = nullptr;
};

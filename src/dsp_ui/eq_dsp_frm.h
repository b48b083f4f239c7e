// The equalizer window: one vertical slider per band with its gain above and its centre frequency
// below, Reset, the preset menu and the band layout window. Every slider movement goes into the
// stage's Params at once and is applied to the running stage.
#pragma once

#include "dsp_ui/kel_track_bar.h"
#include "settings/dsp_items.h"

#include <QDialog>
#include <QPointer>
#include <array>

class QAction;
class QLabel;
class QMenu;
class QPushButton;
class TDSPEqBandsFrm;
class TPresetManager;
class TSystemIniBase;

class TEqDSPFrm : public QDialog
{
  Q_OBJECT

public:
  static constexpr int MaxBands = 12;

  // AD is the stage being edited; it must outlive the window.
  explicit TEqDSPFrm(TDSPItemC* AD, QWidget* AParent = nullptr);
  ~TEqDSPFrm() override;

  // The one open equalizer window: Open closes it (whatever entry it edits) and shows a new one
  // for AItem, centred on AOwner; Close closes it. Both delete the window at once, since the
  // caller may delete the entry right after.
  static void Open(TDSPItemC* AItem, QWidget* AOwner);
  static void CloseOpen();
  static TEqDSPFrm* OpenWindow();

  // Band labels and slider ranges from the band layout; sliders beyond BandsNum are hidden.
  void LayoutBands();
  // Shared by all band sliders: shows the gain and, once the window is set up, rewrites Params.
  void TrackBar0Change(QObject* ASender);
  // Every visible band to 0.
  void SpeedButton2Click();
  // Opens the band layout window; OK there lays the bands out again.
  void SpeedButton1Click();
  // Asks for a name and saves the gains as an .eqp preset.
  void Save1Click();
  // The preset manager's load action.
  void LoadPreset(QObject* ASender, const QString& AFileName);

  // "1K" for 1000 to 1999, "999" below 1000.
  static QString FrequencyText(int AFrequency);

  std::array<TKelTrackBar*, MaxBands> TrackBar{};
  std::array<QLabel*, MaxBands> leq{};
  std::array<QLabel*, MaxBands> l_eq{};
  QPushButton* SpeedButton2 = nullptr; // Reset
  QPushButton* btPreset = nullptr;
  QPushButton* SpeedButton1 = nullptr; // Bands
  QPushButton* Button1 = nullptr;      // OK
  QMenu* pmPreset = nullptr;
  QMenu* Load1 = nullptr;
  QAction* Save1 = nullptr;
  QMenu* Delete1 = nullptr;
  // False until the window has loaded its values; slider changes are not written before.
  bool InitFinished = false;
  TPresetManager* FPresetManager = nullptr;
  TDSPItemC* D;
  // The band layout window while it is open.
  QPointer<TDSPEqBandsFrm> FBandsFrm;

protected:
  void showEvent(QShowEvent* AEvent) override;

private:
  void CreateControls();
  void FormShow();
  // Bands in use that the settings define, at most twelve.
  int BandCount() const;
  void WriteParams();

  // True while LayoutBands changes slider ranges: a clamped position is a display matter, the
  // stored gains stay as they are.
  bool FLayingOut = false;
};

// The band layout shared by every equalizer stage (system settings).
TSystemIniBase* EqSettings();

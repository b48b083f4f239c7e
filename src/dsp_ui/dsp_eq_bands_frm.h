// The band layout window: how many equalizer bands are in use, the sliders' range, the bandwidth
// and the twelve centre frequencies. These are program-wide system settings that every equalizer
// stage shares.
#pragma once

#include <QDialog>
#include <array>

class QLabel;
class QPushButton;
class QSpinBox;
class TSpinFloatEdit;
class TSystemIniBase;

class TDSPEqBandsFrm : public QDialog
{
  Q_OBJECT

public:
  static constexpr int MaxBands = 12;

  // Shows the values of ASettings (not owned); OK stores them there, Cancel changes nothing.
  explicit TDSPEqBandsFrm(TSystemIniBase* ASettings, QWidget* AParent = nullptr);
  ~TDSPEqBandsFrm() override;

  // Band fields below the band count are enabled, the others not.
  void uBandsNumClick();
  // Stores the values in the settings and closes with OK.
  void Button1Click();

  QLabel* Label40 = nullptr;
  QSpinBox* uBandsNum = nullptr;
  QLabel* Label1 = nullptr;
  QSpinBox* uRange = nullptr;
  QLabel* Label54 = nullptr;
  TSpinFloatEdit* uBandwidth = nullptr;
  QLabel* Label55 = nullptr;
  QLabel* Label41 = nullptr;
  std::array<QLabel*, MaxBands> BandLabel{}; // Label42 .. Label53
  std::array<QSpinBox*, MaxBands> uBand{};
  QPushButton* Button1 = nullptr; // OK
  QPushButton* Button2 = nullptr; // Cancel

private:
  void CreateControls();
  void FormShow();

  TSystemIniBase* FSettings;
};

// The shared system settings (system.ini in the data folder). Like player.ini the file belongs
// to a code base shared with the automation program; this program needs only the properties
// below, in this order.
#pragma once

#include "settings/eq_bands.h"
#include "settings/settings_record.h"
#include "settings/sound_devices.h"

// The plug-in and equalizer part.
class TSystemIniBase : public TSettingsRecord
{
public:
  TSystemIniBase();
  ~TSystemIniBase() override;

  void DefineProperties(TPropertyList& AList) override;

  bool AllowWinampPlugins() const { return FAllowWinampPlugins; }
  void SetAllowWinampPlugins(bool AValue) { FAllowWinampPlugins = AValue; }
  bool AllowVstPlugins() const { return FAllowVstPlugins; }
  void SetAllowVstPlugins(bool AValue) { FAllowVstPlugins = AValue; }
  // Folders searched for VST plug-ins.
  QStringList& VSTFolder() { return FVSTFolder; }
  void SetVSTFolder(const QStringList& AValue) { FVSTFolder = AValue; }
  // ";"-separated plug-in file names whose stored parameters are not applied.
  QString VSTSkipSettings() const { return FVSTSkipSettings; }
  void SetVSTSkipSettings(const QString& AValue) { FVSTSkipSettings = AValue; }
  // Number of equalizer bands in use.
  qint32 BandsNum() const { return FBandsNum; }
  void SetBandsNum(qint32 AValue) { FBandsNum = AValue; }
  TEQBands& EQBands() { return FEQBands; }
  // Width of every equalizer band, in octaves.
  float Bandwidth() const { return FBandwidth; }
  void SetBandwidth(float AValue) { FBandwidth = AValue; }
  // The gain sliders span -EQRange to +EQRange decibels.
  qint32 EQRange() const { return FEQRange; }
  void SetEQRange(qint32 AValue) { FEQRange = AValue; }

private:
  bool FAllowWinampPlugins = false;
  bool FAllowVstPlugins = false;
  QStringList FVSTFolder;
  QString FVSTSkipSettings;
  qint32 FBandsNum = 10;
  TEQBands FEQBands;
  float FBandwidth = 2.5f;
  qint32 FEQRange = 10;
};

class TSystemIni : public TSystemIniBase
{
public:
  TSystemIni();
  ~TSystemIni() override;

  QString ClassName() const override { return QStringLiteral("TSystemIni"); }
  void DefineProperties(TPropertyList& AList) override;

  // Name of the language folder under Lang/ of the program folder. While it is "/" (not chosen
  // yet) reading it chooses one: setup.ini's [Setup] Language when that folder exists, else
  // "En"; the choice is kept, so saving writes it.
  QString LangDir();
  void SetLangDir(const QString& AValue) { FLangDir = AValue; }
  // Entry 0 is the microphone.
  TInputDevicesList& Inputs() { return FInputs; }
  bool ScreenReaderMode() const { return FScreenReaderMode; }
  void SetScreenReaderMode(bool AValue) { FScreenReaderMode = AValue; }
  bool ScreenReaderVSTTextUI() const { return FScreenReaderVSTTextUI; }
  void SetScreenReaderVSTTextUI(bool AValue) { FScreenReaderVSTTextUI = AValue; }
  // User agent for the audio library's network streams.
  QString StreamUserAgent() const { return FStreamUserAgent; }
  void SetStreamUserAgent(const QString& AValue) { FStreamUserAgent = AValue; }

  // Data folder + "system.ini".
  static QString FileName();
  // Restores a missing or empty file from system.ini.bak, then loads it; a damaged file is read
  // from its backup instead. Afterwards Inputs is filled up to four entries. Shows nothing.
  void Read();
  // Writes system.ini, then system.ini.bak. A failure is shown.
  void Save();

private:
  QString FLangDir;
  TInputDevicesList FInputs;
  bool FScreenReaderMode = false;
  bool FScreenReaderVSTTextUI = false;
  QString FStreamUserAgent;
};

// The program's one instance; nullptr until start-up creates it.
extern TSystemIni* SystemIni;

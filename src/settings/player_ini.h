// The shared player settings (player.ini in the data folder). The file is shared with the
// automation program and holds many more properties; this program needs only these two, and the
// others in the file are skipped on reading.
#pragma once

#include "settings/dsp_items.h"
#include "settings/settings_record.h"

class TPlayerIni : public TSettingsRecord
{
public:
  TPlayerIni();
  ~TPlayerIni() override;

  QString ClassName() const override { return QStringLiteral("TPlayerIni"); }
  void DefineProperties(TPropertyList& AList) override;

  // Folder for recorded voice tracks; a value starting with a single "\" lies in the data
  // folder (see ExpandDataPath).
  QString VoiceTracksFolder() const { return FVoiceTracksFolder; }
  void SetVoiceTracksFolder(const QString& AValue) { FVoiceTracksFolder = AValue; }
  // The microphone processing chain, in chain order.
  TDSPItemsC& MicDSPList() { return FMicDSPList; }

  // Data folder + "player.ini".
  static QString FileName();
  // Restores a missing or empty file from player.ini.bak, then loads it; a damaged file is read
  // from its backup instead. Shows nothing.
  void Read();
  // Writes player.ini, then player.ini.bak. A failure is shown.
  void Save();

private:
  QString FVoiceTracksFolder;
  TDSPItemsC FMicDSPList;
};

// The program's one instance; nullptr until start-up creates it.
extern TPlayerIni* PlayerIni;

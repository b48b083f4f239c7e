#include "settings/player_ini.h"

#include "base/data_folders.h"
#include "settings/settings_file.h"

TPlayerIni* PlayerIni = nullptr;

TPlayerIni::TPlayerIni() : FVoiceTracksFolder(QStringLiteral("\\VoiceTracks\\")) {}

TPlayerIni::~TPlayerIni() = default;

void TPlayerIni::DefineProperties(TPropertyList& AList)
{
  TSettingsRecord::DefineProperties(AList);
  AList.String("VoiceTracksFolder", &FVoiceTracksFolder);
  AList.Collection("MicDSPList", &FMicDSPList);
}

QString TPlayerIni::FileName()
{
  return DataFolder() + QStringLiteral("player.ini");
}

void TPlayerIni::Read()
{
  ReadBackedUpSettingsFile(*this, FileName());
}

void TPlayerIni::Save()
{
  SaveBackedUpSettingsFile(*this, FileName(), QStringLiteral("player.ini"));
}

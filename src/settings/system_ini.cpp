#include "settings/system_ini.h"

#include "base/data_folders.h"
#include "base/ini_file.h"
#include "base/localisation.h"
#include "settings/settings_file.h"

TSystemIni* SystemIni = nullptr;

namespace {

// Where the system keeps VST plug-ins.
const QString DefaultVSTFolder = QStringLiteral("/usr/lib/vst/");

constexpr int CenterFrequencies[] = {31,   62,   125,  250,   500,   1000,
                                     2000, 4000, 8000, 16000, 18000, 20000};

constexpr int InputCount = 4;

} // namespace

TSystemIniBase::TSystemIniBase() : FVSTFolder{DefaultVSTFolder}
{
  for (int Frequency : CenterFrequencies)
    FEQBands.Add()->SetCenterFreq(Frequency);
}

TSystemIniBase::~TSystemIniBase() = default;

void TSystemIniBase::DefineProperties(TPropertyList& AList)
{
  TSettingsRecord::DefineProperties(AList);
  AList.Boolean("AllowWinampPlugins", &FAllowWinampPlugins);
  AList.Boolean("AllowVstPlugins", &FAllowVstPlugins);
  AList.StringList("VSTFolder", &FVSTFolder);
  AList.String("VSTSkipSettings", &FVSTSkipSettings);
  AList.Integer("BandsNum", &FBandsNum);
  AList.Collection("EQBands", &FEQBands);
  AList.Single("Bandwidth", &FBandwidth);
  AList.Integer("EQRange", &FEQRange);
}

TSystemIni::TSystemIni()
    : FLangDir(QStringLiteral("/")), FStreamUserAgent(QStringLiteral("Airlume"))
{
  TInputDevice* Microphone = FInputs.Add();
  Microphone->SetMethod(DeviceMethodUnconfigured);
  Microphone->SetKeepAlive(true);
  for (int I = 1; I < InputCount; ++I)
    FInputs.Add()->SetStereo(true);
}

TSystemIni::~TSystemIni() = default;

void TSystemIni::DefineProperties(TPropertyList& AList)
{
  TSystemIniBase::DefineProperties(AList);
  AList.String(
      "LangDir", [this] { return LangDir(); },
      [this](const QString& AValue) { SetLangDir(AValue); });
  AList.Collection("Inputs", &FInputs);
  AList.Boolean("ScreenReaderMode", &FScreenReaderMode);
  AList.Boolean("ScreenReaderVSTTextUI", &FScreenReaderVSTTextUI);
  AList.String("StreamUserAgent", &FStreamUserAgent);
}

QString TSystemIni::LangDir()
{
  if (FLangDir != QLatin1String("/"))
    return FLangDir;
  FLangDir = QStringLiteral("En");
  const QString Language =
      TIniFile(ProgramFolder() + QStringLiteral("setup.ini"))
          .ReadString(QStringLiteral("Setup"), QStringLiteral("Language"), QStringLiteral("En"));
  // The folder's own spelling is stored, so the language file is found where names are
  // case-sensitive.
  const QString Folder = FindLanguageFolder(Language);
  if (!Folder.isEmpty())
    FLangDir = Folder;
  return FLangDir;
}

QString TSystemIni::FileName()
{
  return DataFolder() + QStringLiteral("system.ini");
}

void TSystemIni::Read()
{
  ReadBackedUpSettingsFile(*this, FileName());
  while (FInputs.Count() < InputCount)
    FInputs.Add();
}

void TSystemIni::Save()
{
  SaveBackedUpSettingsFile(*this, FileName(), QStringLiteral("system.ini"));
}

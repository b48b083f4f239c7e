// Feeds arbitrary bytes to the settings text reader for each settings record.
//
// Besides not crashing, the reader and the writer must agree: whatever a record holds after a
// load is written as text that loads without error, and from then on writing and loading
// reproduce the same text.
#include "base/data_folders.h"
#include "settings/connection_settings.h"
#include "settings/player_ini.h"
#include "settings/settings_text.h"
#include "settings/system_ini.h"

#include <QDir>
#include <cstdio>
#include <cstdlib>

namespace {

void Check(bool ACondition, const char* AWhat, const QByteArray& AText)
{
  if (ACondition)
    return;
  std::fprintf(stderr, "%s\n--- text ---\n%s\n", AWhat, AText.constData());
  std::abort();
}

template <class TRecord> void FuzzRecord(const QByteArray& AData)
{
  TRecord Record;
  ReadSettingsText(Record, AData);
  const QByteArray First = WriteSettingsText(Record);
  Check(!ReadSettingsText(Record, First).Failed(), "written text does not load", First);
  // A value below the written precision may turn into 0 and drop out once; after that the text
  // must be stable.
  const QByteArray Second = WriteSettingsText(Record);
  Check(!ReadSettingsText(Record, Second).Failed(), "written text does not load", Second);
  const QByteArray Third = WriteSettingsText(Record);
  Check(Second == Third, "text changes between save and load", Second + "\n--- then ---\n" + Third);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
  // No setup.ini there: the language folder resolves to "En" without touching real folders.
  InitProgramFolder(QDir::tempPath() + QStringLiteral("/vexmo-settings-fuzz-empty/"));
  InitDataFolder();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize)
{
  const QByteArray Data(reinterpret_cast<const char*>(AData), static_cast<qsizetype>(ASize));
  FuzzRecord<TSettings>(Data);
  FuzzRecord<TPlayerIni>(Data);
  FuzzRecord<TSystemIni>(Data);
  return 0;
}

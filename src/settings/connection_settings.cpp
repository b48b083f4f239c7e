#include "settings/connection_settings.h"

#include "base/data_folders.h"
#include "base/message_box.h"
#include "settings/settings_file.h"

#include <QFileInfo>
#include <QMutexLocker>

TSettings* Settings = nullptr;

TSettings::TSettings() = default;
TSettings::~TSettings() = default;

void TSettings::DefineProperties(TPropertyList& AList)
{
  TSettingsRecord::DefineProperties(AList);
  AList.String(
      "Server", [this] { return Server(); }, [this](const QString& AValue) { SetServer(AValue); });
  AList.Boolean(
      "TLS", [this] { return TLS(); }, [this](bool AValue) { SetTLS(AValue); });
  AList.Integer(
      "Port", [this] { return Port(); }, [this](qint32 AValue) { SetPort(AValue); });
  AList.String(
      "User", [this] { return User(); }, [this](const QString& AValue) { SetUser(AValue); });
  AList.String(
      "Pass", [this] { return Pass(); }, [this](const QString& AValue) { SetPass(AValue); });
  AList.Collection("PlaylistCols", &FPlaylistCols);
}

QString TSettings::FileName()
{
  return DataFolder() + QStringLiteral("settings.ini");
}

void TSettings::Read()
{
  const QString File = FileName();
  if (!QFileInfo::exists(File))
    return;
  const TSettingsError Error = LoadSettingsFile(*this, File);
  if (Error.Failed())
    MyMessageBox(QStringLiteral("Error loading settings: %1.").arg(Error.Message),
                 QStringLiteral("Error"), MB_ICONERROR);
}

void TSettings::Save()
{
  const TSettingsError Error = SaveSettingsFile(*this, FileName(), TFileAccess::OwnerOnly);
  if (Error.Failed())
    MyMessageBox(QStringLiteral("Error saving settings: %1.").arg(Error.Message),
                 QStringLiteral("Error"), MB_ICONERROR);
}

// Each accessor takes the lock itself so that a single read is never torn; callers that need a
// consistent group of values hold Lock() around the group (the lock is re-entrant).
QString TSettings::Server() const
{
  QMutexLocker Guard(&FLock);
  return FServer;
}

void TSettings::SetServer(const QString& AValue)
{
  QMutexLocker Guard(&FLock);
  FServer = AValue;
}

bool TSettings::TLS() const
{
  QMutexLocker Guard(&FLock);
  return FTLS;
}

void TSettings::SetTLS(bool AValue)
{
  QMutexLocker Guard(&FLock);
  FTLS = AValue;
}

int TSettings::Port() const
{
  QMutexLocker Guard(&FLock);
  return FPort;
}

void TSettings::SetPort(int AValue)
{
  QMutexLocker Guard(&FLock);
  FPort = AValue;
}

QString TSettings::User() const
{
  QMutexLocker Guard(&FLock);
  return FUser;
}

void TSettings::SetUser(const QString& AValue)
{
  QMutexLocker Guard(&FLock);
  FUser = AValue;
}

QString TSettings::Pass() const
{
  QMutexLocker Guard(&FLock);
  return FPass;
}

void TSettings::SetPass(const QString& AValue)
{
  QMutexLocker Guard(&FLock);
  FPass = AValue;
}

void TSettings::Lock()
{
  FLock.lock();
}

void TSettings::Unlock()
{
  FLock.unlock();
}

#include "settings/connection_settings.h"

#include <QMutexLocker>

TSettings* Settings = nullptr;

TSettings::TSettings() = default;
TSettings::~TSettings() = default;

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

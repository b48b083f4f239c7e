#pragma once

#include <QMutex>
#include <QString>

// The connection settings: where the automation program's remote-control interface is and the
// credentials sent with every request. One instance lives for the whole run; request workers
// read it from their own threads, so the five connection values are guarded by a re-entrant lock
// of the instance (take it with Lock() around a group of reads or writes).
class TSettings
{
public:
  TSettings();
  ~TSettings();
  TSettings(const TSettings&) = delete;
  TSettings& operator=(const TSettings&) = delete;

  QString Server() const;
  void SetServer(const QString& AValue);
  bool TLS() const;
  void SetTLS(bool AValue);
  int Port() const;
  void SetPort(int AValue);
  QString User() const;
  void SetUser(const QString& AValue);
  QString Pass() const;
  void SetPass(const QString& AValue);

  // Acquire with no time-out; re-entrant for the thread that holds it.
  void Lock();
  void Unlock();

private:
  mutable QRecursiveMutex FLock;
  QString FServer;
  bool FTLS = false;
  int FPort = 0;
  QString FUser;
  QString FPass;
};

// The program's one instance; nullptr until start-up creates it.
extern TSettings* Settings;

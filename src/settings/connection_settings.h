#pragma once

#include "settings/my_columns.h"
#include "settings/settings_record.h"

#include <QMutex>
#include <QString>

// The connection settings: where the automation program's remote-control interface is, the
// credentials sent with every request, and the playlist column layout; kept in settings.ini in
// the data folder. One instance lives for the whole run; request workers read it from their own
// threads, so the five connection values are guarded by a re-entrant lock of the instance (take
// it with Lock() around a group of reads or writes).
class TSettings : public TSettingsRecord
{
public:
  TSettings();
  ~TSettings() override;

  QString ClassName() const override { return QStringLiteral("TSettings"); }
  void DefineProperties(TPropertyList& AList) override;

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

  // The playlist column layout; user-interface thread only, no lock.
  TMyColumns& PlaylistCols() { return FPlaylistCols; }

  // Acquire with no time-out; re-entrant for the thread that holds it.
  void Lock();
  void Unlock();

  // Data folder + "settings.ini".
  static QString FileName();
  // Loads settings.ini when it exists. A failure is shown ("Error loading settings: ...") and
  // the values keep what they had; a file that does not parse changes nothing.
  void Read();
  // Writes settings.ini, readable by its owner alone (it holds the password). A failure is
  // shown ("Error saving settings: ..."); the previous file then stays as it was.
  void Save();

private:
  mutable QRecursiveMutex FLock;
  QString FServer;
  bool FTLS = false;
  int FPort = 0;
  QString FUser;
  QString FPass;
  TMyColumns FPlaylistCols;
};

// The program's one instance; nullptr until start-up creates it.
extern TSettings* Settings;

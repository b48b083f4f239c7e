// Remembers where a window stood (position, size, maximised or not) in an INI file, so that it
// opens there again on the next start.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class QWidget;

class TKelPosSave : public QObject
{
  Q_OBJECT

public:
  // AOwner is the window whose placement is kept.
  explicit TKelPosSave(QWidget* AOwner);

  // Full name of the INI file; empty (the start) means nothing is written.
  QString IniFileName() const { return FIniFile; }
  void SetIniFileName(const QString& AValue) { FIniFile = AValue; }
  // The section that holds the window's keys X, Y, W, H and S; the empty name is a section too.
  QString Key() const { return FKey; }
  void SetKey(const QString& AValue) { FKey = AValue; }
  // False until RestorePos has run: a window that was never placed never overwrites the stored
  // placement.
  bool CanWrite() const { return FCanWrite; }

  // Reads the placement; missing values keep the window's own. X and Y are the frame's top-left
  // corner, W and H the size inside the frame.
  void RestorePos();
  // Writes the placement. For a maximised window S is 1, X and Y are where it stands and W and H
  // its size before it was maximised, so that it returns to that size when restored. A file
  // that cannot be written is ignored.
  void SavePos();

private:
  QPointer<QWidget> F;
  QString FIniFile;
  QString FKey;
  bool FCanWrite = false;
};

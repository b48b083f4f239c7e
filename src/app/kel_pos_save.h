// Remembers where a window stood (position, size, maximised or not) in an INI file, so that it
// opens there again on the next start.
#pragma once

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QTimer>

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

  // Reads the placement; missing values keep the window's own. X, Y, W and H are the rectangle
  // of the window's client area (inside its frame), so that it opens exactly where it was
  // closed whatever frame a window manager puts around it. A rectangle larger than the screen,
  // or partly off it, is fitted into the screen's available area, and once the window manager
  // has framed the window, the frame is fitted too. A rectangle on no screen keeps its position
  // (the caller centres the window).
  void RestorePos();
  // Writes the placement. For a maximised window S is 1 and X, Y, W and H are the rectangle it
  // returns to when restored. A file that cannot be written is ignored.
  void SavePos();

protected:
  bool eventFilter(QObject* AObject, QEvent* AEvent) override;

private:
  void FitFrame();

  QPointer<QWidget> F;
  QString FIniFile;
  QString FKey;
  bool FCanWrite = false;
  bool FWatchingFrame = false;
  QRect FRestored; // the client area's rectangle as restored; invalid when the system placed it
  QTimer FFrameTimer;
  int FFrameChecks = 0;
};

// Closes the main window when the session ends the program (SIGTERM at logout, SIGINT from a
// terminal, SIGHUP when the terminal goes), the same way the user closes it, so that settings
// and placement are saved. The signal handler only writes to a pipe; the window is closed from
// the event loop.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <initializer_list>

class QSocketNotifier;

class TSignalCloser : public QObject
{
  Q_OBJECT

public:
  // One instance at a time.
  explicit TSignalCloser(QWidget* AWindow, std::initializer_list<int> ASignals = {});
  // Puts the signals' default actions back.
  ~TSignalCloser() override;

private:
  void OnSignal();

  QPointer<QWidget> FWindow;
  QList<int> FSignals;
  QSocketNotifier* FNotifier = nullptr;
  int FReadFd = -1;
};

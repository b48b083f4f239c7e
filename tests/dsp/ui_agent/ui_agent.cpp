// Preloaded into the real program (LD_PRELOAD) on the offscreen platform, where no input can be
// sent from outside: does what a user does with mouse and keyboard, through the widgets' public
// interface, and writes what it saw to the file named by VEXMO_AGENT_REPORT.
//   1. clicks the main window's DSP button;
//   2. in the microphone DSP window, clears and ticks the first stage's box;
//   3. reports whether the plug-in file named by VEXMO_AGENT_PLUGIN is now loaded;
//   4. closes the main window.
#include <QAbstractItemView>
#include <QApplication>
#include <QFile>
#include <QTimer>
#include <QToolButton>

namespace {

int GStep = 0;

void Report(const QByteArray& ALine)
{
  QFile File(QString::fromLocal8Bit(qgetenv("VEXMO_AGENT_REPORT")));
  if (File.open(QIODevice::Append))
    File.write(ALine + '\n');
}

QWidget* Find(const QString& AName)
{
  for (QWidget* Widget : QApplication::allWidgets())
    if (Widget->objectName() == AName && Widget->isVisible())
      return Widget;
  return nullptr;
}

bool Loaded(const QByteArray& AFile)
{
  QFile Maps(QStringLiteral("/proc/self/maps"));
  return !AFile.isEmpty() && Maps.open(QIODevice::ReadOnly) && Maps.readAll().contains(AFile);
}

void Step()
{
  switch (GStep) {
  case 0:
    if (auto* Button = qobject_cast<QToolButton*>(Find(QStringLiteral("btDSP")))) {
      Button->click();
      GStep = 1;
    }
    break;
  case 1:
    if (auto* List = qobject_cast<QAbstractItemView*>(Find(QStringLiteral("lDSP")));
        List && List->model()->rowCount() > 0) {
      // The rows may be rebuilt by each change: the index is asked for afresh.
      List->model()->setData(List->model()->index(0, 0), Qt::Unchecked, Qt::CheckStateRole);
      List->model()->setData(List->model()->index(0, 0), Qt::Checked, Qt::CheckStateRole);
      Report(Loaded(qgetenv("VEXMO_AGENT_PLUGIN")) ? "running" : "not running");
      GStep = 2;
    }
    break;
  case 2:
    if (QWidget* Main = Find(QStringLiteral("MainFrm"))) {
      Report("closing");
      Main->close();
      GStep = 3;
    }
    break;
  default:
    break;
  }
}

void Start()
{
  auto* Timer = new QTimer(qApp);
  QObject::connect(Timer, &QTimer::timeout, &Step);
  Timer->start(100);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(Start)

// vexmo-station: runs the local station server until SIGINT or SIGTERM.
#include "station_server.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <csignal>
#include <cstdio>
#include <pthread.h>

namespace {

const char* const CUsage =
    "Usage: vexmo-station [--address ADDR] [--port N] [--user NAME] [--password PASS]\n"
    "                     [--entries N] [--roll SECONDS] [--storage DIR]\n"
    "                     [--cert FILE --key FILE]\n"
    "\n"
    "A local station that serves the automation program's remote-control interface:\n"
    "a playlist that plays on by its own clock, delete, move and voice-track uploads.\n"
    "\n"
    "  --address ADDR    address to listen on (default 127.0.0.1)\n"
    "  --port N          port, 0 picks a free one (default 9000)\n"
    "  --user NAME       user name the client must send (default demo)\n"
    "  --password PASS   password the client must send (default demo)\n"
    "  --entries N       entries in the playlist (default 40)\n"
    "  --roll SECONDS    rolling log: every SECONDS the entry on air ends early, played\n"
    "                    entries leave the top and new ones are appended (default: off,\n"
    "                    entries play to their end)\n"
    "  --storage DIR     folder for uploaded voice tracks\n"
    "                    (default: vexmo-station in the temporary folder)\n"
    "  --cert FILE       PEM certificate: serve HTTPS (needs --key)\n"
    "  --key FILE        PEM private key of the certificate\n"
    "  --help            show this text\n"
    "  --version         show the version\n"
    "\n"
    "Stop it with Ctrl+C or SIGTERM.\n";

int UsageError(const QString& AText)
{
  std::fprintf(stderr, "vexmo-station: %s\nTry 'vexmo-station --help'.\n",
               AText.toLocal8Bit().constData());
  return 2;
}

bool ParseNumber(const QString& AText, int AMin, int AMax, int& AValue)
{
  bool Ok = false;
  const int Value = AText.toInt(&Ok, 10);
  if (!Ok || Value < AMin || Value > AMax)
    return false;
  AValue = Value;
  return true;
}

} // namespace

int main(int argc, char** argv)
{
  QStringList Args;
  for (int I = 1; I < argc; ++I)
    Args << QString::fromLocal8Bit(argv[I]);

  TStationOptions Options;
  Options.Port = 9000;
  Options.StorageFolder = QDir::tempPath() + QStringLiteral("/vexmo-station");

  for (int I = 0; I < Args.size(); ++I) {
    QString Name = Args[I];
    QString Value;
    bool HasValue = false;
    const qsizetype Eq = Name.indexOf(QLatin1Char('='));
    if (Name.startsWith(QLatin1String("--")) && Eq > 0) {
      Value = Name.mid(Eq + 1);
      Name = Name.left(Eq);
      HasValue = true;
    }
    if (Name == QLatin1String("--help") || Name == QLatin1String("-h")) {
      std::fputs(CUsage, stdout);
      return 0;
    }
    if (Name == QLatin1String("--version")) {
      std::printf("vexmo-station %s\n", VEXMO_VERSION);
      return 0;
    }
    static const QStringList CWithValue = {
        QStringLiteral("--address"),  QStringLiteral("--port"),    QStringLiteral("--user"),
        QStringLiteral("--password"), QStringLiteral("--entries"), QStringLiteral("--storage"),
        QStringLiteral("--roll"),     QStringLiteral("--cert"),    QStringLiteral("--key")};
    if (!CWithValue.contains(Name))
      return UsageError(QStringLiteral("unknown option '%1'").arg(Args[I]));
    if (!HasValue) {
      if (I + 1 >= Args.size())
        return UsageError(QStringLiteral("option '%1' needs a value").arg(Name));
      Value = Args[++I];
    }

    if (Name == QLatin1String("--address")) {
      if (Value.isEmpty())
        return UsageError(QStringLiteral("--address needs an address"));
      Options.Address = Value;
    } else if (Name == QLatin1String("--port")) {
      int Port = 0;
      if (!ParseNumber(Value, 0, 65535, Port))
        return UsageError(
            QStringLiteral("--port must be a number from 0 to 65535, not '%1'").arg(Value));
      Options.Port = quint16(Port);
    } else if (Name == QLatin1String("--user")) {
      Options.User = Value;
    } else if (Name == QLatin1String("--password")) {
      Options.Password = Value;
    } else if (Name == QLatin1String("--entries")) {
      if (!ParseNumber(Value, 0, 10000, Options.Entries))
        return UsageError(
            QStringLiteral("--entries must be a number from 0 to 10000, not '%1'").arg(Value));
    } else if (Name == QLatin1String("--roll")) {
      int Seconds = 0;
      if (!ParseNumber(Value, 1, 86400, Seconds))
        return UsageError(
            QStringLiteral("--roll must be a number of seconds from 1 to 86400, not '%1'")
                .arg(Value));
      Options.RollMs = qint64(Seconds) * 1000;
    } else if (Name == QLatin1String("--storage")) {
      if (Value.isEmpty())
        return UsageError(QStringLiteral("--storage needs a folder"));
      Options.StorageFolder = Value;
    } else if (Name == QLatin1String("--cert")) {
      Options.CertFile = Value;
    } else if (Name == QLatin1String("--key")) {
      Options.KeyFile = Value;
    }
  }
  if (Options.CertFile.isEmpty() != Options.KeyFile.isEmpty())
    return UsageError(QStringLiteral("--cert and --key go together"));
  for (const QString& File : {Options.CertFile, Options.KeyFile})
    if (!File.isEmpty() && !QFileInfo(File).isReadable())
      return UsageError(QStringLiteral("cannot read '%1'").arg(File));

  // Block the stop signals before any server thread exists, so that every thread inherits the
  // mask and only sigwait() below receives them.
  sigset_t Stops;
  sigemptyset(&Stops);
  sigaddset(&Stops, SIGINT);
  sigaddset(&Stops, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &Stops, nullptr);

  TStationServer Server(Options);
  if (!Server.Start()) {
    std::fprintf(stderr, "vexmo-station: %s\n", Server.ErrorText().toLocal8Bit().constData());
    return 1;
  }
  int Signal = 0;
  sigwait(&Stops, &Signal);
  std::fprintf(stderr, "vexmo-station: stopping (%s)\n", Signal == SIGINT ? "SIGINT" : "SIGTERM");
  Server.Stop();
  return 0;
}

#include "recorder/command_line.h"

#include <cmath>

TCommandLine ParseCommandLine(const QStringList& AArgs)
{
  TCommandLine Cmd;
  QStringList Rest;
  for (int I = 1; I < AArgs.size(); ++I) {
    const QString& A = AArgs.at(I);
    if (A == QLatin1String("--help") || A == QLatin1String("-h"))
      Cmd.Help = true;
    else if (A == QLatin1String("-vexmo") || A == QLatin1String("--vexmo"))
      Cmd.Vexmo = true;
    else if (A == QLatin1String("--trim"))
      Cmd.Trim = true;
    else if (A == QLatin1String("--normalize") || A == QLatin1String("--normalise"))
      Cmd.Normalize = true;
    else if (A == QLatin1String("--record")) {
      Cmd.Record = true;
      if (I + 1 >= AArgs.size()) {
        Cmd.Error = QStringLiteral("--record needs the number of seconds to record.");
        return Cmd;
      }
      bool Ok = false;
      // Always with ".", whatever the locale.
      Cmd.Seconds = AArgs.at(++I).toDouble(&Ok);
      if (!Ok || !std::isfinite(Cmd.Seconds) || Cmd.Seconds <= 0 || Cmd.Seconds > 24 * 3600) {
        Cmd.Error = QStringLiteral("\"%1\" is not a number of seconds.").arg(AArgs.at(I));
        return Cmd;
      }
    } else if (A.startsWith(QLatin1Char('-')) && A.size() > 1)
      Cmd.Error = QStringLiteral("Unknown option %1.").arg(A);
    else
      Rest << A;
  }
  if (!Cmd.Error.isEmpty())
    return Cmd;
  if (Cmd.Record) {
    if (Rest.size() != 1)
      Cmd.Error = QStringLiteral("--record needs exactly one output file.");
    else
      Cmd.Output = Rest.first();
  } else if (!Rest.isEmpty())
    Cmd.Error = QStringLiteral("Unexpected argument %1.").arg(Rest.first());
  else if (Cmd.Trim || Cmd.Normalize)
    Cmd.Error = QStringLiteral("--trim and --normalize go with --record.");
  return Cmd;
}

QString UsageText()
{
  return QStringLiteral(
      "Usage: quillon [-vexmo]\n"
      "       quillon --record SECONDS [--trim] [--normalize] OUTPUT.flac\n"
      "\n"
      "Without options quillon opens its window to record voice tracks into the voice-track\n"
      "folder. With -vexmo (as Vexmo's Record button starts it) \"Use take\" also hands the take\n"
      "to the running Vexmo, which inserts it after its selected playlist entry.\n"
      "\n"
      "--record SECONDS   record SECONDS seconds from the configured microphone through the\n"
      "                   switched-on stages of the microphone chain, write OUTPUT.flac and\n"
      "                   print one line: duration, sample peak (dBFS), integrated loudness "
      "(LUFS)\n"
      "--trim             cut the silence at the head and tail (threshold and padding from the\n"
      "                   recorder's settings, recorder.ini in the data folder)\n"
      "--normalize        bring the integrated loudness to the target in the recorder's settings\n"
      "                   (default -16 LUFS), never past the true-peak ceiling (default -1 dBTP)\n"
      "--help             show this text\n"
      "\n"
      "Exit status: 0 done; 1 wrong command line; 2 no sound server or no microphone;\n"
      "3 the output or the take could not be written (no file is left at OUTPUT).\n");
}

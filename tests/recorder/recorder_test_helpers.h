// Signals, files and outside tools for the recorder's tests.
#pragma once

#include "recorder/take_file.h"

#include <QProcess>
#include <QString>
#include <QStringList>
#include <cmath>
#include <numbers>

// Runs a program and returns its standard output; AExit gets the exit code (-1: did not run).
inline QString RunTool(const QString& AProgram, const QStringList& AArgs, int* AExit = nullptr,
                       QString* AErr = nullptr)
{
  QProcess P;
  P.start(AProgram, AArgs);
  if (!P.waitForFinished(60000) || P.exitStatus() != QProcess::NormalExit) {
    if (AExit)
      *AExit = -1;
    return {};
  }
  if (AExit)
    *AExit = P.exitCode();
  if (AErr)
    *AErr = QString::fromLocal8Bit(P.readAllStandardError());
  return QString::fromLocal8Bit(P.readAllStandardOutput()).trimmed();
}

// AChans channels of silence, then a sine of AFreq hertz at APeakDb dBFS, then silence again.
inline TTakeAudio SilenceToneSilence(int ARate, int AChans, double ASilence, double ATone,
                                     double APeakDb, double AFreq = 1000.0)
{
  TTakeAudio A;
  A.Rate = ARate;
  A.Chans = AChans;
  const int64_t Lead = int64_t(ASilence * ARate), Tone = int64_t(ATone * ARate);
  A.Samples.assign(size_t((2 * Lead + Tone) * AChans), 0.0f);
  const double Amp = std::pow(10.0, APeakDb / 20.0);
  for (int64_t F = 0; F < Tone; ++F)
    for (int C = 0; C < AChans; ++C)
      A.Samples[size_t((Lead + F) * AChans + C)] =
          float(Amp * std::sin(2 * std::numbers::pi * AFreq * double(F) / ARate));
  return A;
}

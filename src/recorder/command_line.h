// quillon's command line.
#pragma once

#include <QString>
#include <QStringList>

struct TCommandLine
{
  bool Help = false;
  bool Vexmo = false; // started by Vexmo: "Use take" hands the file over
  bool Record = false;
  double Seconds = 0;
  bool Trim = false;
  bool Normalize = false;
  QString Output;
  QString Error; // not empty: the command line is wrong
};

TCommandLine ParseCommandLine(const QStringList& AArgs);
QString UsageText();

#include "api/start_time.h"

#include <QStringList>
#include <QTime>

QString LongTimeFormatWithoutZone(const QLocale& ALocale)
{
  const QString Format = ALocale.timeFormat(QLocale::LongFormat);
  // Drop every unquoted run of "t" with the blanks that separate it from the rest; quoted
  // literals ('...', '' for a quote) stay as they are, and so do the locale's own separators.
  QString Result;
  bool Quoted = false;
  bool AfterZone = false;
  for (qsizetype I = 0; I < Format.size(); ++I) {
    const QChar C = Format[I];
    if (C == u'\'') {
      Quoted = !Quoted;
    } else if (!Quoted && C == u't') {
      while (!Result.isEmpty() && Result.back().isSpace())
        Result.chop(1);
      AfterZone = true;
      continue;
    }
    if (AfterZone && Result.isEmpty() && C.isSpace())
      continue;
    AfterZone = false;
    Result += C;
  }
  // A zone that stood in brackets leaves them empty.
  Result.replace(QStringLiteral("()"), QString());
  Result.replace(QStringLiteral("[]"), QString());
  return Result.trimmed();
}

TStartTimeFormat::TStartTimeFormat(const QLocale& ALocale)
    : FLocale(ALocale), FTimeFormat(LongTimeFormatWithoutZone(ALocale))
{}

QString TStartTimeFormat::Format(const QString& AText) const
{
  const QStringList Pieces = AText.split(u':');
  if (Pieces.size() != 3)
    return AText;
  int Values[3];
  for (int I = 0; I < 3; ++I) {
    bool Ok = false;
    Values[I] = Pieces[I].trimmed().toInt(&Ok, 10);
    if (!Ok)
      Values[I] = 0;
  }
  const QTime Time(Values[0], Values[1], Values[2]);
  if (!Time.isValid())
    return AText;
  return FLocale.toString(Time, FTimeFormat);
}

QString FormatStartTime(const QString& AText)
{
  return TStartTimeFormat().Format(AText);
}

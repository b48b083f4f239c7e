// Start times of playlist entries as the user reads them.
#pragma once

#include <QLocale>
#include <QString>

// "h:m:s" from the station written in a locale's long time format (its order, separators,
// leading zeros and AM/PM), without the time-zone field: the station's clock is the only one
// that matters. Pieces that are no number count as 0. Any other number of pieces, and pieces
// that make no valid time of day (24:00:00, 9:60:00, -1:0:0), give the text unchanged: one odd
// entry must not cost the whole playlist.
class TStartTimeFormat
{
public:
  explicit TStartTimeFormat(const QLocale& ALocale = QLocale::system());
  QString Format(const QString& AText) const;
  // The format in use: the locale's long time format less its zone field.
  QString TimeFormat() const { return FTimeFormat; }

private:
  QLocale FLocale;
  QString FTimeFormat;
};

// With the user's locale.
QString FormatStartTime(const QString& AText);

// The locale's long time format with its time-zone field (and the blanks or empty brackets
// around it) removed.
QString LongTimeFormatWithoutZone(const QLocale& ALocale);

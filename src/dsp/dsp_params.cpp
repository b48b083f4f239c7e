#include "dsp/dsp_params.h"

#include <cmath>

QString FormatParamFloat(float AValue)
{
  const double Value = AValue;
  if (std::isnan(Value))
    return QStringLiteral("NAN");
  if (std::isinf(Value))
    return Value > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
  // Fixed and exponent forms switch where the stored files have always switched (as "%.15g"
  // does); only the exponent is written the other way: "E", no "+", no leading zeros.
  QString Text = QString::number(Value, 'g', 15);
  const qsizetype E = Text.indexOf(QLatin1Char('e'));
  if (E < 0)
    return Text;
  QString Exponent = Text.mid(E + 1);
  const bool Negative = Exponent.startsWith(QLatin1Char('-'));
  if (Negative || Exponent.startsWith(QLatin1Char('+')))
    Exponent.remove(0, 1);
  while (Exponent.size() > 1 && Exponent.startsWith(QLatin1Char('0')))
    Exponent.remove(0, 1);
  return Text.left(E) + (Negative ? QStringLiteral("E-") : QStringLiteral("E")) + Exponent;
}

double ParseParamFloat(const QString& AText)
{
  bool Ok = false;
  const double Value = AText.trimmed().toDouble(&Ok);
  // A level of NaN or infinity would turn every sample into NaN; such a line counts as not a
  // number.
  return Ok && std::isfinite(Value) ? Value : 0.0;
}

int ParseParamInt(const QString& AText)
{
  bool Ok = false;
  const int Value = AText.trimmed().toInt(&Ok, 10);
  return Ok ? Value : 0;
}

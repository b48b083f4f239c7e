// The number forms of a stage's Params lines, which player.ini shares with the automation
// program: "." as the decimal separator whatever the user's locale.
#pragma once

#include <QString>

// A single-precision value in the shortest general form with at most 15 significant digits,
// taken from the value as double (so 4 gives "4" and 2.3f gives "2.29999995231628"). Exponent
// forms look like "1E-5" and "1.5E20".
QString FormatParamFloat(float AValue);
// A number with "." as the decimal separator, exponent forms accepted, surrounding blanks
// ignored; anything else (including infinities and NaN) reads as 0.
double ParseParamFloat(const QString& AText);
// A decimal integer, surrounding blanks ignored; anything else reads as 0.
int ParseParamInt(const QString& AText);

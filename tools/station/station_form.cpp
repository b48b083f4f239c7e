#include "station_form.h"

namespace {

int HexValue(char AChar)
{
  if (AChar >= '0' && AChar <= '9')
    return AChar - '0';
  if (AChar >= 'A' && AChar <= 'F')
    return AChar - 'A' + 10;
  if (AChar >= 'a' && AChar <= 'f')
    return AChar - 'a' + 10;
  return -1;
}

} // namespace

QByteArray PercentDecode(QByteArrayView AText)
{
  QByteArray Result;
  Result.reserve(AText.size());
  for (qsizetype I = 0; I < AText.size(); ++I) {
    const char C = AText[I];
    if (C == '+') {
      Result.append(' ');
    } else if (C == '%' && I + 2 < AText.size() && HexValue(AText[I + 1]) >= 0 &&
               HexValue(AText[I + 2]) >= 0) {
      Result.append(char(HexValue(AText[I + 1]) * 16 + HexValue(AText[I + 2])));
      I += 2;
    } else {
      Result.append(C);
    }
  }
  return Result;
}

TFormFields ParseUrlEncoded(QByteArrayView AText)
{
  TFormFields Fields;
  qsizetype Start = 0;
  while (Start <= AText.size()) {
    qsizetype End = AText.indexOf('&', Start);
    if (End < 0)
      End = AText.size();
    const QByteArrayView Piece = AText.sliced(Start, End - Start);
    if (!Piece.isEmpty()) {
      const qsizetype Eq = Piece.indexOf('=');
      const QByteArrayView Name = Eq < 0 ? Piece : Piece.first(Eq);
      const QByteArrayView Value = Eq < 0 ? QByteArrayView() : Piece.sliced(Eq + 1);
      Fields.append(
          {QString::fromUtf8(PercentDecode(Name)), QString::fromUtf8(PercentDecode(Value))});
    }
    Start = End + 1;
  }
  return Fields;
}

QString FormValue(const TFormFields& AFields, const QString& AName)
{
  for (const auto& Field : AFields)
    if (Field.first == AName)
      return Field.second.isNull() ? QStringLiteral("") : Field.second;
  return QString();
}

bool DecodeBase64Lines(const QByteArray& AText, QByteArray& AData)
{
  QByteArray Packed;
  Packed.reserve(AText.size());
  for (const char C : AText)
    if (C != '\r' && C != '\n')
      Packed.append(C);
  auto Result = QByteArray::fromBase64Encoding(Packed, QByteArray::Base64Encoding |
                                                           QByteArray::AbortOnBase64DecodingErrors);
  if (!Result)
    return false;
  AData = std::move(*Result);
  return true;
}

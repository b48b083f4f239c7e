#include "api/station_address.h"

#include "settings/connection_settings.h"

namespace {

bool StaysAsIs(char32_t AChar)
{
  if ((AChar >= 'A' && AChar <= 'Z') || (AChar >= 'a' && AChar <= 'z') ||
      (AChar >= '0' && AChar <= '9'))
    return true;
  switch (AChar) {
  case '!':
  case '$':
  case '\'':
  case '(':
  case ')':
  case '*':
  case '-':
  case '.':
  case '@':
  case '_':
    return true;
  default:
    return false;
  }
}

void AppendEscaped(QByteArray& AOut, unsigned char AByte)
{
  static const char Hex[] = "0123456789ABCDEF";
  const char Escaped[3] = {'%', Hex[AByte >> 4], Hex[AByte & 0x0F]};
  AOut.append(Escaped, 3);
}

} // namespace

void URLEncodeAppend(QByteArray& AOut, QStringView AText)
{
  const qsizetype Count = AText.size();
  for (qsizetype I = 0; I < Count; ++I) {
    char32_t Code = AText[I].unicode();
    if (QChar::isHighSurrogate(Code) && I + 1 < Count && AText[I + 1].isLowSurrogate()) {
      Code = QChar::surrogateToUcs4(char16_t(Code), AText[I + 1].unicode());
      ++I;
    } else if (QChar::isSurrogate(Code)) {
      // Half a pair has no UTF-8 form; send the replacement character rather than bad bytes.
      Code = 0xFFFD;
    }
    if (StaysAsIs(Code)) {
      AOut.append(char(Code));
    } else if (Code == ' ') {
      AOut.append('+');
    } else if (Code < 0x80) {
      AppendEscaped(AOut, static_cast<unsigned char>(Code));
    } else if (Code < 0x800) {
      AppendEscaped(AOut, 0xC0 | (Code >> 6));
      AppendEscaped(AOut, 0x80 | (Code & 0x3F));
    } else if (Code < 0x10000) {
      AppendEscaped(AOut, 0xE0 | (Code >> 12));
      AppendEscaped(AOut, 0x80 | ((Code >> 6) & 0x3F));
      AppendEscaped(AOut, 0x80 | (Code & 0x3F));
    } else {
      AppendEscaped(AOut, 0xF0 | (Code >> 18));
      AppendEscaped(AOut, 0x80 | ((Code >> 12) & 0x3F));
      AppendEscaped(AOut, 0x80 | ((Code >> 6) & 0x3F));
      AppendEscaped(AOut, 0x80 | (Code & 0x3F));
    }
  }
}

QByteArray URLEncode(QStringView AText)
{
  QByteArray Result;
  Result.reserve(AText.size());
  URLEncodeAppend(Result, AText);
  return Result;
}

QString GetBaseURL(bool AWithAuth)
{
  Settings->Lock();
  QString Result = QStringLiteral("%1://%2:%3")
                       .arg(Settings->TLS() ? QStringLiteral("https") : QStringLiteral("http"),
                            Settings->Server(), QString::number(Settings->Port()));
  if (AWithAuth)
    Result += QStringLiteral("/?user=") + QString::fromLatin1(URLEncode(Settings->User())) +
              QStringLiteral("&pass=") + QString::fromLatin1(URLEncode(Settings->Pass()));
  Settings->Unlock();
  return Result;
}

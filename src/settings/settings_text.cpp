#include "settings/settings_text.h"

#include "settings/settings_record.h"

#include <QStringDecoder>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <limits>
#include <vector>

namespace {

// ---------------------------------------------------------------------------------------------
// Writing

constexpr int LineLength = 64;
const char* const LineBreak = "\r\n";

bool IsAscii(const QString& AText)
{
  for (QChar C : AText)
    if (C.unicode() > 127)
      return false;
  return true;
}

class TTextWriter
{
public:
  explicit TTextWriter(bool AUtf8Identifiers) : FUtf8Identifiers(AUtf8Identifiers) {}

  QByteArray Out;

  void WriteObject(TPersistent& AObject, const QString& AName)
  {
    Indent();
    Out += "object ";
    if (!AName.isEmpty()) {
      Identifier(AName);
      Out += ": ";
    }
    Identifier(AObject.ClassName());
    Out += LineBreak;
    ++FLevel;
    WriteProperties(AObject);
    --FLevel;
    Indent();
    Out += "end";
    Out += LineBreak;
  }

private:
  void Indent() { Out.append(FLevel * 2, ' '); }

  void NewLine()
  {
    Out += LineBreak;
    Indent();
  }

  void Identifier(const QString& AText)
  {
    Out += FUtf8Identifiers ? AText.toUtf8() : AText.toLatin1();
  }

  void BeginProperty(const QString& AName)
  {
    Indent();
    Identifier(AName);
    Out += " = ";
  }

  void EndProperty() { Out += LineBreak; }

  void WriteProperties(TPersistent& AObject)
  {
    const TPropertyList List = AObject.Properties();
    for (const TPropertyInfo& Info : List.Items()) {
      if (!Info.Stored || !Info.HasSetter())
        continue;
      switch (Info.Kind) {
      case TPropertyKind::Integer:
      case TPropertyKind::Unsigned: {
        const qint64 Value = Info.GetOrdinal();
        if (Info.Default && *Info.Default == Value)
          break;
        BeginProperty(Info.Name);
        // Unsigned values travel as the signed number with the same 32 bits.
        Out += QByteArray::number(static_cast<qint32>(static_cast<quint32>(Value)));
        EndProperty();
        break;
      }
      case TPropertyKind::Boolean:
      case TPropertyKind::Enumeration: {
        const qint64 Value = Info.GetOrdinal();
        if (Info.Default && *Info.Default == Value)
          break;
        // A value outside the type has no identifier to write; leaving it out keeps the
        // file readable.
        if (Value < 0 || Value >= Info.Enum->Identifiers.size())
          break;
        BeginProperty(Info.Name);
        Identifier(Info.Enum->Identifiers[static_cast<int>(Value)]);
        EndProperty();
        break;
      }
      case TPropertyKind::String: {
        const QString Value = Info.GetString();
        if (Value.isEmpty())
          break;
        BeginProperty(Info.Name);
        WriteString(Value);
        EndProperty();
        break;
      }
      case TPropertyKind::Double:
      case TPropertyKind::Single: {
        const double Value = Info.GetFloat();
        // Infinity and NaN have no form that reads back; like 0 they are left out, so the
        // constructor value comes back instead of a file that no longer loads.
        if (Value == 0 || !std::isfinite(Value))
          break;
        BeginProperty(Info.Name);
        Out += FormatSettingsFloat(Value);
        EndProperty();
        break;
      }
      case TPropertyKind::Collection:
        BeginProperty(Info.Name);
        WriteCollection(*Info.Collection);
        EndProperty();
        break;
      case TPropertyKind::StringList: {
        const QStringList Strings = Info.GetStrings();
        if (Strings.isEmpty())
          break;
        BeginProperty(Info.Name + QStringLiteral(".Strings"));
        Out += '(';
        ++FLevel;
        for (const QString& S : Strings) {
          NewLine();
          WriteString(S);
        }
        --FLevel;
        Out += ')';
        EndProperty();
        break;
      }
      }
    }
  }

  void WriteCollection(TCollection& ACollection)
  {
    Out += '<';
    ++FLevel;
    for (int I = 0; I < ACollection.Count(); ++I) {
      NewLine();
      Out += "item";
      Out += LineBreak;
      ++FLevel;
      WriteProperties(*ACollection.Item(I));
      --FLevel;
      Indent();
      Out += "end";
    }
    --FLevel;
    Out += '>';
  }

  static bool Printable(ushort AChar) { return AChar >= 32 && AChar != '\'' && AChar <= 127; }

  // Quoted runs of printable ASCII and #codes for everything else, 64 characters to a line.
  void WriteString(const QString& AValue)
  {
    const qsizetype L = AValue.size();
    if (L == 0) {
      Out += "''";
      return;
    }
    ++FLevel;
    if (L > LineLength)
      NewLine();
    qsizetype I = 0;
    qsizetype K = 0; // where the current line's piece began
    while (I < L) {
      bool Break = false;
      if (Printable(AValue[I].unicode())) {
        const qsizetype J = I;
        do
          ++I;
        while (I < L && Printable(AValue[I].unicode()) && I - K < LineLength);
        if (I - K >= LineLength)
          Break = true;
        Out += '\'';
        for (qsizetype N = J; N < I; ++N)
          Out += static_cast<char>(AValue[N].unicode());
        Out += '\'';
      } else {
        Out += '#';
        Out += QByteArray::number(AValue[I].unicode());
        ++I;
        if (I - K >= LineLength)
          Break = true;
      }
      if (Break && I < L) {
        Out += " +";
        NewLine();
        K = I;
      }
    }
    --FLevel;
  }

  bool FUtf8Identifiers;
  int FLevel = 0;
};

// Every identifier that the text of this object would carry.
void CollectIdentifiers(TPersistent& AObject, QStringList& AList)
{
  AList << AObject.ClassName();
  const TPropertyList List = AObject.Properties();
  for (const TPropertyInfo& Info : List.Items()) {
    AList << Info.Name;
    if (Info.Enum)
      AList << Info.Enum->Identifiers;
    if (Info.Kind == TPropertyKind::Collection)
      for (int I = 0; I < Info.Collection->Count(); ++I)
        CollectIdentifiers(*Info.Collection->Item(I), AList);
  }
}

// ---------------------------------------------------------------------------------------------
// Reading: the text becomes this structure first, then it is applied.

struct TTextProperty;

struct TTextValue
{
  enum TKind
  {
    vkIdent,
    vkInteger,
    vkFloat,
    vkString,
    vkList,
    vkCollection,
    vkSet,
    vkBinary,
  };
  TKind Kind = vkIdent;
  QString Text; // Ident, String
  qint64 Int = 0;
  double Float = 0;
  std::vector<TTextValue> Items;                      // List
  std::vector<std::vector<TTextProperty>> Collection; // one property list per item
  QStringList Set;
  QByteArray Binary;
};

struct TTextProperty
{
  QString Name; // may be a dotted path ("VSTFolder.Strings")
  TTextValue Value;
};

struct TTextObject
{
  QString ObjectName;
  QString ClassName;
  std::vector<TTextProperty> Properties;
};

// Lines longer than this are refused: readers of the form work through a buffer of this size.
constexpr qsizetype ParseBufSize = 4096;
// Lists and collections nest no deeper than this; real files use two levels.
constexpr int MaxNesting = 32;
// The last character of Unicode; a "#" code beyond it names nothing.
constexpr char32_t MaxCodePoint = 0x10FFFF;

struct TParseFailure
{
  QString Message;
};

bool IsIdentStart(uchar C)
{
  return (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z') || C == '_' || C >= 0x80;
}

bool IsIdentChar(uchar C)
{
  return IsIdentStart(C) || (C >= '0' && C <= '9');
}

bool IsDigit(uchar C)
{
  return C >= '0' && C <= '9';
}

int HexValue(uchar C)
{
  if (C >= '0' && C <= '9')
    return C - '0';
  if (C >= 'A' && C <= 'F')
    return C - 'A' + 10;
  if (C >= 'a' && C <= 'f')
    return C - 'a' + 10;
  return -1;
}

class TTextParser
{
public:
  TTextParser(const char* ABegin, const char* AEnd) : FP(ABegin), FEnd(AEnd) {}

  TTextObject ParseObject()
  {
    TTextObject Object;
    Next();
    if (!SymbolIs("object") && !SymbolIs("inherited") && !SymbolIs("inline"))
      Fail(QStringLiteral("object expected"));
    Next();
    CheckSymbol();
    Object.ClassName = FTokenString;
    Next();
    if (CharIs(':')) {
      Next();
      CheckSymbol();
      Object.ObjectName = Object.ClassName;
      Object.ClassName = FTokenString;
      Next();
    }
    SkipOrderModifier();
    while (!SymbolIs("end"))
      Object.Properties.push_back(ParseProperty(1));
    // Whatever follows the object's "end" is not part of it.
    return Object;
  }

private:
  enum TToken
  {
    tkEOF,
    tkSymbol,
    tkString,
    tkInteger,
    tkFloat,
    tkChar,
  };

  [[noreturn]] void Fail(const QString& AWhat)
  {
    throw TParseFailure{QStringLiteral("%1 on line %2").arg(AWhat).arg(FTokenLine)};
  }

  bool SymbolIs(const char* ASymbol) const
  {
    return FToken == tkSymbol &&
           FTokenString.compare(QLatin1String(ASymbol), Qt::CaseInsensitive) == 0;
  }

  bool CharIs(char AChar) const { return FToken == tkChar && FTokenChar == AChar; }

  void CheckSymbol()
  {
    if (FToken != tkSymbol)
      Fail(QStringLiteral("Identifier expected"));
  }

  void CheckChar(char AChar)
  {
    if (!CharIs(AChar))
      Fail(QStringLiteral("'%1' expected").arg(QLatin1Char(AChar)));
  }

  void SkipBlanks()
  {
    while (FP < FEnd && static_cast<uchar>(*FP) <= ' ') {
      if (*FP == '\0') {
        FTokenLine = FLine;
        Fail(QStringLiteral("Invalid character"));
      }
      if (*FP == '\n')
        ++FLine;
      ++FP;
    }
  }

  void Next()
  {
    SkipBlanks();
    FTokenLine = FLine;
    if (FP == FEnd) {
      FToken = tkEOF;
      return;
    }
    const uchar C = static_cast<uchar>(*FP);
    if (IsIdentStart(C)) {
      const char* Start = FP;
      while (FP < FEnd && IsIdentChar(static_cast<uchar>(*FP)))
        ++FP;
      FToken = tkSymbol;
      FTokenString = QString::fromUtf8(Start, FP - Start);
    } else if (C == '#' || C == '\'') {
      ScanString();
    } else if (C == '$') {
      ScanHex();
    } else if (C == '-' || IsDigit(C)) {
      ScanNumber();
    } else {
      FToken = tkChar;
      FTokenChar = static_cast<char>(C);
      ++FP;
    }
  }

  void ScanString()
  {
    QString S;
    while (FP < FEnd) {
      if (*FP == '#') {
        ++FP;
        // A code names one UTF-16 unit (this writer's form, surrogates one by one) or, above
        // 0xFFFF, a whole character, as other writers of the form put it.
        char32_t Code = 0;
        int Digits = 0;
        if (FP < FEnd && *FP == '$') {
          ++FP;
          for (int H; FP < FEnd && (H = HexValue(static_cast<uchar>(*FP))) >= 0; ++FP, ++Digits)
            if ((Code = Code * 16 + static_cast<char32_t>(H)) > MaxCodePoint)
              Fail(QStringLiteral("Invalid string constant"));
        } else {
          for (; FP < FEnd && IsDigit(static_cast<uchar>(*FP)); ++FP, ++Digits)
            if ((Code = Code * 10 + static_cast<char32_t>(*FP - '0')) > MaxCodePoint)
              Fail(QStringLiteral("Invalid string constant"));
        }
        if (Digits == 0)
          Fail(QStringLiteral("Invalid string constant"));
        if (Code > 0xFFFF) {
          const char32_t Character[] = {Code};
          S += QString::fromUcs4(Character, 1);
        } else {
          S += QChar(static_cast<char16_t>(Code));
        }
      } else if (*FP == '\'') {
        ++FP;
        QByteArray Run;
        for (;;) {
          if (FP == FEnd || *FP == '\r' || *FP == '\n' || *FP == '\0')
            Fail(QStringLiteral("Invalid string constant"));
          if (*FP == '\'') {
            ++FP;
            if (FP == FEnd || *FP != '\'')
              break;
          }
          Run += *FP;
          ++FP;
        }
        // Text without a byte-order mark is the locale's 8-bit text, which is UTF-8 here.
        S += QString::fromUtf8(Run);
      } else {
        break;
      }
    }
    FToken = tkString;
    FTokenString = S;
  }

  void ScanHex()
  {
    const char* Start = FP;
    ++FP;
    quint64 Value = 0;
    int Digits = 0;
    for (int H; FP < FEnd && (H = HexValue(static_cast<uchar>(*FP))) >= 0; ++FP, ++Digits)
      Value = Value * 16 + static_cast<quint64>(H);
    if (Digits == 0 || Digits > 16)
      Fail(QStringLiteral("'%1' is not a valid integer value")
               .arg(QString::fromLatin1(Start, FP - Start)));
    FToken = tkInteger;
    FTokenInt = static_cast<qint64>(Value);
  }

  void ScanNumber()
  {
    const char* Start = FP;
    ++FP;
    while (FP < FEnd && IsDigit(static_cast<uchar>(*FP)))
      ++FP;
    bool IsFloat = false;
    while (FP < FEnd && (IsDigit(static_cast<uchar>(*FP)) || *FP == '.' || *FP == 'e' ||
                         *FP == 'E' || *FP == '+' || *FP == '-')) {
      ++FP;
      IsFloat = true;
    }
    const QByteArray Text(Start, FP - Start);
    char Suffix = 0;
    if (FP < FEnd &&
        (*FP == 's' || *FP == 'S' || *FP == 'c' || *FP == 'C' || *FP == 'd' || *FP == 'D')) {
      Suffix = *FP;
      ++FP;
      IsFloat = true;
    }
    if (!IsFloat) {
      bool Ok = false;
      FTokenInt = Text.toLongLong(&Ok, 10);
      if (!Ok)
        Fail(QStringLiteral("'%1' is not a valid integer value").arg(QString::fromLatin1(Text)));
      FToken = tkInteger;
      return;
    }
    bool Ok = false;
    double Value = Text.toDouble(&Ok);
    if (!Ok || !std::isfinite(Value))
      Fail(QStringLiteral("'%1' is not a valid floating point value")
               .arg(QString::fromLatin1(Text)));
    // Currency values are written in ten-thousandths.
    if (Suffix == 'c' || Suffix == 'C')
      Value /= 10000;
    FToken = tkFloat;
    FTokenFloat = Value;
  }

  void SkipOrderModifier()
  {
    if (!CharIs('['))
      return;
    Next();
    if (FToken != tkInteger)
      Fail(QStringLiteral("Number expected"));
    Next();
    CheckChar(']');
    Next();
  }

  TTextProperty ParseProperty(int ADepth)
  {
    TTextProperty Property;
    CheckSymbol();
    Property.Name = FTokenString;
    Next();
    while (CharIs('.')) {
      Next();
      CheckSymbol();
      Property.Name += QLatin1Char('.') + FTokenString;
      Next();
    }
    CheckChar('=');
    Next();
    Property.Value = ParseValue(ADepth);
    return Property;
  }

  TTextValue ParseValue(int ADepth)
  {
    if (ADepth > MaxNesting)
      Fail(QStringLiteral("Nesting too deep"));
    TTextValue Value;
    switch (FToken) {
    case tkSymbol:
      Value.Kind = TTextValue::vkIdent;
      Value.Text = FTokenString;
      // A dotted name ("Form1.Button1") refers to another object; it is one value.
      while (FP < FEnd && *FP == '.') {
        ++FP;
        if (FP == FEnd || !IsIdentStart(static_cast<uchar>(*FP)))
          Fail(QStringLiteral("Identifier expected"));
        const char* Start = FP;
        while (FP < FEnd && IsIdentChar(static_cast<uchar>(*FP)))
          ++FP;
        Value.Text += QLatin1Char('.') + QString::fromUtf8(Start, FP - Start);
      }
      Next();
      return Value;
    case tkInteger:
      Value.Kind = TTextValue::vkInteger;
      Value.Int = FTokenInt;
      Next();
      return Value;
    case tkFloat:
      Value.Kind = TTextValue::vkFloat;
      Value.Float = FTokenFloat;
      Next();
      return Value;
    case tkString:
      Value.Kind = TTextValue::vkString;
      Value.Text = FTokenString;
      Next();
      while (CharIs('+')) {
        Next();
        if (FToken != tkString)
          Fail(QStringLiteral("String expected"));
        Value.Text += FTokenString;
        Next();
      }
      return Value;
    case tkChar:
      break;
    case tkEOF:
      Fail(QStringLiteral("Invalid property value"));
    }
    switch (FTokenChar) {
    case '(':
      Value.Kind = TTextValue::vkList;
      Next();
      while (!CharIs(')'))
        Value.Items.push_back(ParseValue(ADepth + 1));
      Next();
      return Value;
    case '[':
      Value.Kind = TTextValue::vkSet;
      Next();
      if (!CharIs(']')) {
        for (;;) {
          CheckSymbol();
          Value.Set << FTokenString;
          Next();
          if (CharIs(']'))
            break;
          CheckChar(',');
          Next();
        }
      }
      Next();
      return Value;
    case '<':
      Value.Kind = TTextValue::vkCollection;
      Next();
      while (!CharIs('>')) {
        if (!SymbolIs("item"))
          Fail(QStringLiteral("item expected"));
        Next();
        SkipOrderModifier();
        std::vector<TTextProperty>& Item = Value.Collection.emplace_back();
        while (!SymbolIs("end"))
          Item.push_back(ParseProperty(ADepth + 1));
        Next();
      }
      Next();
      return Value;
    case '{':
      Value.Kind = TTextValue::vkBinary;
      ScanBinary(Value.Binary);
      Next();
      return Value;
    default:
      Fail(QStringLiteral("Invalid property value"));
    }
  }

  // Pairs of hexadecimal digits up to "}", blanks between pairs allowed.
  void ScanBinary(QByteArray& AData)
  {
    for (;;) {
      SkipBlanks();
      if (FP == FEnd)
        Fail(QStringLiteral("Invalid binary value"));
      if (*FP == '}') {
        ++FP;
        return;
      }
      int Count = 0;
      while (FEnd - FP >= 2) {
        const int High = HexValue(static_cast<uchar>(FP[0]));
        const int Low = HexValue(static_cast<uchar>(FP[1]));
        if (High < 0 || Low < 0)
          break;
        AData += static_cast<char>(High * 16 + Low);
        FP += 2;
        ++Count;
      }
      if (Count == 0)
        Fail(QStringLiteral("Invalid binary value"));
    }
  }

  const char* FP;
  const char* FEnd;
  int FLine = 1;
  TToken FToken = tkEOF;
  int FTokenLine = 1;
  char FTokenChar = 0;
  QString FTokenString;
  qint64 FTokenInt = 0;
  double FTokenFloat = 0;
};

// ---------------------------------------------------------------------------------------------
// Applying the structure

void ApplyProperties(TPersistent& AObject, const std::vector<TTextProperty>& AProperties);

bool ApplyOrdinal(const TPropertyInfo& AInfo, const TTextValue& AValue)
{
  switch (AInfo.Kind) {
  case TPropertyKind::Integer:
    if (AValue.Kind != TTextValue::vkInteger || AValue.Int < std::numeric_limits<qint32>::min() ||
        AValue.Int > std::numeric_limits<qint32>::max())
      return false;
    AInfo.SetOrdinal(AValue.Int);
    return true;
  case TPropertyKind::Unsigned:
    // Written as the signed number with the same bits; the plain unsigned number is fine too.
    if (AValue.Kind != TTextValue::vkInteger || AValue.Int < std::numeric_limits<qint32>::min() ||
        AValue.Int > std::numeric_limits<quint32>::max())
      return false;
    AInfo.SetOrdinal(static_cast<qint64>(static_cast<quint32>(AValue.Int)));
    return true;
  default: {
    if (AValue.Kind != TTextValue::vkIdent)
      return false;
    const int Ordinal = AInfo.Enum->ValueOf(AValue.Text);
    if (Ordinal < 0)
      return false;
    AInfo.SetOrdinal(Ordinal);
    return true;
  }
  }
}

void ApplyValue(const TPropertyInfo& AInfo, const TTextValue& AValue)
{
  switch (AInfo.Kind) {
  case TPropertyKind::Integer:
  case TPropertyKind::Unsigned:
  case TPropertyKind::Boolean:
  case TPropertyKind::Enumeration:
    ApplyOrdinal(AInfo, AValue);
    return;
  case TPropertyKind::String:
    if (AValue.Kind == TTextValue::vkString)
      AInfo.SetString(AValue.Text);
    return;
  case TPropertyKind::Double:
  case TPropertyKind::Single: {
    double Number;
    if (AValue.Kind == TTextValue::vkFloat)
      Number = AValue.Float;
    else if (AValue.Kind == TTextValue::vkInteger)
      Number = static_cast<double>(AValue.Int);
    else
      return;
    if (AInfo.Kind == TPropertyKind::Single && std::fabs(Number) > FLT_MAX)
      return;
    AInfo.SetFloat(Number);
    return;
  }
  case TPropertyKind::Collection:
    // "<>" keeps the items the collection has; a listed collection replaces them.
    if (AValue.Kind != TTextValue::vkCollection || AValue.Collection.empty())
      return;
    AInfo.Collection->Clear();
    for (const std::vector<TTextProperty>& Item : AValue.Collection)
      ApplyProperties(*AInfo.Collection->AddItem(), Item);
    return;
  case TPropertyKind::StringList:
    return; // only through "Name.Strings"
  }
}

void ApplyStrings(const TPropertyInfo& AInfo, const TTextValue& AValue)
{
  if (AValue.Kind != TTextValue::vkList)
    return;
  QStringList Strings;
  for (const TTextValue& Item : AValue.Items) {
    // One value of another kind spoils the list; it is skipped whole.
    if (Item.Kind != TTextValue::vkString)
      return;
    Strings << Item.Text;
  }
  AInfo.SetStrings(Strings);
}

void ApplyProperties(TPersistent& AObject, const std::vector<TTextProperty>& AProperties)
{
  const TPropertyList List = AObject.Properties();
  for (const TTextProperty& Property : AProperties) {
    const qsizetype Dot = Property.Name.indexOf(QLatin1Char('.'));
    const TPropertyInfo* Info = List.Find(Dot < 0 ? Property.Name : Property.Name.left(Dot));
    if (!Info || !Info->HasSetter())
      continue;
    if (Dot < 0) {
      ApplyValue(*Info, Property.Value);
    } else if (Info->Kind == TPropertyKind::StringList &&
               Property.Name.mid(Dot + 1).compare(QLatin1String("Strings"), Qt::CaseInsensitive) ==
                   0) {
      ApplyStrings(*Info, Property.Value);
    }
  }
}

} // namespace

QByteArray FormatSettingsFloat(double AValue)
{
  if (!std::isfinite(AValue))
    return AValue != AValue ? QByteArray("NAN") : AValue > 0 ? QByteArray("INF") : "-INF";
  // std::to_chars, not printf: the C library's printf follows the user's locale and would put a
  // decimal comma into the file, which no reader of the form accepts.
  char Buffer[400];
  const std::to_chars_result Scientific =
      std::to_chars(Buffer, Buffer + sizeof Buffer, AValue, std::chars_format::scientific, 15);
  // Buffer: [-]d.ddddddddddddddde[+-]xx
  const char* P = Buffer;
  const bool Negative = *P == '-';
  if (Negative)
    ++P;
  QByteArray Digits;
  for (; P < Scientific.ptr && *P != 'e'; ++P)
    if (*P != '.')
      Digits += *P;
  int Exponent = 0;
  if (P < Scientific.ptr) {
    ++P;
    if (P < Scientific.ptr && *P == '+')
      ++P;
    std::from_chars(P, Scientific.ptr, Exponent);
  }

  if (Exponent >= 16) {
    // Too many integer digits for the fixed form.
    while (Digits.size() > 1 && Digits.endsWith('0'))
      Digits.chop(1);
    QByteArray Result = Negative ? "-" : "";
    Result += Digits.left(1);
    if (Digits.size() > 1)
      Result += '.' + Digits.mid(1);
    Result += 'E' + QByteArray::number(Exponent);
    return Result;
  }
  if (Exponent + 1 + 18 < 16) {
    // Fewer than 16 significant digits reach the 18th decimal: round there instead.
    const std::to_chars_result Fixed =
        std::to_chars(Buffer, Buffer + sizeof Buffer, AValue, std::chars_format::fixed, 18);
    QByteArray Result(Buffer, Fixed.ptr - Buffer);
    if (Result.startsWith('-') && Result.count('0') == Result.size() - 2)
      Result.remove(0, 1); // no "-0.000…"
    return Result;
  }
  QByteArray Result = Negative ? "-" : "";
  if (Exponent >= 0) {
    Result += Digits.left(Exponent + 1);
    Result += '.';
    Result += Digits.mid(Exponent + 1);
  } else {
    Result += "0.";
    Result += QByteArray(-Exponent - 1, '0');
    Result += Digits;
  }
  const qsizetype Decimals = Result.size() - Result.indexOf('.') - 1;
  Result += QByteArray(18 - Decimals, '0');
  return Result;
}

QByteArray WriteSettingsText(TPersistent& ARecord)
{
  QString Name;
  if (auto* Record = dynamic_cast<TSettingsRecord*>(&ARecord))
    Name = Record->Name();
  QStringList Identifiers;
  CollectIdentifiers(ARecord, Identifiers);
  if (!Name.isEmpty())
    Identifiers << Name;
  bool Ascii = true;
  for (const QString& Identifier : Identifiers)
    Ascii = Ascii && IsAscii(Identifier);
  TTextWriter Writer(!Ascii);
  if (!Ascii)
    Writer.Out += "\xEF\xBB\xBF";
  Writer.WriteObject(ARecord, Name);
  return Writer.Out;
}

namespace {

TSettingsError ParseSettingsText(const QByteArray& AText, TTextObject& AObject)
{
  const char* Begin = AText.constData();
  const char* End = Begin + AText.size();
  if (AText.startsWith("\xEF\xBB\xBF"))
    Begin += 3;
  else if (AText.startsWith("\xFF\xFE") || AText.startsWith("\xFE\xFF"))
    return TSettingsError::Make(TSettingsError::Parse,
                                QStringLiteral("ANSI or UTF8 encoding expected"));

  qsizetype LineStart = 0;
  for (qsizetype I = 0; I < End - Begin; ++I) {
    if (Begin[I] == '\n')
      LineStart = I + 1;
    else if (I - LineStart + 1 >= ParseBufSize)
      return TSettingsError::Make(TSettingsError::Parse, QStringLiteral("Line too long"));
  }

  try {
    AObject = TTextParser(Begin, End).ParseObject();
  } catch (const TParseFailure& Failure) {
    return TSettingsError::Make(TSettingsError::Parse, Failure.Message);
  }
  return {};
}

} // namespace

TSettingsError ReadSettingsText(TPersistent& ARecord, const QByteArray& AText)
{
  TTextObject Object;
  const TSettingsError Error = ParseSettingsText(AText, Object);
  if (Error.Failed())
    return Error;
  ApplyProperties(ARecord, Object.Properties);
  return {};
}

bool IsSettingsText(const QByteArray& AText)
{
  TTextObject Object;
  return !ParseSettingsText(AText, Object).Failed();
}

// Arbitrary bytes through the XML scanner until its end. The first byte chooses how:
//   bit 0  decode the rest as UTF-16 code units instead of UTF-8
//   bit 1  Normalize off
//   bit 2  scan the text in place (SetBuffer) instead of a loaded copy
//   bit 3  external entities and the external subset come from the input: the text after the
//          first 0xFF byte is handed out for every system id
//   bit 4  rewind and scan a second time
// Every part's fields and the characters at CurStart and CurFinal are read, so that a pointer
// into freed or foreign memory shows up under AddressSanitizer.
#include "base/xml_scanner.h"

#include <QByteArray>
#include <cstddef>
#include <cstdint>

namespace {

volatile unsigned GSink = 0;

void Touch(const QString& AText)
{
  if (!AText.isEmpty())
    GSink = GSink + AText.front().unicode() + AText.back().unicode() + unsigned(AText.size());
}

class TFuzzParser : public TXmlParser
{
public:
  bool Supply = false;
  QString External;

  std::unique_ptr<TXmlParser> LoadExternalEntity(const QString& ASystemId, const QString& APublicId,
                                                 const QString& ANotation) override
  {
    Touch(ASystemId);
    Touch(APublicId);
    Touch(ANotation);
    if (!Supply)
      return TXmlParser::LoadExternalEntity(ASystemId, APublicId, ANotation);
    auto Entity = std::make_unique<TXmlParser>();
    Entity->LoadFromBuffer(External);
    return Entity;
  }

  void DtdElementFound(const TDtdElementRec& ARec) override
  {
    if (ARec.Start)
      GSink = GSink + *ARec.Start;
    if (ARec.Final)
      GSink = GSink + *ARec.Final;
    if (ARec.ElemDef) {
      Touch(ARec.ElemDef->Name);
      Touch(ARec.ElemDef->Definition);
      for (int I = 0; I < ARec.ElemDef->Count(); ++I)
        Touch(ARec.ElemDef->AttrDef(I)->Value);
    }
    if (ARec.EntityDef)
      Touch(ARec.EntityDef->Value);
    if (ARec.NotationDef)
      Touch(ARec.NotationDef->Value);
    Touch(ARec.Target);
    Touch(ARec.Content);
    if (ARec.AttrList)
      for (int I = 0; I < ARec.AttrList->Count(); ++I)
        Touch(ARec.AttrList->Value(I));
  }
};

void ScanAll(TFuzzParser& AParser)
{
  while (AParser.Scan()) {
    GSink = GSink + *AParser.CurStart + *AParser.CurFinal + unsigned(AParser.CurPartType);
    Touch(AParser.CurName);
    Touch(AParser.CurContent);
    for (int I = 0; I < AParser.CurAttr.Count(); ++I) {
      Touch(AParser.CurAttr.Name(I));
      Touch(AParser.CurAttr.Value(I));
    }
    Touch(AParser.CurAttr.Value(u"CASTTITLE"));
    Touch(AParser.CurEncoding());
  }
  GSink = GSink + *AParser.CurStart;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize)
{
  if (ASize < 1)
    return 0;
  const uint8_t Mode = AData[0];
  QByteArray Bytes(reinterpret_cast<const char*>(AData + 1), qsizetype(ASize - 1));
  QByteArray ExternalBytes;
  if (Mode & 8) {
    const qsizetype Sep = Bytes.indexOf('\xff');
    if (Sep >= 0) {
      ExternalBytes = Bytes.mid(Sep + 1);
      Bytes.truncate(Sep);
    }
  }
  auto Decode = [Mode](const QByteArray& ABytes) {
    if (Mode & 1) {
      QString Text(ABytes.size() / 2, Qt::Uninitialized);
      memcpy(static_cast<void*>(Text.data()), ABytes.constData(), size_t(Text.size()) * 2);
      return Text;
    }
    return QString::fromUtf8(ABytes);
  };
  const QString Doc = Decode(Bytes);
  TFuzzParser Parser;
  Parser.Supply = Mode & 8;
  Parser.External = Decode(ExternalBytes);
  if (Mode & 4)
    Parser.SetBuffer(reinterpret_cast<const char16_t*>(Doc.utf16()));
  else
    Parser.LoadFromBuffer(Doc);
  if (Mode & 2)
    Parser.SetNormalize(false);
  ScanAll(Parser);
  if (Mode & 16) {
    Parser.StartScan();
    ScanAll(Parser);
  }
  return 0;
}

// The XML scanner: station replies as the API client reads them, the part sequence and what each
// part leaves in the current fields, references, malformed and truncated input, and the document
// type declaration with entities and attribute defaults.
#include "base/xml_scanner.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

QString S(const char* AUtf8)
{
  return QString::fromUtf8(AUtf8);
}

std::string Str(const QString& AText)
{
  return AText.toStdString();
}

std::string AttrTrace(const TAttrList& AList)
{
  std::string R;
  for (int I = 0; I < AList.Count(); ++I)
    R += " " + Str(AList.Name(I)) + "='" + Str(AList.Value(I)) + "'";
  return R;
}

// One line per document: every part in order, in a compact form.
std::string PartTrace(TXmlParser& AParser)
{
  std::string R;
  int Guard = 0;
  while (AParser.Scan()) {
    if (++Guard > 100000)
      return R + " ...endless";
    if (!R.empty())
      R += ' ';
    switch (AParser.CurPartType) {
    case ptXmlProlog:
      R += "?xml(" + AttrTrace(AParser.CurAttr).substr(AParser.CurAttr.Count() ? 1 : 0) + ")";
      break;
    case ptPI:
      R += "?" + Str(AParser.CurName) + "[" + Str(AParser.CurContent) + "]";
      break;
    case ptComment:
      R += "!--";
      break;
    case ptDtdc:
      R += "!DOCTYPE";
      break;
    case ptStartTag:
      R += "<" + Str(AParser.CurName) + AttrTrace(AParser.CurAttr) + ">";
      break;
    case ptEmptyTag:
      R += "<" + Str(AParser.CurName) + AttrTrace(AParser.CurAttr) + "/>";
      break;
    case ptEndTag:
      R += "</" + Str(AParser.CurName) + AttrTrace(AParser.CurAttr) + ">";
      break;
    case ptContent:
      R += "\"" + Str(AParser.CurContent) + "\"";
      break;
    case ptCData:
      R += "[" + Str(AParser.CurContent) + "]";
      break;
    case ptNone:
      R += "none?";
      break;
    }
  }
  return R;
}

std::string TraceOf(const QString& ADoc)
{
  TXmlParser P;
  P.LoadFromBuffer(ADoc);
  return PartTrace(P);
}

std::string TraceOf(const char* AUtf8)
{
  return TraceOf(S(AUtf8));
}

struct TTrackItem
{
  QString Title, Duration, StartTime;
  bool operator==(const TTrackItem&) const = default;
};

// What the station API client does with a playlist reply.
std::vector<TTrackItem> ReadPlaylist(const QString& AReply)
{
  std::vector<TTrackItem> Items;
  TXmlParser P;
  P.LoadFromBuffer(AReply);
  while (P.Scan())
    if ((P.CurPartType == ptStartTag || P.CurPartType == ptEmptyTag) &&
        P.CurName.compare(u"TRACK", Qt::CaseInsensitive) == 0)
      Items.push_back({P.CurAttr.Value(u"CASTTITLE"), P.CurAttr.Value(u"DURATION"),
                       P.CurAttr.Value(u"STARTTIME")});
  return Items;
}

const char* const KPlaylistReply = R"(<?xml version="1.0" encoding="UTF-8"?>
<PLAYLIST>
  <TRACK CASTTITLE="Queen - Don&apos;t Stop Me Now" DURATION="3:29" STARTTIME="9:05:00" ARTIST="Queen" FILENAME="C:\Music\q.mp3"/>
  <track CASTTITLE='Simon &amp; Garfunkel - "Mrs. Robinson"' DURATION='4:04' STARTTIME='9:08:29'></track>
  <TRACK casttitle="lower" DURATION="1:00" STARTTIME="9:12:33"/>
  <!-- <TRACK CASTTITLE="commented"/> -->
  <TRACK CASTTITLE="Caf&#233; del Mar &#x2013; Two
lines" DURATION="5:00"	STARTTIME="9:13:33" />
  <TRACKS CASTTITLE="not a track"/>
</PLAYLIST>
)";

std::vector<TTrackItem> ExpectedPlaylist()
{
  return {{S("Queen - Don't Stop Me Now"), S("3:29"), S("9:05:00")},
          {S("Simon & Garfunkel - \"Mrs. Robinson\""), S("4:04"), S("9:08:29")},
          {S(""), S("1:00"), S("9:12:33")},
          {S("Café del Mar – Two lines"), S("5:00"), S("9:13:33")}};
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Station replies

TEST(XmlScannerReplies, PlaylistReplyGivesEachTrackWithExactAttributeNames)
{
  const std::vector<TTrackItem> Items = ReadPlaylist(S(KPlaylistReply));
  EXPECT_EQ(Items, ExpectedPlaylist());
}

TEST(XmlScannerReplies, TagNamesKeepTheirLetterCaseAndAttributeLookupIsExact)
{
  TXmlParser P;
  P.LoadFromBuffer(S(R"(<playback playlistpos="7" PlaylistPos="9"/><Playback PLAYLISTPOS="3"/>)"));
  ASSERT_TRUE(P.Scan());
  EXPECT_EQ(P.CurPartType, ptEmptyTag);
  EXPECT_EQ(P.CurName, u"playback");
  EXPECT_EQ(P.CurAttr.Value(u"playlistpos"), u"7");
  EXPECT_EQ(P.CurAttr.Value(u"PlaylistPos"), u"9");
  EXPECT_EQ(P.CurAttr.Value(QStringLiteral("PLAYLISTPOS")), u"");
  ASSERT_TRUE(P.Scan());
  EXPECT_EQ(P.CurName, u"Playback");
  EXPECT_TRUE(P.CurAttr.Value(u"playlistpos").isEmpty());
  EXPECT_EQ(P.CurAttr.Node(u"playlistpos"), nullptr);
  EXPECT_FALSE(P.Scan());
}

TEST(XmlScannerReplies, EveryTruncationOfAPlaylistReplyKeepsTheCompleteEntries)
{
  // A reply cut off anywhere: the scan ends, and every entry but the last one read is whole.
  const QString Full = S(KPlaylistReply);
  const std::vector<TTrackItem> Expected = ExpectedPlaylist();
  for (qsizetype Len = 0; Len <= Full.size(); ++Len) {
    const std::vector<TTrackItem> Items = ReadPlaylist(Full.left(Len));
    ASSERT_LE(Items.size(), Expected.size() + 1) << "length " << Len;
    for (size_t I = 0; I + 1 < Items.size(); ++I)
      ASSERT_EQ(Items[I], Expected[I]) << "length " << Len << ", entry " << I;
  }
}

TEST(XmlScannerReplies, RepliesThatAreNoXmlGiveNoTags)
{
  for (const char* Reply : {"", "OK", "Error: wrong password", "<html", "\xEF\xBB\xBF"}) {
    TXmlParser P;
    P.LoadFromBuffer(S(Reply));
    while (P.Scan())
      EXPECT_NE(P.CurPartType, ptEmptyTag) << Reply;
  }
  TXmlParser Unloaded;
  EXPECT_FALSE(Unloaded.Scan());
  EXPECT_EQ(Unloaded.CurPartType, ptNone);
}

// ---------------------------------------------------------------------------------------------
// Part sequence

TEST(XmlScannerParts, SequenceOfParts)
{
  struct TCase
  {
    const char* Doc;
    const char* Trace;
  };
  const TCase Cases[] = {
      {"<a>x</a>", R"(<a> "x" </a>)"},
      {"<?xml version=\"1.0\"?>\n<r>\n  <b/>\n</r>\n", "?xml(version='1.0') <r> <b/> </r>"},
      {"<r><!-- c --><?pi a=\"1\"?><![CDATA[ <x> &amp; ]]></r>",
       R"(<r> !-- ?pi[ a="1"] [ <x> &amp; ] </r>)"},
      {"text only", R"("text only")"},
      {"<a/><a /><a\n/>", "<a/> <a/> <a/>"},
      {"<a b=\"1\" c='2' d = \"3\">", "<a b='1' c='2' d='3'>"},
      {"<a b='say \"hi\"' c=\"it's\"/>", "<a b='say \"hi\"' c='it's'/>"},
      {"<a b=\"x>y\">z", R"(<a b='x>y'> "z")"},
      {"<ns:a xml:lang=\"en\"></ns:a>", "<ns:a xml:lang='en'> </ns:a>"},
      {"<?target?><?target  data ?>", "?target[] ?target[  data ]"},
      {"<?xml-stylesheet href=\"a.css\"?>", "?xml-stylesheet[ href=\"a.css\"]"},
      {"<!DOCTYPE html><html/>", "!DOCTYPE <html/>"},
      {"<a>  two   words\n\there  </a>", R"(<a> "two words here" </a>)"},
      {"<a>x<!--c-->y</a>", R"(<a> "x" !-- "y" </a>)"},
      {"<![CDATA[]]><![CDATA[\n]]>", "[] [\n]"},
      // Each tag's attributes are its own, whatever the tag before had.
      {"<a name=\"1\"/><a names=\"2\" n=\"3\"/><a n=\"4\" name=\"5\" x=\"6\"/><a/><b n=\"7\">",
       "<a name='1'/> <a names='2' n='3'/> <a n='4' name='5' x='6'/> <a/> <b n='7'>"},
  };
  for (const TCase& C : Cases)
    EXPECT_EQ(TraceOf(C.Doc), C.Trace) << C.Doc;
}

TEST(XmlScannerParts, FieldsThatAPartDoesNotSetKeepThePreviousValues)
{
  TXmlParser P;
  P.LoadFromBuffer(S("<TRACK CASTTITLE=\"t\"/><!-- c --><![CDATA[cd]]><a>x</a><?xml "
                     "version=\"1.0\"?>"));
  ASSERT_TRUE(P.Scan());
  ASSERT_TRUE(P.Scan());
  EXPECT_EQ(P.CurPartType, ptComment);
  EXPECT_EQ(P.CurName, u"TRACK");
  EXPECT_EQ(P.CurAttr.Value(u"CASTTITLE"), u"t");
  ASSERT_TRUE(P.Scan());
  EXPECT_EQ(P.CurPartType, ptCData);
  EXPECT_EQ(P.CurContent, u"cd");
  EXPECT_EQ(P.CurName, u"TRACK");
  EXPECT_EQ(P.CurAttr.Count(), 1);
  ASSERT_TRUE(P.Scan()); // <a>: the CDATA text stays
  EXPECT_EQ(P.CurContent, u"cd");
  EXPECT_EQ(P.CurAttr.Count(), 0);
  ASSERT_TRUE(P.Scan());
  EXPECT_EQ(P.CurPartType, ptContent);
  EXPECT_EQ(P.CurName, u"a");
  ASSERT_TRUE(P.Scan());
  EXPECT_EQ(P.CurPartType, ptEndTag);
  EXPECT_EQ(P.CurName, u"a");
  EXPECT_EQ(P.CurContent, u"x");
  ASSERT_TRUE(P.Scan());
  EXPECT_EQ(P.CurPartType, ptXmlProlog);
  EXPECT_TRUE(P.CurName.isEmpty());
  EXPECT_TRUE(P.CurContent.isEmpty());
  EXPECT_EQ(P.CurAttr.Value(u"version"), u"1.0");
  EXPECT_FALSE(P.Scan());
}

TEST(XmlScannerParts, StartAndFinalPointAtTheFirstAndLastCharacterOfEachPart)
{
  const QString Doc = S("<a b=\"1\">te &amp; xt</a><!--c--><![CDATA[x]]><?p d?>\n<e/>");
  TXmlParser P;
  P.LoadFromBuffer(Doc);
  const char16_t* Base = P.DocBuffer().utf16();
  std::vector<std::pair<qsizetype, qsizetype>> Spans;
  while (P.Scan())
    Spans.emplace_back(P.CurStart - Base, P.CurFinal - Base);
  const std::vector<std::pair<qsizetype, qsizetype>> Expected = {
      {0, 8}, {9, 19}, {20, 23}, {24, 31}, {32, 44}, {45, 51}, {53, 56}};
  EXPECT_EQ(Spans, Expected);
  EXPECT_EQ(P.CurStart - Base, Doc.size()); // the terminating NUL
  EXPECT_EQ(P.CurFinal - Base, Doc.size() - 1);
  EXPECT_FALSE(P.Scan());
  EXPECT_FALSE(P.Scan());
  EXPECT_EQ(P.CurStart - Base, Doc.size());
}

TEST(XmlScannerParts, NormalizeGovernsWhitespaceInTextContent)
{
  TXmlParser P;
  P.LoadFromBuffer(S("<a>\n  x \t y\n</a>\n<b>\r\n</b>"));
  P.SetNormalize(false);
  EXPECT_EQ(PartTrace(P), "<a> \"\n  x \t y\n\" </a> \"\n\" <b> \"\r\n\" </b>");
  P.LoadFromBuffer(S("<a>\n  x \t y\n</a>\n<b>\r\n</b>"));
  EXPECT_TRUE(P.Normalize()); // every load switches it back on
  EXPECT_EQ(PartTrace(P), "<a> \"x y\" </a> <b> </b>");
}

TEST(XmlScannerParts, XmlDeclarationFillsTheDocumentFields)
{
  struct TCase
  {
    const char* Doc;
    const char* Version;
    const char* Encoding;
    bool Standalone;
    const char* CurEncoding;
  };
  const TCase Cases[] = {
      {"<?xml version=\"1.0\" encoding=\"iso-8859-1\" standalone=\"yes\"?><a/>", "1.0",
       "iso-8859-1", true, "ISO-8859-1"},
      {"<?xml version='1.1'?>", "1.1", "", false, "UTF-8"},
      {"<?xml version=\"1.0\" standalone=\"YES\"?>", "1.0", "", false, "UTF-8"},
      {"<?xml\tencoding=\"utf-16\"?>", "", "utf-16", false, "UTF-16"},
  };
  for (const TCase& C : Cases) {
    TXmlParser P;
    P.LoadFromBuffer(S(C.Doc));
    ASSERT_TRUE(P.Scan()) << C.Doc;
    EXPECT_EQ(P.CurPartType, ptXmlProlog) << C.Doc;
    EXPECT_EQ(P.XmlVersion(), S(C.Version)) << C.Doc;
    EXPECT_EQ(P.Encoding(), S(C.Encoding)) << C.Doc;
    EXPECT_EQ(P.Standalone(), C.Standalone) << C.Doc;
    EXPECT_EQ(P.CurEncoding(), S(C.CurEncoding)) << C.Doc;
  }
  // "<?xml" must be followed by whitespace to be the declaration.
  EXPECT_EQ(TraceOf("<?xml?><?xmlfoo x?>"), "?xml[] ?xmlfoo[ x]");
}

// ---------------------------------------------------------------------------------------------
// References and character translation

TEST(XmlScannerReferences, InTextContent)
{
  struct TCase
  {
    const char* Doc;
    const char* Content;
  };
  const TCase Cases[] = {
      {"a &amp; b", "a & b"},
      {"&lt;&gt;&quot;&apos;", "<>\"'"},
      {"&#233;t&#xE9;", "été"},
      {"&#x41;&#X41;&#65;", "AAA"},
      {"&#8364; &#1046; &#128512;", "€ Ж 😀"},
      {"a&#zz;b", "a b"},                        // does not parse: a space
      {"a&#;b&#x;c", "a b c"},                   // no digits: a space each
      {"a&#99999999999;b", "a b"},               // too large to parse: a space
      {"a&#0;b&#xD800;c&#x110000;d", "a?b?c?d"}, // not characters
      {"&undeclared; x", "undeclared x"},
      {"a & b", "a b"}, // no ";" at all: the "&" disappears
      {"AT&T;", "ATT"}, // the name alone
      {"x&;y", "xy"},
  };
  for (const TCase& C : Cases) {
    TXmlParser P;
    P.LoadFromBuffer(S(C.Doc));
    ASSERT_TRUE(P.Scan()) << C.Doc;
    EXPECT_EQ(P.CurPartType, ptContent) << C.Doc;
    EXPECT_EQ(Str(P.CurContent), C.Content) << C.Doc;
    EXPECT_FALSE(P.Scan()) << C.Doc;
  }
}

TEST(XmlScannerReferences, AStrayAmpersandDoesNotSwallowTheFollowingMarkup)
{
  // The ";" of a reference is not looked for beyond the next "<".
  EXPECT_EQ(TraceOf("<p>Rock & Roll</p><TRACK CASTTITLE=\"A &amp; B\"/>"),
            "<p> \"Rock Roll\" </p> <TRACK CASTTITLE='A & B'/>");
}

TEST(XmlScannerReferences, InAttributeValues)
{
  struct TCase
  {
    const char* Value;
    const char* Expected;
  };
  const TCase Cases[] = {
      {"a&amp;b", "a&b"},
      {"a&b", "a&b"}, // no ";" in the value: the "&" stays
      {"a &lt b", "a &lt b"},
      {"&lt;&gt;&apos;", "<>'"},
      {"&#233;&#x41;", "éA"},
      {"x&#zz;y", "x y"},
      {"&undeclared;", "undeclared"},
      {"one\ntwo\r\nthree\tfour", "one two  three four"},
      {"  keep  spaces  ", "  keep  spaces  "},
      {"tab&#9;kept", "tab\tkept"}, // a character reference is not normalised
      {"&amp;amp;", "&amp;"},       // inserted text is not scanned again
  };
  for (const TCase& C : Cases) {
    TXmlParser P;
    P.LoadFromBuffer(S("<a v=\"") + S(C.Value) + S("\"/>"));
    ASSERT_TRUE(P.Scan()) << C.Value;
    EXPECT_EQ(Str(P.CurAttr.Value(u"v")), C.Expected) << C.Value;
  }
  // Values of the XML declaration and of processing instructions stay raw.
  TXmlParser P;
  P.LoadFromBuffer(S("<?xml version=\"1&amp;0\"?><?pi a=\"x&amp;\ny\"?>"));
  ASSERT_TRUE(P.Scan());
  EXPECT_EQ(P.XmlVersion(), u"1&amp;0");
  ASSERT_TRUE(P.Scan());
  EXPECT_EQ(P.CurAttr.Value(u"a"), u"x&amp;\ny");
}

TEST(XmlScannerReferences, TranslateCharacter)
{
  TXmlParser P;
  struct TCase
  {
    uint Code;
    const char* Text;
  };
  const TCase Cases[] = {{65, "A"},          {32, " "},     {127, "\x7f"},   {0xE9, "é"},
                         {0x80, "\xC2\x80"}, {0x20AC, "€"}, {0x416, "Ж"},    {0x1F600, "😀"},
                         {0, "?"},           {0xDC00, "?"}, {0x110000, "?"}, {0xFFFFFFFF, "?"}};
  for (const TCase& C : Cases)
    EXPECT_EQ(Str(P.TranslateCharacter(C.Code)), C.Text) << C.Code;
}

TEST(XmlScannerReferences, AttributeNames)
{
  struct TCase
  {
    const char* Doc;
    const char* Trace;
  };
  const TCase Cases[] = {
      {"<a Name=\"1\" name=\"2\"/>", "<a Name='1' name='2'/>"},
      {"<a x=\"1\" x=\"2\"/>", "<a x='1' x='2'/>"},
      {"<a Жx=\"1\" b=\"2\"/>", "<a>"}, // a name may not start above 0xFF
      {"<a bЖ=\"1\"/>", "<a bЖ='1'/>"}, // but may go on with such characters
      {"<a é=\"1\"/>", "<a é='1'/>"},   // Latin-1 letters start names
      {"<a b=x c=\"2\">", "<a b='2'>"}, // unquoted values are not recognised
      {"<a b c=\"1\">", "<a b='1'>"},   // text before "=" is skipped
      {"<a b=\"1\" c d>", "<a b='1'>"}, // a name without a value is dropped
      {"<a =\"1\" b=\"2\">", "<a>"},    // "=" where a name must start ends the list
      {"<a b=\"1\"c=\"2\">", "<a b='1' c='2'>"},
  };
  for (const TCase& C : Cases)
    EXPECT_EQ(TraceOf(C.Doc), C.Trace) << C.Doc;

  TXmlParser P;
  P.LoadFromBuffer(S("<a x=\"1\" x=\"2\"/>"));
  ASSERT_TRUE(P.Scan());
  EXPECT_EQ(P.CurAttr.Value(u"x"), u"1");
  EXPECT_EQ(P.CurAttr.Value(1), u"2");
  EXPECT_EQ(P.CurAttr.Value(2), u"");
  EXPECT_EQ(P.CurAttr.Name(-1), u"");
  EXPECT_EQ(P.CurAttr.Node(2), nullptr);
  EXPECT_EQ(P.CurAttr.Attr(0)->ValueType, vtNormal);
  EXPECT_EQ(P.CurAttr.Attr(0)->AttrType, atUnknown);
}

// ---------------------------------------------------------------------------------------------
// Malformed and truncated input

TEST(XmlScannerMalformed, EveryPartRunsToTheEndWhenItsTerminatorIsMissing)
{
  struct TCase
  {
    const char* Doc;
    const char* Trace;
  };
  const TCase Cases[] = {
      {"", ""},
      {"<", "<>"},
      {"<a", "<a>"},
      {"</", "</>"},
      {"<a b=\"x", "<a b='x'>"},
      {"<a b='x\"/>", "<a b='x\"/>'>"},
      {"<a b=", "<a>"},
      {"<!-- x", "!--"},
      {"<!-- x -- y -->z", "!-- \"z\""},
      {"<![CDATA[x", "[x]"},
      {"<![CDATA[x]]", "[x]]]"},
      {"<?pi x", "?pi[ x]"},
      {"<?pi x?", "?pi[ x?]"},
      {"<?xml", "?xml[]"},
      {"<?xml version=\"1", "?xml(version='1')"},
      {"<!DOCTYPE", "!DOCTYPE"},
      {"<!DOCTYPE r [ <!ENTITY e \"v\"", "!DOCTYPE"},
      {"<!DOCTYPE r [ <!ENTITY e \"v\">", "!DOCTYPE"},
      {"&", ""},
      {"&amp", "\"amp\""},
      {"x</a", "\"x\" </a>"},
      {"<>x", "<> \"x\""},
      {"</>", "</>"},
      {"<a/b=\"1\">", "<a/>"},
      {"<!>", "<!>"},
      {"<!x y=\"1\">", "<!x y='1'>"},
      {">", "\">\""},
      {"<<a>", "<<a>"},               // a tag name takes whatever follows "<"
      {"<a b=\"1\"<c>", "<a b='1'>"}, // the tag runs to the next ">"
  };
  for (const TCase& C : Cases)
    EXPECT_EQ(TraceOf(C.Doc), C.Trace) << C.Doc;
}

TEST(XmlScannerMalformed, EveryPrefixOfARichDocumentScansToItsEnd)
{
  const QString Doc = S(R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE r [
  <!ELEMENT r (#PCDATA|b)*>
  <!ATTLIST r k (x|y) "x" f CDATA #FIXED "F" n NMTOKENS #IMPLIED>
  <!ENTITY e "<b>in &amp; out</b>">
  <!ENTITY % p "<!ENTITY q 'Q'>">
  %p;
  <!NOTATION n PUBLIC "pub" "sys">
  <!-- ] > -->
  <?pi x="]>"?>
]>
<r n="  a  b ">&e;&q;<![CDATA[&e;]]><!-- <r> --><?pi a?>&#233;&#x20AC;</r>
)");
  for (qsizetype Len = 0; Len <= Doc.size(); ++Len) {
    TXmlParser P;
    P.LoadFromBuffer(Doc.left(Len));
    int Parts = 0;
    while (P.Scan())
      ASSERT_LE(++Parts, Len + 10) << "length " << Len;
    EXPECT_EQ(P.CurStart, P.DocBuffer().utf16() + Len);
    // A NUL ends the text just as well: nothing behind it is read.
    const QString WithNul = Doc.left(Len) + QChar(0) + Doc.mid(Len);
    P.LoadFromBuffer(WithNul);
    EXPECT_EQ(P.DocBuffer().size(), Len);
    const std::string Trace = PartTrace(P);
    EXPECT_EQ(P.CurStart, P.DocBuffer().utf16() + Len);
    EXPECT_EQ(Trace, TraceOf(Doc.left(Len))) << "length " << Len;
  }
}

// ---------------------------------------------------------------------------------------------
// Loading

TEST(XmlScannerLoading, BuffersAndTheirSources)
{
  TXmlParser P;
  EXPECT_EQ(P.Source(), u"");
  EXPECT_TRUE(P.DocBuffer().isEmpty());

  // The text ends at its first NUL.
  const QString WithNul = S("<a/>") + QChar(0) + S("<b/>");
  EXPECT_TRUE(P.LoadFromBuffer(WithNul));
  EXPECT_EQ(P.Source(), u"<MEM>");
  EXPECT_EQ(P.DocBuffer(), u"<a/>");
  EXPECT_EQ(PartTrace(P), "<a/>");

  // The loaded text is the scanner's own.
  QString Changing = S("<c/>");
  P.LoadFromBuffer(Changing);
  Changing[1] = u'x';
  EXPECT_EQ(PartTrace(P), "<c/>");

  const char16_t Borrowed[] = u"<d k='v'/>";
  P.SetBuffer(Borrowed);
  EXPECT_EQ(P.Source(), u"<REFERENCE>");
  ASSERT_TRUE(P.Scan());
  EXPECT_EQ(P.CurStart, Borrowed);
  EXPECT_EQ(P.CurAttr.Value(u"k"), u"v");

  P.Clear();
  EXPECT_EQ(P.Source(), u"");
  EXPECT_FALSE(P.Scan());
}

TEST(XmlScannerLoading, LoadingOrStartScanStartsFromTheBeginning)
{
  TXmlParser P;
  P.LoadFromBuffer(S("<a/><b/><c/>"));
  ASSERT_TRUE(P.Scan());
  ASSERT_TRUE(P.Scan());
  EXPECT_EQ(P.CurName, u"b");
  P.StartScan();
  EXPECT_EQ(P.CurPartType, ptNone);
  EXPECT_TRUE(P.CurName.isEmpty());
  EXPECT_EQ(P.CurAttr.Count(), 0);
  EXPECT_EQ(PartTrace(P), "<a/> <b/> <c/>");
  // A new text after a partial scan: the old position would point into freed text.
  P.StartScan();
  ASSERT_TRUE(P.Scan());
  P.LoadFromBuffer(S("<x/>"));
  EXPECT_EQ(PartTrace(P), "<x/>");
}

TEST(XmlScannerLoading, FromFile)
{
  QTemporaryDir Dir;
  ASSERT_TRUE(Dir.isValid());
  auto Write = [&](const char* AName, const QByteArray& AData) {
    QFile F(Dir.filePath(S(AName)));
    EXPECT_TRUE(F.open(QIODevice::WriteOnly));
    F.write(AData);
    return F.fileName();
  };
  TXmlParser P;
  const QString Bom = Write("bom.xml", "\xEF\xBB\xBF<a t=\"\xC3\xA9\"/>");
  ASSERT_TRUE(P.LoadFromFile(Bom));
  EXPECT_EQ(P.Source(), Bom);
  EXPECT_EQ(PartTrace(P), "<a t='é'/>");

  const QString Bad = Write("bad.xml", "<a t=\"\xE9\"/>");
  EXPECT_FALSE(P.LoadFromFile(Bad));
  EXPECT_FALSE(P.LoadErrorMessage().isEmpty());
  EXPECT_TRUE(P.DocBuffer().isEmpty());
  EXPECT_EQ(P.Source(), u"");

  EXPECT_FALSE(P.LoadFromFile(Dir.filePath(S("missing.xml"))));
  EXPECT_FALSE(P.LoadErrorMessage().isEmpty());
  EXPECT_FALSE(P.Scan());

  ASSERT_TRUE(P.LoadFromFile(Bom));
  EXPECT_TRUE(P.LoadErrorMessage().isEmpty());
}

// ---------------------------------------------------------------------------------------------
// Name-value lists

TEST(XmlScannerLists, NameHashAndLookup)
{
  EXPECT_EQ(XmlNameHash(u""), 0u);
  EXPECT_EQ(XmlNameHash(u"a"), 1u * (97 + 97 + 97));
  EXPECT_EQ(XmlNameHash(u"ab"), 2u * (97 + 98 + 98));
  EXPECT_EQ(XmlNameHash(u"TRACK"), 5u * ('T' + 'K' + 'A'));
  EXPECT_EQ(XmlNameHash(u"abcd"), 4u * ('a' + 'd' + 'c'));

  TNvpList L;
  auto N = std::make_unique<TNvpNode>();
  N->Name = S("key"); // made without a hash: adding gives it one
  N->Value = S("v1");
  L.Add(std::move(N));
  L.Add(std::make_unique<TNvpNode>(S("other"), S("v2")));
  L.Add(std::make_unique<TNvpNode>(S("key"), S("v3")));
  EXPECT_EQ(L.Node(0)->NameHash, XmlNameHash(u"key"));
  EXPECT_EQ(L.Value(u"key"), u"v1");
  EXPECT_EQ(L.Value(u"KEY"), u"");
  EXPECT_EQ(L.Node(u"missing"), nullptr);
  L.AddOrReplace(std::make_unique<TNvpNode>(S("key"), S("v4")));
  EXPECT_EQ(L.Count(), 3);
  EXPECT_EQ(L.Value(0), u"v4");

  // Long lists are looked up through an index; the first node of a name still wins, and
  // replacing or adding keeps lookups right.
  TNvpList Long;
  for (int I = 0; I < 40; ++I)
    Long.Add(std::make_unique<TNvpNode>(QString::number(I % 30), QString::number(I)));
  EXPECT_EQ(Long.Value(u"5"), u"5");
  EXPECT_EQ(Long.Node(u"35"), nullptr);
  Long.AddOrReplace(std::make_unique<TNvpNode>(S("5"), S("new")));
  Long.Add(std::make_unique<TNvpNode>(S("late"), S("L")));
  EXPECT_EQ(Long.Value(u"5"), u"new");
  EXPECT_EQ(Long.Value(u"late"), u"L");
  EXPECT_EQ(Long.Value(u"29"), u"29");
  Long.Clear();
  EXPECT_EQ(Long.Node(u"late"), nullptr);

  TElemList E;
  for (const char* Name : {"b", "a", "c", "B"}) {
    auto D = std::make_unique<TElemDef>();
    D->Name = S(Name);
    E.Add(std::move(D));
  }
  std::string Order;
  for (int I = 0; I < E.Count(); ++I)
    Order += Str(E.Node(I)->Name);
  EXPECT_EQ(Order, "Babc");
  for (const char* Name : {"a", "b", "c", "B"})
    EXPECT_EQ(Str(E.Node(S(Name))->Name), Name);
  EXPECT_EQ(E.Node(u"d"), nullptr);
  EXPECT_EQ(E.Node(u"A"), nullptr);
  EXPECT_EQ(E.Node(4), nullptr);
}

// ---------------------------------------------------------------------------------------------
// Document type declaration

namespace {

// Records what the declaration reported.
class TRecordingParser : public TXmlParser
{
public:
  std::vector<std::string> Found;
  void DtdElementFound(const TDtdElementRec& ARec) override
  {
    std::string R;
    const std::string Text =
        Str(QString(reinterpret_cast<const QChar*>(ARec.Start), ARec.Final - ARec.Start + 1));
    switch (ARec.ElementType) {
    case deElement:
      R = "ELEMENT " + Str(ARec.ElemDef->Name);
      break;
    case deAttList:
      R = "ATTLIST " + Str(ARec.ElemDef->Name);
      break;
    case deEntity:
      R = "ENTITY " + Str(ARec.EntityDef->Name);
      break;
    case deNotation:
      R = "NOTATION " + Str(ARec.NotationDef->Name);
      break;
    case dePI:
      R = "PI " + Str(ARec.Target) + AttrTrace(*ARec.AttrList);
      break;
    case deComment:
      R = "COMMENT";
      break;
    case deError:
      R = "ERROR " + Text;
      break;
    }
    Found.push_back(R);
  }
};

const char* const KDtdDoc = R"(<?xml version="1.0"?>
<!DOCTYPE playlist [
  <!ELEMENT playlist (TRACK*)>
  <!ELEMENT TRACK EMPTY>
  <!ATTLIST TRACK
     CASTTITLE CDATA #REQUIRED
     KIND (song | jingle) "song"
     ID ID #IMPLIED
     VERSION CDATA #FIXED "2"
     TAGS NMTOKENS #IMPLIED
     IMG NOTATION (png) #IMPLIED>
  <!ENTITY station "Radio &amp; Co">
  <!ENTITY % common "<!ENTITY greeting 'hello'>">
  %common;
  <!NOTATION png SYSTEM "image/png">
  <!-- a comment with ] and > -->
  <?pi x="1"?>
]>
<playlist><TRACK CASTTITLE="&station;" TAGS="  a   b  " VERSION="1" ID=" t1 "/>&greeting; &station;</playlist>
)";

} // namespace

TEST(XmlScannerDtd, InternalSubsetDeclaresElementsAttributesEntitiesAndNotations)
{
  TRecordingParser P;
  P.LoadFromBuffer(S(KDtdDoc));
  EXPECT_EQ(PartTrace(P),
            "?xml(version='1.0') !DOCTYPE <playlist> <TRACK CASTTITLE='Radio & Co' TAGS='a b' "
            "VERSION='2' ID='t1' KIND='song'/> \"hello Radio & Co\" </playlist>");
  EXPECT_EQ(P.RootName(), u"playlist");
  const std::vector<std::string> Found = {"ELEMENT playlist", "ELEMENT TRACK", "ATTLIST TRACK",
                                          "ENTITY station",   "ENTITY common", "ENTITY greeting",
                                          "NOTATION png",     "COMMENT",       "PI pi x='1'"};
  EXPECT_EQ(P.Found, Found);

  ASSERT_EQ(P.Elements.Count(), 2);
  EXPECT_EQ(P.Elements.Node(0)->Name, u"TRACK"); // sorted
  const TElemDef* Track = P.Elements.Node(u"TRACK");
  ASSERT_NE(Track, nullptr);
  EXPECT_EQ(Track->ElemType, etEmpty);
  EXPECT_EQ(P.Elements.Node(u"playlist")->ElemType, etChildren);
  EXPECT_EQ(P.Elements.Node(u"playlist")->Definition, u"(TRACK*)");
  ASSERT_EQ(Track->Count(), 6);
  EXPECT_EQ(Track->AttrDef(u"KIND")->TypeDef, u"(song|jingle)");
  EXPECT_EQ(Track->AttrDef(u"KIND")->AttrType, atEnumeration);
  EXPECT_EQ(Track->AttrDef(u"KIND")->DefaultType, adDefault);
  EXPECT_EQ(Track->AttrDef(u"CASTTITLE")->DefaultType, adRequired);
  EXPECT_EQ(Track->AttrDef(u"VERSION")->DefaultType, adFixed);
  EXPECT_EQ(Track->AttrDef(u"VERSION")->Value, u"2");
  EXPECT_EQ(Track->AttrDef(u"IMG")->AttrType, atNotation);
  EXPECT_EQ(Track->AttrDef(u"IMG")->Notations, u"(png)");

  EXPECT_EQ(P.Entities.Value(u"station"), u"Radio &amp; Co");
  EXPECT_EQ(P.Entities.Value(u"greeting"), u"hello");
  EXPECT_EQ(P.ParEntities.Value(u"common"), u"<!ENTITY greeting 'hello'>");
  EXPECT_EQ(P.Notations.Value(u"png"), u"image/png");
}

TEST(XmlScannerDtd, DeclaredAttributesGetDefaultsTypesAndNormalisation)
{
  TXmlParser P;
  P.LoadFromBuffer(S(KDtdDoc));
  while (P.Scan() && P.CurName != u"TRACK") {
  }
  ASSERT_EQ(P.CurPartType, ptEmptyTag);
  struct TCase
  {
    const char16_t* Name;
    TValueType ValueType;
    TAttrType AttrType;
  };
  const TCase Cases[] = {{u"CASTTITLE", vtNormal, atCData},
                         {u"KIND", vtDefault, atEnumeration},
                         {u"ID", vtImplied, atID},
                         {u"VERSION", vtFixed, atCData},
                         {u"TAGS", vtImplied, atNmTokens}};
  for (const TCase& C : Cases) {
    const TAttr* A = P.CurAttr.Attr(QStringView(C.Name));
    ASSERT_NE(A, nullptr) << Str(QString::fromUtf16(C.Name));
    EXPECT_EQ(A->ValueType, C.ValueType) << Str(QString::fromUtf16(C.Name));
    EXPECT_EQ(A->AttrType, C.AttrType) << Str(QString::fromUtf16(C.Name));
  }
  EXPECT_EQ(P.CurAttr.Node(u"IMG"), nullptr); // implied and absent: not added
}

TEST(XmlScannerDtd, EntitiesInTextAndValues)
{
  struct TCase
  {
    const char* Decls;
    const char* Body;
    const char* Trace;
  };
  const TCase Cases[] = {
      // Markup in a replacement text is scanned as markup.
      {"<!ENTITY b \"<b>bold</b>\">", "<r>x &b; y</r>", "<r> \"x\" <b> \"bold\" </b> \"y\" </r>"},
      // Several replacement texts ending at once: scanning goes on after the outermost.
      {"<!ENTITY a \"&b;\"><!ENTITY b \"<y/>\">", "<r>&a;<x/></r>", "<r> <y/> <x/> </r>"},
      {"<!ENTITY a \"&b;!\"><!ENTITY b \"(&c;)\"><!ENTITY c \"C\">", "<r v=\"&a;\">&a;</r>",
       "<r v='(C)!'> \"(C)!\" </r>"},
      // A reference to itself is not expanded again.
      {"<!ENTITY a \"x&a;y\">", "<r v=\"&a;\">&a;</r>", "<r v='xay'> \"xay\" </r>"},
      {"<!ENTITY a \"1&b;\"><!ENTITY b \"2&a;\">", "<r v=\"&a;\">&a;</r>",
       "<r v='12a'> \"12a\" </r>"},
      // An empty replacement text inserts nothing; an unparsed entity gives its name.
      {"<!ENTITY e \"\"><!NOTATION gif SYSTEM \"g\"><!ENTITY u SYSTEM \"u.gif\" NDATA gif>",
       "<r v=\"[&e;|&u;]\">[&e;|&u;]</r>", "<r v='[|u]'> \"[|u]\" </r>"},
      // Line breaks in a replacement text are normalised in values.
      {"<!ENTITY nl \"a\nb\">", "<r v=\"&nl;\">&nl;</r>", "<r v='a b'> \"a b\" </r>"},
      // Parameter entities in declarations, also inside entity values.
      {"<!ENTITY % t \"CDATA\"><!ENTITY % v \"V\"><!ATTLIST r a %t; '%v;' b %t; #FIXED \"B\">"
       "<!ENTITY e \"[%v;]\">",
       "<r>&e;</r>", "<r a='%v;' b='B'> \"[V]\" </r>"},
      // A later declaration replaces an earlier one.
      {"<!ENTITY e \"first\"><!ENTITY e \"second\">", "<r>&e;</r>", "<r> \"second\" </r>"},
      // A ">" inside a literal does not end the declaration.
      {"<!ENTITY e \"a>b]c\">", "<r>&e;</r>", "<r> \"a>b]c\" </r>"},
      // Conditional sections are read in the internal subset too.
      {"<![INCLUDE[<!ENTITY i \"I\">]]><![IGNORE[<!ENTITY j \"J\"><![x[]]>]]>", "&i;&j;", "\"Ij\""},
  };
  for (const TCase& C : Cases) {
    const QString Doc = S("<!DOCTYPE r [") + S(C.Decls) + S("]>") + S(C.Body);
    EXPECT_EQ(TraceOf(Doc), std::string("!DOCTYPE ") + C.Trace) << C.Decls;
  }
}

TEST(XmlScannerDtd, HostileEntitiesAreBounded)
{
  // Ten levels of ten references each would give 10^10 characters.
  QString Decls = S("<!ENTITY l0 \"lol\">");
  for (int I = 1; I < 10; ++I) {
    QString Refs;
    for (int K = 0; K < 10; ++K)
      Refs += QStringLiteral("&l%1;").arg(I - 1);
    Decls += QStringLiteral("<!ENTITY l%1 \"%2\">").arg(I).arg(Refs);
  }
  for (const char* Body : {"<r>&l9;</r>", "<r v=\"&l9;\"/>"}) {
    const QString Doc = S("<!DOCTYPE r [") + Decls + S("]>") + S(Body);
    TXmlParser P;
    P.LoadFromBuffer(Doc);
    qsizetype Total = 0;
    while (P.Scan())
      Total += P.CurContent.size() + (P.CurAttr.Count() ? P.CurAttr.Value(0).size() : 0);
    EXPECT_GT(Total, 100000) << Body;
    EXPECT_LE(Total,
              TXmlParser::EntityBudgetBase + (TXmlParser::EntityBudgetFactor + 1) * Doc.size())
        << Body;
  }

  // A chain deeper than the nesting limit stops with the name of the first entity left out.
  QString Chain;
  for (int I = 0; I < 100; ++I)
    Chain += QStringLiteral("<!ENTITY e%1 \"&e%2;\">").arg(I).arg(I + 1);
  const QString Doc = S("<!DOCTYPE r [") + Chain + S("]><r v=\"&e0;\">&e0;</r>");
  const std::string Name = "e" + std::to_string(TXmlParser::MaxEntityDepth);
  EXPECT_EQ(TraceOf(Doc), "!DOCTYPE <r v='" + Name + "'> \"" + Name + "\" </r>");
}

TEST(XmlScannerDtd, BrokenDeclarationsAreReportedAndDoNotSwallowTheDocument)
{
  TRecordingParser P;
  P.LoadFromBuffer(
      S("<!DOCTYPE r [ junk <!FOO x> <!ENTITY> <!ENTITY e \"v\" ]><r>&e;</r><!DOCTYPE s "
        "[<!ENTITY e \"2\">]>&e;"));
  EXPECT_EQ(PartTrace(P), "!DOCTYPE <r> \"v\" </r> !DOCTYPE \"v\"");
  EXPECT_EQ(P.RootName(), u"r");
  const std::vector<std::string> Found = {"ERROR junk ", "ERROR <!FOO x> ", "ERROR <!ENTITY>",
                                          "ENTITY e"};
  EXPECT_EQ(P.Found, Found);
}

TEST(XmlScannerDtd, RescanningSkipsTheDeclarationsAlreadyRead)
{
  TRecordingParser P;
  P.LoadFromBuffer(S(KDtdDoc));
  const std::string First = PartTrace(P);
  const size_t Reported = P.Found.size();
  P.StartScan();
  EXPECT_EQ(PartTrace(P), First);
  EXPECT_EQ(P.Found.size(), Reported);
}

TEST(XmlScannerDtd, ExternalSubsetAndEntitiesFromFiles)
{
  QTemporaryDir Dir;
  ASSERT_TRUE(Dir.isValid());
  ASSERT_TRUE(QDir(Dir.path()).mkpath(S("dtd/sub")));
  auto Write = [&](const char* AName, const char* AText) {
    QFile F(Dir.filePath(S(AName)));
    EXPECT_TRUE(F.open(QIODevice::WriteOnly));
    F.write(AText);
    return F.fileName();
  };
  Write("dtd/r.dtd", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                     "<!ENTITY fromdtd \"D\">\n"
                     "<!ENTITY mine \"external\">\n"
                     "<!ENTITY ext SYSTEM \"dtd/sub/ext.xml\">\n"
                     "<!ENTITY % more SYSTEM \"dtd/more.ent\">\n"
                     "%more;\n"
                     "<!ATTLIST r x CDATA \"dflt\">\n"
                     "<![%switch;[ <!ENTITY cond \"C\"> ]]>\n");
  Write("dtd/more.ent", "<?xml encoding=\"UTF-8\"?><!ENTITY fromfile \"F\">");
  Write("dtd/sub/ext.xml", "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?><e>E</e>");
  const QString Doc = Write("doc.xml", "<!DOCTYPE r SYSTEM \"dtd/r.dtd\" [\n"
                                       "  <!ENTITY % switch \"INCLUDE\">\n"
                                       "  <!ENTITY mine \"internal\">\n"
                                       "]>\n"
                                       "<r>&ext; &fromdtd;&fromfile;&cond; &mine;</r>");
  TXmlParser P;
  ASSERT_TRUE(P.LoadFromFile(Doc));
  std::string Trace;
  QString InnerEncoding;
  while (P.Scan()) {
    if (P.CurPartType == ptXmlProlog)
      InnerEncoding = P.CurEncoding();
    if (P.CurPartType == ptContent)
      Trace += Str(P.CurContent) + "|";
    if (P.CurPartType == ptStartTag)
      Trace += Str(P.CurName) + AttrTrace(P.CurAttr) + "|";
  }
  EXPECT_EQ(Trace, "r x='dflt'|e|E|DFC internal|");
  // The text declaration of the external entity is a part of its own; its encoding holds while
  // the entity's text is scanned.
  EXPECT_EQ(InnerEncoding, u"ISO-8859-1");
  EXPECT_EQ(P.CurEncoding(), u"");
  EXPECT_EQ(P.XmlVersion(), u"");
  EXPECT_EQ(P.Entities.Node(u"ext") != nullptr, true);
  EXPECT_TRUE(static_cast<TEntityDef*>(P.Entities.Node(u"ext"))->External);
  EXPECT_EQ(static_cast<TEntityDef*>(P.Entities.Node(u"ext"))->SystemId, u"dtd/sub/ext.xml");
}

TEST(XmlScannerDtd, DocumentsFromMemoryReadNoLocalFiles)
{
  QTemporaryDir Dir;
  ASSERT_TRUE(Dir.isValid());
  const QString Secret = Dir.filePath(S("secret.txt"));
  QFile F(Secret);
  ASSERT_TRUE(F.open(QIODevice::WriteOnly));
  F.write("secret");
  F.close();
  const QString Doc = S("<!DOCTYPE r SYSTEM \"") + Secret + S("\" [<!ENTITY e SYSTEM \"") + Secret +
                      S("\">]><r a=\"&e;\">[&e;]</r>");
  EXPECT_EQ(TraceOf(Doc), "!DOCTYPE <r a=''> \"[]\" </r>");
}

TEST(XmlScannerDtd, ExternalEntitiesThroughTheHook)
{
  class TSuppliedParser : public TXmlParser
  {
  public:
    std::vector<std::string> Asked;
    std::unique_ptr<TXmlParser> LoadExternalEntity(const QString& ASystemId,
                                                   const QString& APublicId,
                                                   const QString& ANotation) override
    {
      Asked.push_back(Str(ASystemId) + "," + Str(APublicId) + "," + Str(ANotation));
      auto X = std::make_unique<TXmlParser>();
      X->LoadFromBuffer(ASystemId == u"sub.dtd" ? S("<!ENTITY fromsub \"S\">")
                                                : S("<x a=\"1\"/>tail"));
      return X;
    }
  };
  TSuppliedParser P;
  P.LoadFromBuffer(S("<!DOCTYPE r PUBLIC \"-//X//Y\" \"sub.dtd\" [<!ENTITY e PUBLIC \"p\" "
                     "\"e.xml\">]><r>&e;&fromsub;<y v=\"&e;\"/></r>"));
  EXPECT_EQ(PartTrace(P), "!DOCTYPE <r> <x a='1'/> \"tailS\" <y v='<x a=\"1\"/>tail'/> </r>");
  const std::vector<std::string> Asked = {"sub.dtd,-//X//Y,", "e.xml,p,", "e.xml,p,"};
  EXPECT_EQ(P.Asked, Asked);
}

TEST(XmlScannerHooks, TranslateEncodingSeesEveryPieceOfTextAndCData)
{
  class TBracketParser : public TXmlParser
  {
  public:
    QString TranslateEncoding(const QString& ASource) override { return u'[' + ASource + u']'; }
    QString TranslateCharacter(uint AUnicodeValue) override
    {
      return QStringLiteral("{%1}").arg(AUnicodeValue);
    }
  };
  TBracketParser P;
  P.LoadFromBuffer(S("<a v=\"&#65;\">x&amp;y&#66;z<![CDATA[c]]></a>"));
  EXPECT_EQ(PartTrace(P), "<a v='{65}'> \"[x]&[y]{66}[z]\" [[c]] </a>");
}

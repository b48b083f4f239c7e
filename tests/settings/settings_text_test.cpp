// The settings text form: exact bytes written, the grammar read, and how a file is applied.
// Expected texts are written by hand from the format rules.
#include "base/data_folders.h"
#include "settings/connection_settings.h"
#include "settings/player_ini.h"
#include "settings/settings_text.h"
#include "settings/system_ini.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QByteArray Crlf(const char* AText)
{
  QByteArray Text(AText);
  Text.replace("\n", "\r\n");
  return Text;
}

// A literal with its NUL bytes.
template <size_t N> QByteArray Bytes(const char (&AText)[N])
{
  return QByteArray(AText, N - 1);
}

std::string Str(const QByteArray& AText)
{
  return AText.toStdString();
}

std::string Str(const QString& AText)
{
  return AText.toStdString();
}

// The system record resolves its language folder against the program folder; an empty temporary
// program folder makes that "En".
class SettingsTextTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    ASSERT_TRUE(FProgramDir.isValid());
    InitProgramFolder(FProgramDir.path());
    InitDataFolder();
  }

  QTemporaryDir FProgramDir;
};

// A record with one property of each kind, so that every value form can be checked on its own.
enum TColour : int
{
  clRed,
  clGreen,
  clBlue,
};
const TEnumType& EnumType(TColour)
{
  static const TEnumType Type{"TColour", {"clRed", "clGreen", "clBlue"}};
  return Type;
}

class TKindsRecord : public TSettingsRecord
{
public:
  QString ClassName() const override { return QStringLiteral("TKindsRecord"); }
  void DefineProperties(TPropertyList& AList) override
  {
    TSettingsRecord::DefineProperties(AList);
    AList.Integer("Count", &Count, 5);
    AList.Unsigned("Mask", &Mask, 0);
    AList.Boolean("Flag", &Flag);
    AList.Enumeration("Colour", &Colour, clRed);
    AList.String("Text", &Text);
    AList.Double("Ratio", &Ratio);
    AList.Single("Level", &Level);
    AList.StringList("Lines", &Lines);
    AList.Collection("Columns", &Columns);
    // Without a setter: neither written nor read.
    AList.Integer(
        "Computed", [] { return 42; }, nullptr);
  }

  qint32 Count = 5;
  quint32 Mask = 0;
  bool Flag = false;
  TColour Colour = clRed;
  QString Text;
  double Ratio = 0;
  float Level = 0;
  QStringList Lines;
  TMyColumns Columns;
};

TEST_F(SettingsTextTest, WritesTheExampleFileExactly)
{
  TSettings Record;
  Record.SetPort(9000);
  TMyColumn* First = Record.PlaylistCols().Add();
  First->SetWidth(40);
  First->SetPos(0);
  First->SetVisible(true);
  TMyColumn* Second = Record.PlaylistCols().Add();
  Second->SetWidth(300);
  Second->SetPos(1);
  Second->SetVisible(true);

  EXPECT_EQ(Str(WriteSettingsText(Record)), Str(Crlf("object TSettings\n"
                                                     "  TLS = False\n"
                                                     "  Port = 9000\n"
                                                     "  PlaylistCols = <\n"
                                                     "    item\n"
                                                     "      Width = 40\n"
                                                     "      Pos = 0\n"
                                                     "      Visible = True\n"
                                                     "    end\n"
                                                     "    item\n"
                                                     "      Width = 300\n"
                                                     "      Pos = 1\n"
                                                     "      Visible = True\n"
                                                     "    end>\n"
                                                     "end\n")));
}

TEST_F(SettingsTextTest, FreshConnectionSettingsWriteOnlyTheAlwaysWrittenLines)
{
  TSettings Record;
  EXPECT_EQ(Str(WriteSettingsText(Record)), Str(Crlf("object TSettings\n"
                                                     "  TLS = False\n"
                                                     "  Port = 0\n"
                                                     "  PlaylistCols = <>\n"
                                                     "end\n")));
}

TEST_F(SettingsTextTest, FreshSystemSettingsText)
{
  TSystemIni Record;
  QByteArray Expected = "object TSystemIni\n"
                        "  AllowWinampPlugins = False\n"
                        "  AllowVstPlugins = False\n"
                        "  VSTFolder.Strings = (\n"
                        "    '/usr/lib/vst/')\n"
                        "  BandsNum = 10\n"
                        "  EQBands = <";
  for (const char* Frequency :
       {"31", "62", "125", "250", "500", "1000", "2000", "4000", "8000", "16000", "18000", "20000"})
    Expected += QByteArray("\n    item\n      CenterFreq = ") + Frequency + "\n    end";
  Expected += ">\n"
              "  Bandwidth = 2.500000000000000000\n"
              "  EQRange = 10\n"
              "  LangDir = 'En'\n"
              "  Inputs = <\n"
              "    item\n"
              "      DevType = odMixer\n"
              "      Method = -2\n"
              "      MixerSrc = 0\n"
              "      Stereo = False\n"
              "      KeepAlive = True\n"
              "    end";
  for (int I = 1; I < 4; ++I)
    Expected += "\n    item\n"
                "      DevType = odMixer\n"
                "      Method = -1\n"
                "      MixerSrc = 0\n"
                "      Stereo = True\n"
                "      KeepAlive = False\n"
                "    end";
  Expected += ">\n"
              "  ScreenReaderMode = False\n"
              "  ScreenReaderVSTTextUI = False\n"
              "  StreamUserAgent = 'Airlume'\n"
              "end\n";
  EXPECT_EQ(Str(WriteSettingsText(Record)), Str(Crlf(Expected.constData())));
}

TEST_F(SettingsTextTest, ChainStageText)
{
  TPlayerIni Record;
  TDSPItemC* Stage = Record.MicDSPList().Add();
  Stage->SetT(dspIntegrated);
  Stage->SetDispName("Equalizer");
  Stage->SetIntDSPKind(dspCompressor);
  Stage->SetState(psActive);
  Stage->Params() << "4"
                  << "-20"
                  << "";
  TDSPItemC* Plugin = Record.MicDSPList().Add();
  Plugin->SetPluginType(ptVST);
  Plugin->SetPluginPath("/usr/lib/vst/MaGigaverb.so");
  Plugin->SetPresetName("Hall");

  EXPECT_EQ(Str(WriteSettingsText(Record)),
            Str(Crlf("object TPlayerIni\n"
                     "  VoiceTracksFolder = '\\VoiceTracks\\'\n"
                     "  MicDSPList = <\n"
                     "    item\n"
                     "      T = dspIntegrated\n"
                     "      Params.Strings = (\n"
                     "        '4'\n"
                     "        '-20'\n"
                     "        '')\n"
                     "      DispName = 'Equalizer'\n"
                     "      PluginType = ptDSP\n"
                     "      State = psActive\n"
                     "      IntDSPKind = dspCompressor\n"
                     "    end\n"
                     "    item\n"
                     "      T = dspPlugin\n"
                     "      PluginPath = '/usr/lib/vst/MaGigaverb.so'\n"
                     "      PluginType = ptVST\n"
                     "      State = psOff\n"
                     "      IntDSPKind = dspEqualizer\n"
                     "      PresetName = 'Hall'\n"
                     "    end>\n"
                     "end\n")));
}

TEST_F(SettingsTextTest, OmissionRulesAndValueForms)
{
  TKindsRecord Record;
  // Everything at its default or empty: only the properties without a declared default remain.
  EXPECT_EQ(Str(WriteSettingsText(Record)), Str(Crlf("object TKindsRecord\n"
                                                     "  Flag = False\n"
                                                     "  Columns = <>\n"
                                                     "end\n")));

  Record.SetName("Main");
  Record.SetTag(-7);
  Record.Count = -2147483647 - 1;
  Record.Mask = 0xFFFFFFFEu;
  Record.Flag = true;
  Record.Colour = clBlue;
  Record.Text = "x";
  Record.Ratio = -10;
  Record.Level = 0.3f;
  Record.Lines << "one"
               << "";
  Record.Columns.Add();
  EXPECT_EQ(Str(WriteSettingsText(Record)), Str(Crlf("object Main: TKindsRecord\n"
                                                     "  Tag = -7\n"
                                                     "  Count = -2147483648\n"
                                                     "  Mask = -2\n"
                                                     "  Flag = True\n"
                                                     "  Colour = clBlue\n"
                                                     "  Text = 'x'\n"
                                                     "  Ratio = -10.000000000000000000\n"
                                                     "  Level = 0.300000011920929000\n"
                                                     "  Lines.Strings = (\n"
                                                     "    'one'\n"
                                                     "    '')\n"
                                                     "  Columns = <\n"
                                                     "    item\n"
                                                     "      Width = 0\n"
                                                     "      Pos = -1\n"
                                                     "      Visible = False\n"
                                                     "    end>\n"
                                                     "end\n")));
}

TEST_F(SettingsTextTest, FloatForms)
{
  const struct
  {
    double Value;
    const char* Text;
  } Cases[] = {
      {2.5, "2.500000000000000000"},
      {-10, "-10.000000000000000000"},
      {static_cast<double>(0.3f), "0.300000011920929000"},
      {0.1, "0.100000000000000000"},
      {1.0 / 3, "0.333333333333333300"},
      {2.0 / 3, "0.666666666666666600"},
      {123456789.123456789, "123456789.123456800000000000"},
      {1234567890123456.0, "1234567890123456.000000000000000000"},
      {0.00123456789012345678, "0.001234567890123457"},
      {1.5e-5, "0.000015000000000000"},
      {1.23456789e-10, "0.000000000123456789"},
      {6e-19, "0.000000000000000001"},
      {4e-19, "0.000000000000000000"},
      {-4e-19, "0.000000000000000000"},
      {1e17, "1E17"},
      {-1.25e20, "-1.25E20"},
  };
  for (const auto& Case : Cases)
    EXPECT_EQ(Str(FormatSettingsFloat(Case.Value)), Case.Text) << Case.Value;
}

TEST_F(SettingsTextTest, StringForms)
{
  const QString A64(64, QLatin1Char('a'));
  const struct
  {
    QString Value;
    const char* Text;
  } Cases[] = {
      {"it's", "  Server = 'it'#39's'\n"},
      {"a\r\nb", "  Server = 'a'#13#10'b'\n"},
      {QString::fromUtf8("Z\xC3\xA9"), "  Server = 'Z'#233\n"},
      {"'", "  Server = #39\n"},
      {QString(QChar(127)) + QChar(128) + "~", "  Server = '\x7F'#128'~'\n"},
      {QString::fromUtf8("\xF0\x9F\x8E\xA4"), "  Server = #55356#57252\n"},
      {A64, "  Server = 'aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa'\n"},
      {A64 + "b", "  Server = \n"
                  "    'aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa' +\n"
                  "    'b'\n"},
      // An escaped character counts as one; the split comes after the 64th character.
      {QString(63, QLatin1Char('a')) + "'bc",
       "  Server = \n"
       "    'aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa'#39 +\n"
       "    'bc'\n"},
      {QString(62, QLatin1Char('a')) + "\t\t\tx",
       "  Server = \n"
       "    'aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa'#9#9 +\n"
       "    #9'x'\n"},
      {A64 + A64 + A64.left(2),
       "  Server = \n"
       "    'aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa' +\n"
       "    'aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa' +\n"
       "    'aa'\n"},
  };
  for (const auto& Case : Cases) {
    TSettings Record;
    Record.SetServer(Case.Value);
    const QByteArray Expected = Crlf((QByteArray("object TSettings\n") + Case.Text +
                                      "  TLS = False\n  Port = 0\n  PlaylistCols = <>\nend\n")
                                         .constData());
    const QByteArray Text = WriteSettingsText(Record);
    EXPECT_EQ(Str(Text), Str(Expected)) << Str(Case.Value);

    TSettings Back;
    ASSERT_FALSE(ReadSettingsText(Back, Text).Failed());
    EXPECT_EQ(Back.Server(), Case.Value);
  }
}

TEST_F(SettingsTextTest, LongStringInsideAStringList)
{
  TSystemIni Record;
  Record.SetVSTFolder({QString(65, QLatin1Char('v'))});
  const QByteArray Text = WriteSettingsText(Record);
  // The list item's line stays with its indentation only; the string starts one level deeper.
  EXPECT_TRUE(Text.contains(
      Crlf("  VSTFolder.Strings = (\n"
           "    \n"
           "      'vvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvv' +\n"
           "      'v')\n")))
      << Str(Text);
  TSystemIni Back;
  ASSERT_FALSE(ReadSettingsText(Back, Text).Failed());
  EXPECT_EQ(Back.VSTFolder(), Record.VSTFolder());
}

TEST_F(SettingsTextTest, ReadsTheRarerGrammar)
{
  // Keywords in other letter case, an object name and order modifier, strings joined with "+"
  // across lines, doubled quotes, #$hex codes, hexadecimal integers, floats with exponent and
  // suffix, sets, binary data, nested lists, dotted identifiers, tabs and blanks at line ends.
  const QByteArray Text = "OBJECT Main: TSomethingElse [3]  \r\n"
                          "  server = 'lo' +  \r\n"
                          "\t 'cal'#$68'ost'\r\n"
                          "  TLS = true   \r\n"
                          "  Port = $1F90\r\n"
                          "  User = 'it''s'#32'me'\n"
                          "  Pass = #80'w'#100\r\n"
                          "  Flags = [fsBold, fsItalic]\r\n"
                          "  Flags2 = []\r\n"
                          "  Data = {00 ff\r\n 10AB}\r\n"
                          "  Lines.Strings = (1 2.5 'a' (nested [x]) ident.sub)\r\n"
                          "  Ref = Form1.Button1\r\n"
                          "  Money = 12.5c\r\n"
                          "  When = 45000.25d\r\n"
                          "  playlistcols = <\r\n"
                          "    ITEM [0]\r\n"
                          "      width = 10\r\n"
                          "      Visible = TRUE\r\n"
                          "    END\r\n"
                          "    item\r\n"
                          "      Pos = 2\r\n"
                          "    end>\r\n"
                          "END\r\n"
                          "whatever follows is not read '";
  TSettings Record;
  const TSettingsError Error = ReadSettingsText(Record, Text);
  ASSERT_FALSE(Error.Failed()) << Str(Error.Message);
  EXPECT_EQ(Str(Record.Server()), "localhost");
  EXPECT_TRUE(Record.TLS());
  EXPECT_EQ(Record.Port(), 8080);
  EXPECT_EQ(Str(Record.User()), "it's me");
  EXPECT_EQ(Str(Record.Pass()), "Pwd");
  ASSERT_EQ(Record.PlaylistCols().Count(), 2);
  EXPECT_EQ(Record.PlaylistCols().Items(0)->Width(), 10);
  EXPECT_EQ(Record.PlaylistCols().Items(0)->Pos(), -1); // not listed: the new item's value
  EXPECT_TRUE(Record.PlaylistCols().Items(0)->Visible());
  EXPECT_EQ(Record.PlaylistCols().Items(1)->Pos(), 2);
  EXPECT_FALSE(Record.PlaylistCols().Items(1)->Visible());
}

TEST_F(SettingsTextTest, ReadsFloatsInEveryForm)
{
  const struct
  {
    const char* Value;
    float Expected;
  } Cases[] = {
      {"2.500000000000000000", 2.5f},
      {"3", 3.0f},
      {"25E-1", 2.5f},
      {"0.125e+1s", 1.25f},
      {"-4.5", -4.5f},
      {"1.75S", 1.75f},
      {"30000c", 3.0f},
      {"2d", 2.0f},
      {"1.", 1.0f},
      {"$10", 16.0f},
      {"-0.5e0", -0.5f},
  };
  for (const auto& Case : Cases) {
    TSystemIni Record;
    const QByteArray Text =
        QByteArray("object TSystemIni\n  Bandwidth = ") + Case.Value + "\nend\n";
    const TSettingsError Error = ReadSettingsText(Record, Text);
    ASSERT_FALSE(Error.Failed()) << Case.Value << ": " << Str(Error.Message);
    EXPECT_FLOAT_EQ(Record.Bandwidth(), Case.Expected) << Case.Value;
  }
}

TEST_F(SettingsTextTest, SkipsUnknownNamesAndWrongKinds)
{
  TKindsRecord Record;
  Record.Text = "keep";
  Record.Lines << "keep";
  const QByteArray Text = "object TKindsRecord\n"
                          "  NoSuchThing = 'x'\n"
                          "  Count = 'seven'\n"    // string for an integer
                          "  Count = 2147483648\n" // outside 32 bits
                          "  Count = 1.5\n"        // float for an integer
                          "  Mask = -2147483649\n" // outside 32 bits
                          "  Flag = 1\n"           // number for a Boolean
                          "  Colour = clPurple\n"  // not an identifier of the type
                          "  Colour = Form1.clBlue\n"
                          "  Text = clBlue\n" // identifier for a string
                          "  Ratio = 'x'\n"
                          "  Level = 1e300\n"           // too large for a Single
                          "  Lines.Strings = ('a' 1)\n" // one item of another kind
                          "  Lines = ('a')\n"           // a string list only as Lines.Strings
                          "  Lines.Other = ('a')\n"
                          "  Columns = ('a')\n"
                          "  Computed = 7\n" // no setter
                          "  Count.Strings = ('a')\n"
                          "  Flag = tRUE\n" // still applied after all that
                          "  Colour = CLGREEN\n"
                          "  Mask = 4294967295\n"
                          "end\n";
  const TSettingsError Error = ReadSettingsText(Record, Text);
  ASSERT_FALSE(Error.Failed()) << Str(Error.Message);
  EXPECT_EQ(Record.Count, 5);
  EXPECT_EQ(Str(Record.Text), "keep");
  EXPECT_EQ(Record.Ratio, 0);
  EXPECT_EQ(Record.Level, 0);
  EXPECT_EQ(Record.Lines, QStringList{"keep"});
  EXPECT_EQ(Record.Columns.Count(), 0);
  EXPECT_TRUE(Record.Flag);
  EXPECT_EQ(Record.Colour, clGreen);
  EXPECT_EQ(Record.Mask, 0xFFFFFFFFu);
}

// Identifiers outside ASCII make the writer put a UTF-8 byte-order mark in front.
class TUmlautRecord : public TSettingsRecord
{
public:
  QString ClassName() const override
  {
    return QString::fromUtf8("TGr\xC3\xB6\xC3\x9F"
                             "e");
  }
  void DefineProperties(TPropertyList& AList) override
  {
    TSettingsRecord::DefineProperties(AList);
    AList.Integer(QString::fromUtf8("L\xC3\xA4nge"), &Length);
  }
  qint32 Length = 5;
};

TEST_F(SettingsTextTest, NonAsciiIdentifiersGetAByteOrderMark)
{
  TUmlautRecord Record;
  const QByteArray Text = WriteSettingsText(Record);
  EXPECT_EQ(Str(Text), Str(Crlf("\xEF\xBB\xBFobject TGr\xC3\xB6\xC3\x9F"
                                "e\n"
                                "  L\xC3\xA4nge = 5\n"
                                "end\n")));
  TUmlautRecord Back;
  Back.Length = 0;
  ASSERT_FALSE(ReadSettingsText(Back, Text).Failed());
  EXPECT_EQ(Back.Length, 5);
}

TEST_F(SettingsTextTest, NameIsReadOnlyAsAnIdentifier)
{
  // The name is never written as a property but goes into the header; a name that is not an
  // identifier would make the next save unreadable.
  TSettings Record;
  for (const char* Bad : {"a b", "1a", "x:y", "a''b", "n\xC3\xA4me"}) {
    ASSERT_FALSE(
        ReadSettingsText(Record, QByteArray("object TSettings\n  Name = '") + Bad + "'\nend\n")
            .Failed());
    EXPECT_TRUE(Record.Name().isEmpty()) << Bad;
  }
  ASSERT_FALSE(ReadSettingsText(Record, "object TSettings\n  name = 'Main_2'\nend\n").Failed());
  EXPECT_EQ(Str(Record.Name()), "Main_2");
  const QByteArray Text = WriteSettingsText(Record);
  EXPECT_TRUE(Text.startsWith("object Main_2: TSettings\r\n  TLS = False\r\n")) << Str(Text);
  TSettings Back;
  EXPECT_FALSE(ReadSettingsText(Back, Text).Failed());
}

TEST_F(SettingsTextTest, CodesAboveTheBasicPlaneNameWholeCharacters)
{
  // Other writers put a character outside the basic plane as one code; this writer puts its two
  // UTF-16 units. Both read as the same text, and the whole file still loads.
  const QString Expected = QStringLiteral("a\U0001F600b\U0010FFFF");
  for (const QByteArray& Value :
       {QByteArray("'a'#128512'b'#1114111"), QByteArray("'a'#$1F600'b'#$10ffff"),
        QByteArray("'a'#55357#56832'b'#56319#57343")}) {
    TSettings Record;
    const TSettingsError Error = ReadSettingsText(
        Record, "object TSettings\r\n  Server = " + Value + "\r\n  Port = 7\r\nend\r\n");
    ASSERT_FALSE(Error.Failed()) << Str(Value) << ": " << Str(Error.Message);
    EXPECT_EQ(Record.Server(), Expected) << Str(Value);
    EXPECT_EQ(Record.Port(), 7);
  }
  TSettings Record;
  Record.SetServer(Expected);
  EXPECT_TRUE(WriteSettingsText(Record).contains("'a'#55357#56832'b'#56319#57343"));
}

TEST_F(SettingsTextTest, UnsignedValuesRoundTripThroughTheirSignedForm)
{
  for (quint32 Value : {0u, 1u, 2147483647u, 2147483648u, 4294967295u}) {
    TKindsRecord Record;
    Record.Mask = Value;
    TKindsRecord Back;
    Back.Mask = 12345;
    ASSERT_FALSE(ReadSettingsText(Back, WriteSettingsText(Record)).Failed());
    EXPECT_EQ(Back.Mask, Value == 0 ? 12345u : Value); // 0 is the default: not written
  }
}

TEST_F(SettingsTextTest, SyntaxErrorsChangeNothing)
{
  const struct
  {
    QByteArray Text;
    const char* Message;
  } Cases[] = {
      {"object TSettings\r\n  Server = 'abc'\r\n  Port = 9", "Identifier expected on line 3"},
      {"object TSettings\r\n  Server = 'abc\r\n  Port = 9\r\nend\r\n",
       "Invalid string constant on line 2"},
      {"object TSettings\n  Server = 'abc'\n  Port 9\nend\n", "'=' expected on line 3"},
      {"object TSettings\n  Server = 'abc' + 5\nend\n", "String expected on line 2"},
      {"object TSettings\n  Port = 1..2\nend\n",
       "'1..2' is not a valid floating point value on line 2"},
      {"object TSettings\n  Port = 99999999999999999999\nend\n",
       "'99999999999999999999' is not a valid integer value on line 2"},
      {"object TSettings\n  Port = $\nend\n", "'$' is not a valid integer value on line 2"},
      {"object TSettings\n  Port = -\nend\n", "'-' is not a valid integer value on line 2"},
      {"object TSettings\n  Server = #\nend\n", "Invalid string constant on line 2"},
      {"object TSettings\n  Server = #1114112\nend\n", "Invalid string constant on line 2"},
      {"object TSettings\n  Server = #$110000\nend\n", "Invalid string constant on line 2"},
      {"object TSettings\n  Server = #99999999999\nend\n", "Invalid string constant on line 2"},
      {"object TSettings\n  Data = {0F0}\nend\n", "Invalid binary value on line 2"},
      {"object TSettings\n  Data = {0G}\nend\n", "Invalid binary value on line 2"},
      {"object TSettings\n  S = [a b]\nend\n", "',' expected on line 2"},
      {"object TSettings\n  PlaylistCols = <\n    Width = 1\n  >\nend\n",
       "item expected on line 3"},
      {"object TSettings\n  PlaylistCols = <item\n", "Identifier expected on line 3"},
      {"object TSettings\n  L = (1\n", "Invalid property value on line 3"},
      {"object TSettings\n  X = )\nend\n", "Invalid property value on line 2"},
      {"object TSettings [x]\nend\n", "Number expected on line 1"},
      {"object TSettings\n  object TChild\n  end\nend\n", "'=' expected on line 2"},
      {"thing TSettings\nend\n", "object expected on line 1"},
      {"", "object expected on line 1"},
      {Bytes("object TSettings\n  Server = 'a\0b'\nend\n"), "Invalid string constant on line 2"},
      {Bytes("object TSettings\n\0 end\n"), "Invalid character on line 2"},
      {"object TSettings\n  Server = '" + QByteArray(4090, 'x') + "'\nend\n", "Line too long"},
      {Bytes("\xFF\xFEo\0b\0"), "ANSI or UTF8 encoding expected"},
      {Bytes("\xFE\xFF\0o\0b"), "ANSI or UTF8 encoding expected"},
  };
  for (const auto& Case : Cases) {
    TSettings Record;
    Record.SetServer("before");
    Record.SetPort(1);
    Record.PlaylistCols().Add()->SetWidth(5);
    const TSettingsError Error = ReadSettingsText(Record, Case.Text);
    EXPECT_EQ(Error.Kind, TSettingsError::Parse) << Str(Case.Text);
    EXPECT_EQ(Str(Error.Message), Case.Message) << Str(Case.Text);
    EXPECT_EQ(Str(Record.Server()), "before");
    EXPECT_EQ(Record.Port(), 1);
    EXPECT_EQ(Record.PlaylistCols().Count(), 1);
  }
}

TEST_F(SettingsTextTest, LineLengthLimit)
{
  // 4095 bytes on a line still fit the reader's buffer, 4096 do not.
  const QByteArray Prefix = "  Server = '";
  for (int Length : {4095, 4096}) {
    const QByteArray Line = Prefix + QByteArray(Length - Prefix.size() - 2, 'x') + "'\r";
    ASSERT_EQ(Line.size(), Length);
    TSettings Record;
    const TSettingsError Error =
        ReadSettingsText(Record, "object TSettings\r\n" + Line + "\nend\r\n");
    EXPECT_EQ(Error.Failed(), Length == 4096) << Length;
  }
}

TEST_F(SettingsTextTest, ByteOrderMarkAndEightBitText)
{
  TSettings Record;
  // UTF-8 mark skipped; quoted text is UTF-8 with or without it.
  ASSERT_FALSE(
      ReadSettingsText(Record, "\xEF\xBB\xBFobject TSettings\n  User = 'Jos\xC3\xA9'\nend\n")
          .Failed());
  EXPECT_EQ(Record.User(), QString::fromUtf8("Jos\xC3\xA9"));
  ASSERT_FALSE(
      ReadSettingsText(Record, "object TSettings\n  User = '\xC3\xB1'#241\nend\n").Failed());
  EXPECT_EQ(Record.User(), QString::fromUtf8("\xC3\xB1\xC3\xB1"));
}

TEST_F(SettingsTextTest, CollectionsAreRebuiltOnlyWhenTheFileHasItems)
{
  TSystemIni Record;
  Record.Inputs().Items(0)->SetDeviceID("mic");
  ASSERT_FALSE(
      ReadSettingsText(Record, "object TSystemIni\n  Inputs = <>\n  EQBands = <>\nend\n").Failed());
  ASSERT_EQ(Record.Inputs().Count(), 4);
  EXPECT_EQ(Str(Record.Inputs().Items(0)->DeviceID()), "mic");
  EXPECT_EQ(Record.EQBands().Count(), 12);

  ASSERT_FALSE(ReadSettingsText(Record, "object TSystemIni\n"
                                        "  Inputs = <\n"
                                        "    item\n"
                                        "      Method = 1\n"
                                        "      DeviceID = 'usb'\n"
                                        "    end\n"
                                        "    item\n"
                                        "    end>\n"
                                        "end\n")
                   .Failed());
  ASSERT_EQ(Record.Inputs().Count(), 2);
  // Each new item starts from its constructor values.
  EXPECT_EQ(Record.Inputs().Items(0)->Method(), 1);
  EXPECT_EQ(Str(Record.Inputs().Items(0)->DeviceID()), "usb");
  EXPECT_FALSE(Record.Inputs().Items(0)->KeepAlive());
  EXPECT_EQ(Record.Inputs().Items(1)->Method(), -1);
  EXPECT_EQ(Record.Inputs().Items(1)->Collection(), &Record.Inputs());
}

TEST_F(SettingsTextTest, StringListsAreReplacedWhenPresent)
{
  TSystemIni Record;
  ASSERT_FALSE(ReadSettingsText(Record, "object TSystemIni\n"
                                        "  VSTFolder.Strings = (\n"
                                        "    '/a/'\n"
                                        "    '/b/')\n"
                                        "end\n")
                   .Failed());
  EXPECT_EQ(Record.VSTFolder(), (QStringList{"/a/", "/b/"}));
  ASSERT_FALSE(ReadSettingsText(Record, "object TSystemIni\nEND\n").Failed());
  EXPECT_EQ(Record.VSTFolder(), (QStringList{"/a/", "/b/"}));
  ASSERT_FALSE(
      ReadSettingsText(Record, "object TSystemIni\n  vstfolder.STRINGS = ()\nend\n").Failed());
  EXPECT_TRUE(Record.VSTFolder().isEmpty());
}

TEST_F(SettingsTextTest, OmittedValuesComeBackAsConstructorValues)
{
  TSystemIni Record;
  Record.VSTFolder().clear();
  Record.SetStreamUserAgent("");
  Record.SetBandwidth(0);
  Record.SetVSTSkipSettings("");
  const QByteArray Text = WriteSettingsText(Record);
  EXPECT_FALSE(Text.contains("VSTFolder"));
  EXPECT_FALSE(Text.contains("StreamUserAgent"));
  EXPECT_FALSE(Text.contains("Bandwidth"));

  TSystemIni Back;
  ASSERT_FALSE(ReadSettingsText(Back, Text).Failed());
  EXPECT_EQ(Back.VSTFolder(), QStringList{"/usr/lib/vst/"});
  EXPECT_EQ(Str(Back.StreamUserAgent()), "Airlume");
  EXPECT_EQ(Back.Bandwidth(), 2.5f);
}

TEST_F(SettingsTextTest, NonFiniteFloatsAreNotWritten)
{
  TKindsRecord Record;
  Record.Ratio = std::numeric_limits<double>::infinity();
  Record.Level = std::numeric_limits<float>::quiet_NaN();
  const QByteArray Text = WriteSettingsText(Record);
  EXPECT_FALSE(Text.contains("Ratio"));
  EXPECT_FALSE(Text.contains("Level"));
  TKindsRecord Back;
  EXPECT_FALSE(ReadSettingsText(Back, Text).Failed());
}

TEST_F(SettingsTextTest, RoundTripOfAChangedSystemRecord)
{
  TSystemIni Record;
  Record.SetAllowVstPlugins(true);
  Record.SetVSTFolder({"/opt/vst/", QString::fromUtf8("/home/j\xC3\xB6rg/vst 'x'/")});
  Record.SetVSTSkipSettings("a.so;B.SO");
  Record.SetBandsNum(8);
  Record.EQBands().Items(3)->SetCenterFreq(333);
  Record.SetBandwidth(0.1f);
  Record.SetEQRange(20);
  Record.SetLangDir("De");
  Record.Inputs().Items(0)->SetMethod(1);
  Record.Inputs().Items(0)->SetDeviceID("{0.0.1.00000000}.{a-b}");
  Record.Inputs().Items(0)->SetChan2(3);
  Record.Inputs().Items(0)->SetEventDriven(true);
  Record.Inputs().Items(2)->SetDevType(odNotUsed);
  Record.SetScreenReaderMode(true);
  Record.SetStreamUserAgent(QString(100, QLatin1Char('u')) + "\n" + QChar(0xD800));

  const QByteArray Text = WriteSettingsText(Record);
  TSystemIni Back;
  ASSERT_FALSE(ReadSettingsText(Back, Text).Failed());
  EXPECT_EQ(Str(WriteSettingsText(Back)), Str(Text));
  EXPECT_EQ(Back.VSTFolder(), Record.VSTFolder());
  EXPECT_EQ(Back.Bandwidth(), 0.1f);
  EXPECT_EQ(Back.EQBands().Items(3)->CenterFreq(), 333);
  EXPECT_EQ(Back.Inputs().Items(0)->Chan2(), 3);
  EXPECT_TRUE(Back.Inputs().Items(0)->EventDriven());
  EXPECT_EQ(Back.Inputs().Items(2)->DevType(), odNotUsed);
  EXPECT_EQ(Back.StreamUserAgent(), Record.StreamUserAgent());
}

TEST_F(SettingsTextTest, RandomStringsRoundTrip)
{
  QRandomGenerator Random(20261210);
  for (int Round = 0; Round < 300; ++Round) {
    QString Value;
    const int Length = static_cast<int>(Random.bounded(200));
    for (int I = 0; I < Length; ++I) {
      // Mostly printable ASCII, some quotes, control characters and any UTF-16 unit.
      const quint32 Pick = Random.bounded(10);
      const char16_t Unit = Pick < 6   ? static_cast<char16_t>(32 + Random.bounded(96))
                            : Pick < 7 ? u'\''
                            : Pick < 8 ? static_cast<char16_t>(Random.bounded(32))
                                       : static_cast<char16_t>(Random.bounded(65536));
      Value += QChar(Unit);
    }
    TSettings Record;
    Record.SetPass(Value);
    const QByteArray Text = WriteSettingsText(Record);
    for (const QByteArray& Line : Text.split('\n'))
      ASSERT_LE(Line.size(), 64 * 7 + 16) << Str(Text);
    TSettings Back;
    const TSettingsError Error = ReadSettingsText(Back, Text);
    ASSERT_FALSE(Error.Failed()) << Str(Error.Message) << "\n" << Str(Text);
    ASSERT_EQ(Back.Pass(), Value) << Str(Text);
  }
}

} // namespace

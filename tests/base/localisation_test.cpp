// The message table and the reading of window captions from lang.ini, with small language files
// in a temporary program folder, and the language files the program ships.
#include "base/data_folders.h"
#include "base/ini_file.h"
#include "base/localisation.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

namespace {

std::string Str(const QString& AText)
{
  return AText.toStdString();
}

// A program folder of its own with Lang/<dir>/lang.ini files; the message table and the
// language folder are back to their start-up state afterwards.
class LocalisationTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    ASSERT_TRUE(FDir.isValid());
    InitProgramFolder(FDir.path());
    SetLanguageDir(QStringLiteral("Xx"));
  }
  void TearDown() override
  {
    SetLanguageDir(QStringLiteral("En"));
    LoadMessages(FDir.filePath(QStringLiteral("none.ini")));
    InitProgramFolder();
  }

  void WriteLangFile(const QByteArray& AContent, const QString& ALangDir = QStringLiteral("Xx"))
  {
    ASSERT_TRUE(QDir(FDir.path()).mkpath(QStringLiteral("Lang/") + ALangDir));
    QFile File(FDir.filePath(QStringLiteral("Lang/") + ALangDir + QStringLiteral("/lang.ini")));
    ASSERT_TRUE(File.open(QIODevice::WriteOnly | QIODevice::Truncate));
    File.write(AContent);
  }

  QTemporaryDir FDir;
};

TEST(LocalisationQuotes, MessageAndCaptionRules)
{
  struct TCase
  {
    const char* Value;
    const char* Message;
    const char* Caption;
  };
  const TCase Cases[] = {
      {"plain", "plain", "plain"},
      {"'quoted'", "quoted", "quoted"},
      {"'open", "open", "'open"},
      {"close'", "close'", "close'"},
      {"'", "", "'"},
      {"''", "", ""},
      // Inside a quoted caption two quotes give one and a lone quote disappears.
      {"'Don''t'", "Don''t", "Don't"},
      {"'Don't'", "Don't", "Dont"},
      {"'a'''b'", "a'''b", "a'b"},
      {"''''", "''", "'"},
      {"'  padded  '", "  padded  ", "  padded  "},
      {"", "", ""},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Value);
    EXPECT_EQ(Str(UnquoteMessage(QString::fromUtf8(Case.Value))), Case.Message);
    EXPECT_EQ(Str(UnquoteCaption(QString::fromUtf8(Case.Value))), Case.Caption);
  }
}

TEST_F(LocalisationTest, LanguageFileIsInTheLanguageFolderOfTheProgramFolder)
{
  EXPECT_EQ(Str(LanguageFileName()), Str(ProgramFolder() + "Lang/Xx/lang.ini"));
}

TEST_F(LocalisationTest, LanguageFolderIsFoundWhateverItsLetterCase)
{
  WriteLangFile("[Strings]\r\ns31=Sicher?\r\n", QStringLiteral("De"));
  ASSERT_TRUE(QDir(FDir.path()).mkpath(QStringLiteral("Lang/PT")));
  ASSERT_TRUE(QDir(FDir.path()).mkpath(QStringLiteral("Lang/pt")));
  const struct
  {
    const char* Name;
    const char* Folder;
  } Cases[] = {
      {"De", "De"}, {"de", "De"}, {"DE", "De"}, {"pt", "pt"},       {"Pt", "PT"}, // name order
      {"Fr", ""},   {"", ""},     {"..", ""},   {"../Lang/De", ""},
  };
  for (const auto& Case : Cases)
    EXPECT_EQ(Str(FindLanguageFolder(QString::fromUtf8(Case.Name))), Case.Folder) << Case.Name;

  // A language chosen as "de" reads the shipped De folder's file.
  SetLanguageDir(QStringLiteral("de"));
  EXPECT_EQ(Str(LanguageFileName()), Str(ProgramFolder() + "Lang/De/lang.ini"));
  LoadMessages();
  EXPECT_EQ(Str(MessageText(MsgAreYouSure)), "Sicher?");
}

TEST_F(LocalisationTest, MessageTableWithoutLanguageFileHoldsTheBuiltInTexts)
{
  LoadMessages();
  EXPECT_EQ(Str(MessageText(MsgAreYouSure)), "Are you sure?");
  for (int I = 0; I < MessageCount; ++I)
    EXPECT_EQ(MessageText(I), BuiltInMessageText(I)) << I;
  EXPECT_TRUE(MessageText(-1).isEmpty());
  EXPECT_TRUE(MessageText(MessageCount).isEmpty());
}

TEST_F(LocalisationTest, MessageTableTakesTheLanguageFile)
{
  WriteLangFile("[strings]\r\n"
                "S31='Bist du sicher?'\r\n"
                "s0=First\tline\tbreaks\r\n"
                "s1='keeps a quote''\r\n"
                "s2=\r\n"
                "s79=last\r\n"
                "s80=beyond the table\r\n"
                "s031=leading zero is another key\r\n"
                "[Other]\r\n"
                "s3=not in Strings\r\n");
  LoadMessages();
  EXPECT_EQ(Str(MessageText(31)), "Bist du sicher?");
  EXPECT_EQ(Str(MessageText(0)), "First\nline\nbreaks");
  EXPECT_EQ(Str(MessageText(1)), "keeps a quote'");
  // Present but empty replaces the built-in text; absent keeps it.
  EXPECT_EQ(Str(MessageText(2)), "");
  EXPECT_EQ(Str(MessageText(3)), Str(BuiltInMessageText(3)));
  EXPECT_EQ(Str(MessageText(79)), "last");

  // Loading again from a language without the file brings the built-in texts back.
  SetLanguageDir(QStringLiteral("Missing"));
  LoadMessages();
  EXPECT_EQ(Str(MessageText(31)), "Are you sure?");
  EXPECT_EQ(Str(MessageText(0)), Str(BuiltInMessageText(0)));
}

TEST_F(LocalisationTest, FormTranslationReadsTheSharedMapAndTheWindowSection)
{
  WriteLangFile("\xEF\xBB\xBF"
                "[TranslationStrings]\n"
                "OK=Gut\n"
                "cancel=Abbrechen\n"
                "Cancel=second occurrence does not count\n"
                "Empty=\n"
                "Ändern=Change\n"
                "[MicDSP.Captions]\n"
                "@='Title in quotes'\n"
                "Button1='Don''t'\n"
                "Label1=plain\n"
                "[Other.Captions]\n"
                "Button9=elsewhere\n");
  const TFormTranslation Translation = TFormTranslation::Read(QStringLiteral("micdsp.captions"));
  EXPECT_EQ(Str(Translation.Translate("ok")), "Gut");
  EXPECT_EQ(Str(Translation.Translate("CANCEL")), "Abbrechen");
  EXPECT_EQ(Str(Translation.Translate(QString::fromUtf8("äNDERN"))), "Change");
  EXPECT_EQ(Str(Translation.Translate("Empty")), "");
  EXPECT_EQ(Str(Translation.Translate("unknown")), "");

  ASSERT_EQ(Translation.Captions().size(), 3);
  EXPECT_EQ(Str(Translation.Captions().at(0).Name), "@");
  // The title is used as it stands.
  EXPECT_EQ(Str(Translation.Captions().at(0).Caption), "'Title in quotes'");
  EXPECT_EQ(Str(Translation.Captions().at(1).Name), "Button1");
  EXPECT_EQ(Str(Translation.Captions().at(1).Caption), "Don't");
  EXPECT_EQ(Str(Translation.Captions().at(2).Caption), "plain");

  EXPECT_TRUE(TFormTranslation::Read(QStringLiteral("Missing.Captions")).Captions().isEmpty());
  SetLanguageDir(QStringLiteral("Missing"));
  EXPECT_TRUE(TFormTranslation::Read(QStringLiteral("MicDSP.Captions")).IsEmpty());
}

// Every shipped language translates the same captions as the English file, which holds the
// designed texts of the translated windows.
TEST(ShippedLanguages, CoverEveryTranslatedWindow)
{
  const QString LangFolder = QStringLiteral(VEXMO_BIN_DIR "Lang/");
  const TIniFile English(LangFolder + QStringLiteral("En/lang.ini"));
  const QStringList Windows = {"MicDSP.Captions", "DSPAdd.Captions", "PluginFolders.Captions"};
  struct TDesigned
  {
    const char* Section;
    const char* Name;
    const char* Caption;
  };
  const TDesigned Designed[] = {
      {"MicDSP.Captions", "@", "DSP"},
      {"MicDSP.Captions", "Button1", "OK"},
      {"DSPAdd.Captions", "@", "DSP"},
      {"DSPAdd.Captions", "Label45", "Winamp DSP plug-ins"},
      {"DSPAdd.Captions", "chVstplugins", "VST plug-ins"},
      {"DSPAdd.Captions", "Button4", "Refresh list"},
      {"DSPAdd.Captions", "Button3", "Plugin folders..."},
      {"DSPAdd.Captions", "Button1", "OK"},
      {"DSPAdd.Captions", "Button2", "Cancel"},
      {"PluginFolders.Captions", "@", "Plugin Location"},
      {"PluginFolders.Captions", "Label1", "Winamp DSP plugins"},
      {"PluginFolders.Captions", "Label27", "open folder"},
      {"PluginFolders.Captions", "Button1", "..."},
      {"PluginFolders.Captions", "Label3", "VST plugins"},
      {"PluginFolders.Captions", "Label2", "open folder"},
      {"PluginFolders.Captions", "Button2", "..."},
      {"PluginFolders.Captions", "Button3", "OK"},
      {"PluginFolders.Captions", "Button4", "Cancel"},
  };
  for (const TDesigned& Text : Designed)
    EXPECT_EQ(Str(English.ReadString(Text.Section, Text.Name)), Text.Caption)
        << Text.Section << " " << Text.Name;
  int Keys = 0;
  for (const QString& Window : Windows)
    Keys += English.ReadSection(Window).size();
  EXPECT_EQ(Keys, static_cast<int>(std::size(Designed)));

  const QStringList Languages = QDir(LangFolder).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
  EXPECT_TRUE(Languages.contains("En"));
  EXPECT_GE(Languages.size(), 2);
  for (const QString& Language : Languages) {
    SCOPED_TRACE(Str(Language));
    const QString File = LangFolder + Language + QStringLiteral("/lang.ini");
    const TIniFile Translated(File);
    for (const QString& Window : Windows) {
      QStringList Expected = English.ReadSection(Window);
      QStringList Actual = Translated.ReadSection(Window);
      for (QStringList* List : {&Expected, &Actual})
        for (QString& Key : *List)
          Key = Key.toLower();
      std::sort(Expected.begin(), Expected.end());
      std::sort(Actual.begin(), Actual.end());
      EXPECT_EQ(Actual, Expected) << Str(Window);
      for (const QString& Key : Translated.ReadSection(Window))
        EXPECT_FALSE(Translated.ReadString(Window, Key).isEmpty()) << Str(Window + " " + Key);
    }
    LoadMessages(File);
    EXPECT_FALSE(MessageText(MsgAreYouSure).isEmpty());
  }
  LoadMessages(LangFolder + QStringLiteral("none/lang.ini"));
}

} // namespace

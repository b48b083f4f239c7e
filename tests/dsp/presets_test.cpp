// Preset files: the hexadecimal block rules, both file kinds, and the folder listing.
#include "base/ini_file.h"
#include "dsp/presets.h"
#include "dsp_test_support.h"

#include <QDir>
#include <QFile>

using namespace dsptest;

namespace {

class TPresetsTest : public TChainTest
{
protected:
  void WriteText(const QString& AFileName, const QByteArray& AText)
  {
    QDir().mkpath(QFileInfo(AFileName).absolutePath());
    QFile File(AFileName);
    ASSERT_TRUE(File.open(QIODevice::WriteOnly));
    File.write(AText);
  }
};

TEST_F(TPresetsTest, FoldersLieInTheDataFolder)
{
  EXPECT_EQ(EqPresetFolder(), FData.path() + "/Presets/Equalizer/");
  EXPECT_EQ(CompressorPresetFolder(), FData.path() + "/Presets/Compressor/");
}

TEST_F(TPresetsTest, EqualizerBlockReadsByTheHexRules)
{
  struct TCase
  {
    const char* Value;
    qint32 Band0;
    qint32 Band1;
    qint32 Band11;
  };
  const TCase Cases[] = {
      {"03000000FEFFFFFF", 3, -2, 0},                 // 16 digits fill two bands, the rest read 0
      {"03000000feffffff", 3, -2, 0},                 // lower case
      {"03000000FEFFFFFG00000000", 3, 0x00FFFFFE, 0}, // stops at "FG"
      {"0300000", 3, 0, 0},                           // a lone digit is no pair
      {"", 0, 0, 0},
      {"010000000000000000000000000000000000000000000000000000000000000000000000000000000000"
       "00000C000000FFFF",
       1, 0, 12}, // longer than the block: the rest is not read
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Value);
    WriteText(EqPresetFolder() + "Test.eqp",
              QByteArray("[Equalizer]\r\nSettings=") + Case.Value + "\r\n");
    const auto Gains = ReadEqPreset(QStringLiteral("Test"));
    ASSERT_TRUE(Gains.has_value());
    EXPECT_EQ((*Gains)[0], Case.Band0);
    EXPECT_EQ((*Gains)[1], Case.Band1);
    EXPECT_EQ((*Gains)[11], Case.Band11);
    for (int i = 2; i < 11; ++i)
      EXPECT_EQ((*Gains)[i], 0) << "band " << i;
  }
  EXPECT_FALSE(ReadEqPreset(QStringLiteral("Gone")).has_value());
}

TEST_F(TPresetsTest, SavingWritesUpperCaseBlocksAndKeepsTheRestOfTheFile)
{
  const QString FileName = EqPresetFolder() + "Warm.eqp";
  WriteText(FileName, "; made by hand\r\n[Equalizer]\r\nSettings=00\r\nAuthor=me\r\n[Other]\r\n"
                      "Key=Value\r\n");
  TEqPresetGains Gains{};
  Gains[0] = 3;
  Gains[1] = -2;
  Gains[11] = 10;
  QString Error;
  ASSERT_TRUE(WriteEqPresetFile(FileName, Gains, Error)) << Error.toStdString();
  TIniFile Ini(FileName);
  const QString Value = Ini.ReadString("Equalizer", "Settings");
  EXPECT_EQ(Value.size(), 96);
  EXPECT_TRUE(Value.startsWith("03000000FEFFFFFF00000000")) << Value.toStdString();
  EXPECT_TRUE(Value.endsWith("0A000000"));
  EXPECT_EQ(Ini.ReadString("Equalizer", "Author"), QStringLiteral("me"));
  EXPECT_EQ(Ini.ReadString("Other", "Key"), QStringLiteral("Value"));
  QFile File(FileName);
  ASSERT_TRUE(File.open(QIODevice::ReadOnly));
  EXPECT_TRUE(File.readAll().startsWith("; made by hand"));
  EXPECT_EQ(ReadEqPreset(QStringLiteral("Warm")), Gains);

  // Saving again under the same name overwrites the preset.
  Gains.fill(-1);
  ASSERT_TRUE(WriteEqPresetFile(FileName, Gains, Error));
  EXPECT_EQ(ReadEqPreset(QStringLiteral("Warm")), Gains);
}

TEST_F(TPresetsTest, CompressorBlockHoldsFiveDoubles)
{
  const QString FileName = CompressorPresetFolder() + "Voice.cmp";
  const TCompressorPresetValues Values{4, -16, 2.3, 10, 200};
  QString Error;
  ASSERT_TRUE(WriteCompressorPresetFile(FileName, Values, Error)) << Error.toStdString();
  const QString Value = TIniFile(FileName).ReadString("Compressor", "Settings");
  EXPECT_EQ(Value.size(), 80);
  EXPECT_TRUE(Value.startsWith("0000000000001040")) << Value.toStdString(); // 4.0
  EXPECT_EQ(ReadCompressorPresetFile(FileName), Values);

  // Only the gain supplied: the others read 0.
  WriteText(FileName, "[Compressor]\nSettings=0000000000001040\n");
  EXPECT_EQ(ReadCompressorPresetFile(FileName), (TCompressorPresetValues{4, 0, 0, 0, 0}));
  EXPECT_FALSE(ReadCompressorPresetFile(FileName + ".gone").has_value());
}

TEST_F(TPresetsTest, PresetListHoldsTheMatchingFilesOfTheFolder)
{
  EXPECT_TRUE(GetPresetList(EqPresetFolder(), EqPresetExt).isEmpty()); // no folder yet
  QString Error;
  // A name made only of forbidden characters leaves the file ".eqp".
  for (const char* Name : {"A.eqp", ".eqp", "B&C.eqp"})
    ASSERT_TRUE(WriteEqPresetFile(EqPresetFolder() + Name, {}, Error));
  WriteText(EqPresetFolder() + "notes.txt", "x");
  ASSERT_TRUE(QDir().mkpath(EqPresetFolder() + "folder.eqp"));
  QStringList List = GetPresetList(EqPresetFolder(), EqPresetExt);
  List.sort();
  EXPECT_EQ(List, QStringList({EqPresetFolder() + ".eqp", EqPresetFolder() + "A.eqp",
                               EqPresetFolder() + "B&C.eqp"}));
  EXPECT_TRUE(GetPresetList(EqPresetFolder(), CompressorPresetExt).isEmpty());
}

TEST_F(TPresetsTest, SaveIntoAnUnusableFolderReportsWhy)
{
  // A file stands where the folder should be.
  WriteText(FData.path() + "/Presets", "in the way");
  QString Error;
  EXPECT_FALSE(WriteEqPresetFile(EqPresetFolder() + "A.eqp", {}, Error));
  EXPECT_FALSE(Error.isEmpty());
}

} // namespace

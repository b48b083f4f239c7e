#include "base/localisation.h"

#include "base/data_folders.h"
#include "base/ini_file.h"

#include <QDir>
#include <QFileInfo>

#include <array>

namespace {

const QString StringsSection = QStringLiteral("Strings");
const QString TranslationSection = QStringLiteral("TranslationStrings");
const QString WindowKey = QStringLiteral("@");

QString LangDirName = QStringLiteral("En");

// Only entry 31 is used by this program (handed to the plug-in layer); the other numbers belong
// to the code base it shares and have no text of their own here.
QString BuiltIn(int AIndex)
{
  return AIndex == MsgAreYouSure ? QStringLiteral("Are you sure?") : QString();
}

std::array<QString, MessageCount>& Table()
{
  static std::array<QString, MessageCount> Messages = [] {
    std::array<QString, MessageCount> Result;
    for (int I = 0; I < MessageCount; ++I)
      Result[I] = BuiltIn(I);
    return Result;
  }();
  return Messages;
}

QString FoldCase(const QString& AText)
{
  return AText.toCaseFolded();
}

} // namespace

void SetLanguageDir(const QString& ALangDir)
{
  LangDirName = ALangDir;
}

QString LanguageDir()
{
  return LangDirName;
}

QString LanguageFileName()
{
  const QString Folder = FindLanguageFolder(LangDirName);
  return ProgramFolder() + QStringLiteral("Lang/") + (Folder.isEmpty() ? LangDirName : Folder) +
         QStringLiteral("/lang.ini");
}

QString FindLanguageFolder(const QString& AName)
{
  if (AName.isEmpty() || AName == QLatin1String(".") || AName == QLatin1String("..") ||
      AName.contains(QLatin1Char('/')) || AName.contains(QLatin1Char('\\')))
    return {};
  const QDir Lang(ProgramFolder() + QStringLiteral("Lang/"));
  if (QFileInfo(Lang.filePath(AName)).isDir())
    return AName;
  const QStringList Folders =
      Lang.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
  for (const QString& Folder : Folders)
    if (Folder.compare(AName, Qt::CaseInsensitive) == 0)
      return Folder;
  return {};
}

void LoadMessages()
{
  LoadMessages(LanguageFileName());
}

void LoadMessages(const QString& AFileName)
{
  const TIniFile File(AFileName);
  std::array<QString, MessageCount>& Messages = Table();
  for (int I = 0; I < MessageCount; ++I) {
    const QString Key = QStringLiteral("s%1").arg(I);
    QString Text = File.ValueExists(StringsSection, Key)
                       ? UnquoteMessage(File.ReadString(StringsSection, Key))
                       : BuiltIn(I);
    // A line break cannot be written in an INI value; translators write a tab instead.
    Text.replace(QLatin1Char('\t'), QLatin1Char('\n'));
    Messages[I] = Text;
  }
}

QString MessageText(int AIndex)
{
  return AIndex >= 0 && AIndex < MessageCount ? Table()[AIndex] : QString();
}

QString BuiltInMessageText(int AIndex)
{
  return AIndex >= 0 && AIndex < MessageCount ? BuiltIn(AIndex) : QString();
}

QString UnquoteMessage(const QString& AValue)
{
  QString Result = AValue;
  if (Result.startsWith(QLatin1Char('\''))) {
    Result.remove(0, 1);
    if (Result.endsWith(QLatin1Char('\'')))
      Result.chop(1);
  }
  return Result;
}

QString UnquoteCaption(const QString& AValue)
{
  if (AValue.size() < 2 || !AValue.startsWith(QLatin1Char('\'')) ||
      !AValue.endsWith(QLatin1Char('\'')))
    return AValue;
  QString Result;
  Result.reserve(AValue.size() - 2);
  bool PreviousDropped = false;
  for (qsizetype I = 1; I < AValue.size() - 1; ++I) {
    const QChar C = AValue.at(I);
    if (C == QLatin1Char('\'') && !PreviousDropped) {
      PreviousDropped = true;
      continue;
    }
    Result.append(C);
    PreviousDropped = false;
  }
  return Result;
}

QString TFormTranslation::Translate(const QString& ADesigned) const
{
  return FMap.value(FoldCase(ADesigned));
}

TFormTranslation TFormTranslation::Read(const QString& ASection)
{
  return Read(LanguageFileName(), ASection);
}

TFormTranslation TFormTranslation::Read(const QString& AFileName, const QString& ASection)
{
  TFormTranslation Result;
  const TIniFile File(AFileName);
  for (const QString& Key : File.ReadSection(TranslationSection)) {
    const QString Value = File.ReadString(TranslationSection, Key);
    const QString Folded = FoldCase(Key);
    if (!Value.isEmpty() && !Result.FMap.contains(Folded))
      Result.FMap.insert(Folded, Value);
  }
  for (const QString& Key : File.ReadSection(ASection)) {
    if (Key == WindowKey)
      Result.FCaptions.append({Key, File.ReadString(ASection, Key)});
    else
      Result.FCaptions.append({Key, UnquoteCaption(File.ReadString(
                                        ASection, Key, QStringLiteral("~StringLoadError")))});
  }
  return Result;
}

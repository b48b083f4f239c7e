#include "base/data_folders.h"

#include "base/ini_file.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {

QString GProgramFolder;
QString GInstallUID;
QString GDataFolder;

QString WithFinalSlash(const QString& AFolder)
{
  return AFolder.endsWith(QLatin1Char('/')) ? AFolder : AFolder + QLatin1Char('/');
}

QString ExecutableFolder()
{
  QString Folder;
  if (QCoreApplication::instance())
    Folder = QCoreApplication::applicationDirPath();
  else
    Folder = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
  const QString Canonical = QFileInfo(Folder).canonicalFilePath();
  return Canonical.isEmpty() ? Folder : Canonical;
}

// An environment folder counts only when it is absolute; relative ones are to be ignored.
QString AbsoluteEnvFolder(const char* AName)
{
  const QString Value = qEnvironmentVariable(AName);
  return QDir::isAbsolutePath(Value) ? Value : QString();
}

QString PerUserConfigFolder()
{
  QString Folder = AbsoluteEnvFolder("XDG_CONFIG_HOME");
  if (Folder.isEmpty()) {
    const QString Home = qEnvironmentVariable("HOME");
    if (!QDir::isAbsolutePath(Home))
      return {};
    Folder = Home + QStringLiteral("/.config");
  }
  return WithFinalSlash(QDir::cleanPath(Folder));
}

QString AllUsersConfigFolder()
{
  const QStringList Folders =
      qEnvironmentVariable("XDG_CONFIG_DIRS").split(QLatin1Char(':'), Qt::SkipEmptyParts);
  for (const QString& Folder : Folders) {
    if (QDir::isAbsolutePath(Folder))
      return WithFinalSlash(QDir::cleanPath(Folder));
  }
  return QStringLiteral("/etc/xdg/");
}

} // namespace

void InitProgramFolder(const QString& AFolder)
{
  QString Folder;
  if (AFolder.isEmpty()) {
    Folder = ExecutableFolder();
  } else {
    const QFileInfo Info(AFolder);
    Folder = Info.canonicalFilePath();
    if (Folder.isEmpty())
      Folder = QDir::cleanPath(Info.absoluteFilePath());
  }
  GProgramFolder = WithFinalSlash(Folder);
}

QString ProgramFolder()
{
  return GProgramFolder;
}

void InitDataFolder()
{
  const TIniFile UidIni(GProgramFolder + QStringLiteral("uid.ini"));
  QString UID = UidIni.ReadString(QStringLiteral("Settings"), QStringLiteral("UID"));
  const bool AllUsers = UidIni.ReadString(QStringLiteral("Settings"), QStringLiteral("Allusers")) ==
                        QLatin1String("A");
  // The identifier names one folder; it must not lead anywhere else.
  UID.replace(QLatin1Char('/'), QLatin1Char('_')).replace(QLatin1Char('\\'), QLatin1Char('_'));
  GInstallUID = UID;
  if (UID.isEmpty()) {
    GDataFolder = GProgramFolder;
    return;
  }
  const QString Base = AllUsers ? AllUsersConfigFolder() : PerUserConfigFolder();
  if (Base.isEmpty()) {
    GDataFolder = GProgramFolder;
    return;
  }
  GDataFolder = Base + QStringLiteral("Korvane/Vexmo_") + UID + QLatin1Char('/');
  // A folder that cannot be created shows up later as missing settings files (defaults) and
  // as errors when they are saved.
  QDir().mkpath(GDataFolder);
}

QString InstallUID()
{
  return GInstallUID;
}

QString DataFolder()
{
  return GDataFolder;
}

QString ExpandDataPath(const QString& APath)
{
  QString Result;
  if (APath.size() >= 2 && APath[0] == QLatin1Char('\\') && APath[1] != QLatin1Char('\\')) {
    QString Relative = APath;
    Relative.replace(QLatin1Char('\\'), QLatin1Char('/'));
    Result = GDataFolder;
    if (Result.endsWith(QLatin1Char('/')))
      Result.chop(1);
    Result += Relative;
  } else {
    Result = APath;
  }
  if (Result.size() > 1 &&
      (Result.endsWith(QLatin1Char('/')) || Result.endsWith(QLatin1Char('\\'))))
    Result.chop(1);
  return Result;
}

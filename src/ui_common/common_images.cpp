#include "ui_common/common_images.h"

#include <QHash>

// Resources of a static library are only registered when something asks for them.
static void InitCommonImageResources()
{
  static const bool Done = [] {
    Q_INIT_RESOURCE(images);
    return true;
  }();
  Q_UNUSED(Done);
}

namespace {

struct TImageEntry
{
  const char* Name;
  const char* File;
};

// The names are the ones the windows ask for; "record broadcast " carries its trailing blank.
const TImageEntry CImages[] = {
    {"record broadcast ", "record.svg"},
    {"insert", "insert.svg"},
    {"Delete", "delete.svg"},
    {"FX", "fx.svg"},
    {"settings", "settings.svg"},
    {"Add File", "add_file.svg"},
    {"Plus", "plus.svg"},
    {"minus", "minus.svg"},
    {"up", "up.svg"},
    {"down", "down.svg"},
};

QString Key(const QString& AName)
{
  return AName.trimmed().toLower();
}

const QHash<QString, QString>& Files()
{
  static const QHash<QString, QString> Map = [] {
    QHash<QString, QString> Result;
    for (const TImageEntry& Entry : CImages)
      Result.insert(Key(QString::fromLatin1(Entry.Name)),
                    QStringLiteral(":/vexmo/images/") + QLatin1String(Entry.File));
    return Result;
  }();
  return Map;
}

} // namespace

QString CommonImagePath(const QString& AName)
{
  InitCommonImageResources();
  return Files().value(Key(AName));
}

QIcon CommonImage(const QString& AName)
{
  const QString Path = CommonImagePath(AName);
  return Path.isEmpty() ? QIcon() : QIcon(Path);
}

QStringList CommonImageNames()
{
  QStringList Names;
  for (const TImageEntry& Entry : CImages)
    Names << QString::fromLatin1(Entry.Name);
  return Names;
}

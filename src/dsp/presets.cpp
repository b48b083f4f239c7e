#include "dsp/presets.h"

#include "base/ini_file.h"
#include "dsp/plugins.h"

#include <QDir>
#include <QFileInfo>
#include <QtEndian>
#include <cstring>

const QString EqPresetExt = QStringLiteral("eqp");
const QString CompressorPresetExt = QStringLiteral("cmp");

namespace {

const QString SettingsKey = QStringLiteral("Settings");
const QString EqSection = QStringLiteral("Equalizer");
const QString CompressorSection = QStringLiteral("Compressor");

int HexDigit(QChar AChar)
{
  const char16_t C = AChar.unicode();
  if (C >= u'0' && C <= u'9')
    return C - u'0';
  if (C >= u'A' && C <= u'F')
    return C - u'A' + 10;
  if (C >= u'a' && C <= u'f')
    return C - u'a' + 10;
  return -1;
}

QByteArray ReadBlock(const QString& AFileName, const QString& ASection, int ASize)
{
  return HexBlockToBytes(TIniFile(AFileName).ReadString(ASection, SettingsKey), ASize);
}

bool WriteBlock(const QString& AFileName, const QString& ASection, const QByteArray& ABytes,
                QString& AError)
{
  const QString Folder = QFileInfo(AFileName).absolutePath();
  if (!QDir().mkpath(Folder)) {
    AError = QStringLiteral("Unable to create the folder %1").arg(Folder);
    return false;
  }
  TIniFile File(AFileName);
  if (!File.WriteString(ASection, SettingsKey, BytesToHexBlock(ABytes))) {
    AError = File.LastError().isEmpty() ? QStringLiteral("Unable to write %1").arg(AFileName)
                                        : File.LastError();
    return false;
  }
  AError.clear();
  return true;
}

} // namespace

QString EqPresetFolder()
{
  return PresetBaseFolder() + QStringLiteral("Presets/Equalizer/");
}

QString CompressorPresetFolder()
{
  return PresetBaseFolder() + QStringLiteral("Presets/Compressor/");
}

QStringList GetPresetList(const QString& APresetFolder, const QString& APresetExt)
{
  QStringList Result;
  if (APresetFolder.isEmpty())
    return Result;
  QString Folder = APresetFolder;
  if (!Folder.endsWith(QLatin1Char('/')))
    Folder += QLatin1Char('/');
  const QStringList Names = QDir(Folder).entryList({QStringLiteral("*.") + APresetExt},
                                                   QDir::Files | QDir::Hidden, QDir::Unsorted);
  for (const QString& Name : Names)
    Result.append(Folder + Name);
  return Result;
}

QString BytesToHexBlock(const QByteArray& ABytes)
{
  return QString::fromLatin1(ABytes.toHex().toUpper());
}

QByteArray HexBlockToBytes(const QString& AText, int ASize)
{
  QByteArray Bytes(qMax(ASize, 0), '\0');
  for (int i = 0; i < Bytes.size() && 2 * i + 1 < AText.size(); ++i) {
    const int High = HexDigit(AText.at(2 * i));
    const int Low = HexDigit(AText.at(2 * i + 1));
    if (High < 0 || Low < 0)
      break;
    Bytes[i] = static_cast<char>(High * 16 + Low);
  }
  return Bytes;
}

std::optional<TEqPresetGains> ReadEqPreset(const QString& AName)
{
  return ReadEqPresetFile(EqPresetFolder() + AName + QLatin1Char('.') + EqPresetExt);
}

std::optional<TEqPresetGains> ReadEqPresetFile(const QString& AFileName)
{
  if (!QFileInfo(AFileName).isFile())
    return std::nullopt;
  TEqPresetGains Gains{};
  const QByteArray Bytes = ReadBlock(AFileName, EqSection, sizeof(qint32) * Gains.size());
  for (size_t i = 0; i < Gains.size(); ++i)
    Gains[i] = qFromLittleEndian<qint32>(Bytes.constData() + sizeof(qint32) * i);
  return Gains;
}

std::optional<TCompressorPresetValues> ReadCompressorPresetFile(const QString& AFileName)
{
  if (!QFileInfo(AFileName).isFile())
    return std::nullopt;
  TCompressorPresetValues Values{};
  const QByteArray Bytes = ReadBlock(AFileName, CompressorSection, sizeof(double) * Values.size());
  for (size_t i = 0; i < Values.size(); ++i) {
    const quint64 Bits = qFromLittleEndian<quint64>(Bytes.constData() + sizeof(double) * i);
    std::memcpy(&Values[i], &Bits, sizeof(double));
  }
  return Values;
}

bool WriteEqPresetFile(const QString& AFileName, const TEqPresetGains& AGains, QString& AError)
{
  QByteArray Bytes(sizeof(qint32) * AGains.size(), '\0');
  for (size_t i = 0; i < AGains.size(); ++i)
    qToLittleEndian<qint32>(AGains[i], Bytes.data() + sizeof(qint32) * i);
  return WriteBlock(AFileName, EqSection, Bytes, AError);
}

bool WriteCompressorPresetFile(const QString& AFileName, const TCompressorPresetValues& AValues,
                               QString& AError)
{
  QByteArray Bytes(sizeof(double) * AValues.size(), '\0');
  for (size_t i = 0; i < AValues.size(); ++i) {
    quint64 Bits = 0;
    std::memcpy(&Bits, &AValues[i], sizeof(double));
    qToLittleEndian<quint64>(Bits, Bytes.data() + sizeof(double) * i);
  }
  return WriteBlock(AFileName, CompressorSection, Bytes, AError);
}

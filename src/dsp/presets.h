// Preset files of the equalizer and the compressor: one small INI-style file per preset, in a
// folder of the data folder, holding the settings as one block of bytes written in hexadecimal.
// The menus that list them come with the DSP windows.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>

// Equalizer presets: the gains of bands 0 to 11 in whole decibels.
using TEqPresetGains = std::array<qint32, 12>;
// Compressor presets: gain (dB), threshold (dB), ratio, attack (ms), release (ms).
using TCompressorPresetValues = std::array<double, 5>;

// Data folder + "Presets/Equalizer/" and + "Presets/Compressor/".
QString EqPresetFolder();
QString CompressorPresetFolder();
extern const QString EqPresetExt;         // "eqp"
extern const QString CompressorPresetExt; // "cmp"

// Full paths of the files matching "*." + AExt directly in AFolder, in the order the file system
// lists them; a missing folder gives an empty list.
QStringList GetPresetList(const QString& APresetFolder, const QString& APresetExt);

// Two upper-case hexadecimal digits per byte, in memory order.
QString BytesToHexBlock(const QByteArray& ABytes);
// ASize bytes from the text: either letter case is read, reading stops at the first pair that
// is not hexadecimal, and bytes the text does not supply are 0.
QByteArray HexBlockToBytes(const QString& AText, int ASize);

// The gains of EqPresetFolder() + AName + ".eqp"; nothing when that file does not exist.
std::optional<TEqPresetGains> ReadEqPreset(const QString& AName);
// The same for any file; nothing when it does not exist.
std::optional<TEqPresetGains> ReadEqPresetFile(const QString& AFileName);
std::optional<TCompressorPresetValues> ReadCompressorPresetFile(const QString& AFileName);

// Write the block under [Equalizer] / [Compressor], key "Settings", creating the file's folder
// with its parents first. An existing file keeps everything else it holds. On failure AError
// gets the reason and false is returned.
bool WriteEqPresetFile(const QString& AFileName, const TEqPresetGains& AGains, QString& AError);
bool WriteCompressorPresetFile(const QString& AFileName, const TCompressorPresetValues& AValues,
                               QString& AError);

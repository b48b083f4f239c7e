#include "recorder/flac_output.h"

#include <FLAC/stream_encoder.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace {

struct TEncoderDeleter
{
  void operator()(FLAC__StreamEncoder* AEncoder) const { FLAC__stream_encoder_delete(AEncoder); }
};

void SetError(QString* AError, const QString& AText)
{
  if (AError)
    *AError = AText;
}

} // namespace

bool WriteFlacFile(const QString& APath, const float* ASamples, int64_t AFrames,
                   const TFlacFormat& AFormat, QString* AError)
{
  const QFileInfo Target(APath);
  if (!QFileInfo(Target.absolutePath()).isDir()) {
    SetError(AError, QStringLiteral("The folder %1 does not exist.")
                         .arg(QDir::toNativeSeparators(Target.absolutePath())));
    return false;
  }
  // A hidden name in the target's folder, so the rename cannot cross file systems.
  const QString Temp =
      Target.absolutePath() + QStringLiteral("/.") + Target.fileName() + QStringLiteral(".part");

  std::unique_ptr<FLAC__StreamEncoder, TEncoderDeleter> Encoder(FLAC__stream_encoder_new());
  if (!Encoder) {
    SetError(AError, QStringLiteral("Out of memory."));
    return false;
  }
  FLAC__StreamEncoder* E = Encoder.get();
  FLAC__stream_encoder_set_channels(E, unsigned(AFormat.Chans));
  FLAC__stream_encoder_set_bits_per_sample(E, unsigned(AFormat.Bits));
  FLAC__stream_encoder_set_sample_rate(E, unsigned(AFormat.Rate));
  FLAC__stream_encoder_set_compression_level(E, unsigned(AFormat.Level));
  FLAC__stream_encoder_set_total_samples_estimate(E, FLAC__uint64(AFrames));
  FLAC__stream_encoder_set_verify(E, false);

  const QByteArray TempName = QFile::encodeName(Temp);
  if (FLAC__stream_encoder_init_file(E, TempName.constData(), nullptr, nullptr) !=
      FLAC__STREAM_ENCODER_INIT_STATUS_OK) {
    SetError(AError,
             QStringLiteral("Cannot create %1: %2")
                 .arg(QDir::toNativeSeparators(APath),
                      QString::fromLatin1(
                          FLAC__StreamEncoderStateString[FLAC__stream_encoder_get_state(E)])));
    QFile::remove(Temp);
    return false;
  }

  const double Scale = AFormat.Bits == 24 ? 8388608.0 : 32768.0;
  const double Top = Scale - 1.0;
  constexpr int64_t CBlock = 4096;
  std::vector<FLAC__int32> Block(size_t(CBlock * AFormat.Chans));
  bool Ok = true;
  for (int64_t F = 0; F < AFrames && Ok; F += CBlock) {
    const int64_t N = std::min(CBlock, AFrames - F);
    const float* From = ASamples + F * AFormat.Chans;
    for (int64_t I = 0; I < N * AFormat.Chans; ++I) {
      const double V = std::nearbyint(double(From[I]) * Scale);
      Block[size_t(I)] = FLAC__int32(std::clamp(V, -Scale, Top));
    }
    Ok = FLAC__stream_encoder_process_interleaved(E, Block.data(), unsigned(N));
  }
  Ok = FLAC__stream_encoder_finish(E) && Ok;
  if (!Ok) {
    SetError(AError, QStringLiteral("Cannot write %1 (is the disk full?).")
                         .arg(QDir::toNativeSeparators(APath)));
    QFile::remove(Temp);
    return false;
  }
  // rename(2) replaces an existing file in one step.
  if (::rename(TempName.constData(), QFile::encodeName(APath).constData()) != 0) {
    SetError(AError,
             QStringLiteral("Cannot write %1: %2")
                 .arg(QDir::toNativeSeparators(APath), QString::fromLocal8Bit(strerror(errno))));
    QFile::remove(Temp);
    return false;
  }
  return true;
}

QString VoiceTrackBaseName(const QDateTime& AWhen)
{
  return QStringLiteral("VoiceTrack ") + AWhen.toString(QStringLiteral("yyyy-MM-dd HH-mm-ss"));
}

QString NewVoiceTrackPath(const QString& AFolder, const QString& ASuffix, const QDateTime& AWhen)
{
  const QString Base = AFolder + VoiceTrackBaseName(AWhen);
  QString Path = Base + ASuffix;
  for (int N = 2; QFileInfo::exists(Path); ++N)
    Path = Base + QStringLiteral(" %1").arg(N) + ASuffix;
  return Path;
}

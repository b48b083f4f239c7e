// A level meter for live audio: one bar per channel (peak since the last reading, RMS inside it,
// the two-second hold as a line, a red end when it clipped) and the momentary and short-term
// loudness in words. It reads a TLevelMeter, which the audio thread feeds, about thirty times a
// second; the reading is lock-free, so the UI never waits for audio. Without a meter it shows why
// it is idle. A click clears the clip mark.
#pragma once

#include "audio/bass.h"

#include <QTimer>
#include <QWidget>
#include <cmath>

namespace vexmo::audio {
class TLevelMeter;
}

class TLevelMeterWidget : public QWidget
{
  Q_OBJECT

public:
  explicit TLevelMeterWidget(QWidget* AParent = nullptr);

  // The meter to show (not owned; it must outlive the widget or be replaced with null first).
  void SetMeter(vexmo::audio::TLevelMeter* AMeter);
  vexmo::audio::TLevelMeter* Meter() const { return FMeter; }
  // Shown in place of the bars while there is no meter.
  void SetIdleText(const QString& AText);
  QString IdleText() const { return FIdleText; }
  // What the bars show now, in words (also the accessible description).
  QString ValueText() const;
  // Reads the meter now (the timer does it on its own).
  void Poll();

  QSize sizeHint() const override;

protected:
  void paintEvent(QPaintEvent* AEvent) override;
  void mousePressEvent(QMouseEvent* AEvent) override;

private:
  vexmo::audio::TLevelMeter* FMeter = nullptr;
  QString FIdleText;
  QTimer FTimer;
  unsigned FChans = 0;
  float FPeakDb[8];
  float FRmsDb[8];
  float FHoldDb[8];
  bool FClip[8];
  float FMomentary = -INFINITY;
  float FShortTerm = -INFINITY;
  float FTruePeak = -INFINITY; // the highest of the last second
  float FTruePeakNext = -INFINITY;
  int FPolls = 0;
};

// The state of a live channel (BASS_ChannelGetStatus) or a failed start (BASS_ErrorGetCode after
// BASS_RecordInit / BASS_RecordStart / BASS_StreamCreate) in words for the user; empty when all is
// well.
QString LiveAudioStateText(DWORD AState, DWORD ADropped = 0);
QString LiveAudioErrorText(int AErrorCode);

// Stands in for the user in tests: records every message box and answers from a queue.
#pragma once

#include "base/message_box.h"

#include <QList>
#include <QString>

class TMessageBoxRecorder
{
public:
  struct TCall
  {
    QString Text;
    QString Caption;
    int Flags = 0;
  };

  TMessageBoxRecorder()
  {
    FPrevious =
        SetMessageBoxHandler([this](const QString& AText, const QString& ACaption, int AFlags) {
          Calls.append({AText, ACaption, AFlags});
          return FAnswers.isEmpty() ? IDOK : FAnswers.takeFirst();
        });
  }
  ~TMessageBoxRecorder() { SetMessageBoxHandler(FPrevious); }
  TMessageBoxRecorder(const TMessageBoxRecorder&) = delete;
  TMessageBoxRecorder& operator=(const TMessageBoxRecorder&) = delete;

  // The answer for the next box; boxes beyond the queue get IDOK.
  void QueueAnswer(int AAnswer) { FAnswers.append(AAnswer); }

  // Every box shown since construction, in order. Boxes are shown on the UI thread only, so
  // no lock is needed.
  QList<TCall> Calls;

private:
  QList<int> FAnswers;
  TMessageBoxHandler FPrevious;
};

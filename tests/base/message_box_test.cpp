#include "base/message_box.h"
#include "support/message_box_recorder.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <gtest/gtest.h>

namespace {

// Runs queued calls until the condition holds or five seconds have passed.
template <typename TCondition> bool ProcessEventsUntil(TCondition ACondition)
{
  QDeadlineTimer Deadline(5000);
  while (!ACondition() && !Deadline.hasExpired())
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  return ACondition();
}

} // namespace

TEST(MessageBoxTest, FromWorkerReturnsAtOnceAndArrivesOnUiThreadInOrder)
{
  TMessageBoxRecorder Recorder;
  QList<int> Results;
  QThread* Worker = QThread::create([&Results] {
    Results.append(MyMessageBox("First failure", "Error", MB_ICONERROR));
    Results.append(MyMessageBox("Careful", "", MB_ICONWARNING));
    Results.append(MyMessageBox(QString::fromUtf8("Notice \u00e4\u4e2d"), "Info",
                                MB_ICONINFORMATION | MB_OKCANCEL));
  });
  Worker->start();
  ASSERT_TRUE(Worker->wait(5000));
  delete Worker;

  EXPECT_EQ(Results, QList<int>({-1, -1, -1}));
  // Nothing is shown until the UI thread runs its queue.
  EXPECT_TRUE(Recorder.Calls.isEmpty());

  ASSERT_TRUE(ProcessEventsUntil([&] { return Recorder.Calls.size() == 3; }));
  EXPECT_EQ(Recorder.Calls[0].Text, "First failure");
  EXPECT_EQ(Recorder.Calls[0].Caption, "Error");
  EXPECT_EQ(Recorder.Calls[0].Flags, MB_ICONERROR);
  EXPECT_EQ(Recorder.Calls[1].Text, "Careful");
  EXPECT_EQ(Recorder.Calls[1].Caption, "");
  EXPECT_EQ(Recorder.Calls[1].Flags, MB_ICONWARNING);
  EXPECT_EQ(Recorder.Calls[2].Text, QString::fromUtf8("Notice \u00e4\u4e2d"));
  EXPECT_EQ(Recorder.Calls[2].Caption, "Info");
  EXPECT_EQ(Recorder.Calls[2].Flags, MB_ICONINFORMATION | MB_OKCANCEL);
}

TEST(MessageBoxTest, HandlerAlwaysRunsOnUiThread)
{
  QList<QThread*> Threads;
  TMessageBoxHandler Previous =
      SetMessageBoxHandler([&Threads](const QString&, const QString&, int) {
        Threads.append(QThread::currentThread());
        return IDOK;
      });
  QThread* Worker = QThread::create([] { MyMessageBox("x", "y", MB_OK); });
  Worker->start();
  ASSERT_TRUE(Worker->wait(5000));
  delete Worker;
  EXPECT_EQ(MyMessageBox("direct", "y", MB_OK), IDOK);
  EXPECT_TRUE(ProcessEventsUntil([&] { return Threads.size() == 2; }));
  SetMessageBoxHandler(Previous);
  for (QThread* Thread : Threads)
    EXPECT_EQ(Thread, QCoreApplication::instance()->thread());
}

TEST(MessageBoxTest, UiThreadGetsAnswersAndRecordersNest)
{
  TMessageBoxRecorder Outer;
  {
    TMessageBoxRecorder Inner;
    Inner.QueueAnswer(IDYES);
    Inner.QueueAnswer(IDCANCEL);
    EXPECT_EQ(MyMessageBox("Delete?", "Confirm", MB_YESNO | MB_ICONQUESTION), IDYES);
    EXPECT_EQ(MyMessageBox("Go on?", "Confirm", MB_OKCANCEL), IDCANCEL);
    EXPECT_EQ(MyMessageBox("Done", "", MB_OK), IDOK); // queue empty: OK
    EXPECT_EQ(Inner.Calls.size(), 3);
  }
  // The inner recorder put the outer one back.
  EXPECT_EQ(MyMessageBox("After", "", MB_ICONERROR), IDOK);
  ASSERT_EQ(Outer.Calls.size(), 1);
  EXPECT_EQ(Outer.Calls[0].Text, "After");
}

TEST(MessageBoxTest, WithoutHandlerAnswersWhatChangesNothing)
{
  TMessageBoxHandler Previous = SetMessageBoxHandler({});
  struct TCase
  {
    int Flags;
    int Answer;
  };
  for (const TCase& Case :
       {TCase{MB_OK | MB_ICONERROR, IDOK}, TCase{MB_ICONINFORMATION, IDOK},
        TCase{MB_YESNO | MB_ICONQUESTION, IDNO}, TCase{MB_OKCANCEL | MB_ICONWARNING, IDCANCEL},
        TCase{3 /* Yes/No/Cancel */, IDCANCEL}}) {
    EXPECT_EQ(DefaultMessageBoxAnswer(Case.Flags), Case.Answer) << Case.Flags;
    EXPECT_EQ(MyMessageBox("logged", "Test", Case.Flags), Case.Answer) << Case.Flags;
  }
  EXPECT_FALSE(SetMessageBoxHandler(Previous));
}

// The window-bound helpers: the real message box behind MyMessageBox, monitor DPI and scaling,
// centring a window that no screen shows, the popup below a button, the dialogs behind their
// seams, and the shared images.
#include "base/message_box.h"
#include "ui_common/common_images.h"
#include "ui_common/file_dialogs.h"
#include "ui_common/message_box_ui.h"
#include "ui_common/popup_menu.h"
#include "ui_common/screen_utils.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

namespace {

std::string Str(const QString& AText)
{
  return AText.toStdString();
}

// Runs AAction on the first top-level widget of type T that shows up, from the event loop of
// whatever modal call is running.
template <class T> void WhenShown(std::function<void(T*)> AAction)
{
  auto* Poll = new QTimer;
  Poll->setInterval(10);
  QObject::connect(Poll, &QTimer::timeout, [Poll, AAction] {
    for (QWidget* Widget : QApplication::topLevelWidgets()) {
      auto* Found = qobject_cast<T*>(Widget);
      if (Found && Found->isVisible()) {
        Poll->stop();
        Poll->deleteLater();
        AAction(Found);
        return;
      }
    }
  });
  Poll->start();
}

TEST(MessageBoxUi, FlagsChooseIconAndButtonsAndTheButtonGivesTheAnswer)
{
  const TMessageBoxHandler Previous = SetMessageBoxHandler({});
  InstallUiHandlers();
  const struct
  {
    int Flags;
    QMessageBox::Icon Icon;
    QMessageBox::StandardButtons Buttons;
    QMessageBox::StandardButton Press;
    int Answer;
  } Cases[] = {
      {MB_ICONERROR, QMessageBox::Critical, QMessageBox::Ok, QMessageBox::Ok, IDOK},
      {MB_ICONWARNING | MB_OKCANCEL, QMessageBox::Warning, QMessageBox::Ok | QMessageBox::Cancel,
       QMessageBox::Cancel, IDCANCEL},
      {MB_ICONQUESTION | MB_YESNO, QMessageBox::Question, QMessageBox::Yes | QMessageBox::No,
       QMessageBox::Yes, IDYES},
      {MB_ICONINFORMATION | MB_YESNO, QMessageBox::Information, QMessageBox::Yes | QMessageBox::No,
       QMessageBox::No, IDNO},
      {0, QMessageBox::NoIcon, QMessageBox::Ok, QMessageBox::Ok, IDOK},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Flags);
    EXPECT_EQ(MessageBoxIconForFlags(Case.Flags), Case.Icon);
    EXPECT_EQ(MessageBoxButtonsForFlags(Case.Flags), Case.Buttons);
    QMessageBox::Icon ShownIcon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons ShownButtons;
    QString ShownText, ShownTitle;
    bool Modal = false;
    WhenShown<QMessageBox>([&](QMessageBox* ABox) {
      ShownIcon = ABox->icon();
      ShownButtons = ABox->standardButtons();
      ShownText = ABox->text();
      ShownTitle = ABox->windowTitle();
      Modal = ABox->windowModality() == Qt::ApplicationModal;
      ABox->button(Case.Press)->click();
    });
    EXPECT_EQ(MyMessageBox(QStringLiteral("Something <b>happened</b>"), QStringLiteral("Error"),
                           Case.Flags),
              Case.Answer);
    EXPECT_EQ(ShownIcon, Case.Icon);
    EXPECT_EQ(ShownButtons, Case.Buttons);
    EXPECT_EQ(Str(ShownText), "Something <b>happened</b>");
    EXPECT_EQ(Str(ShownTitle), "Error");
    EXPECT_TRUE(Modal);
  }
  SetMessageBoxHandler(Previous);
}

TEST(MessageBoxUi, MarkupIsShownAsTextAndAWholePageGoesToTheDetails)
{
  const QString Page = QStringLiteral("<html><body>") + QString(3000, QLatin1Char('x')) +
                       QStringLiteral("</body></html>");
  Qt::TextFormat Format = Qt::AutoText;
  QString Shown, Details;
  WhenShown<QMessageBox>([&](QMessageBox* ABox) {
    Format = ABox->textFormat();
    Shown = ABox->text();
    Details = ABox->detailedText();
    ABox->button(QMessageBox::Ok)->click();
  });
  EXPECT_EQ(ShowQtMessageBox(Page, QStringLiteral("Error"), MB_ICONERROR), IDOK);
  EXPECT_EQ(Format, Qt::PlainText);
  EXPECT_LT(Shown.size(), 2000);
  EXPECT_TRUE(Shown.startsWith(QStringLiteral("<html><body>xxx")));
  EXPECT_EQ(Details, Page);
}

TEST(MessageBoxUi, ABoxLiftsTheBusyCursorsWhileItIsUp)
{
  QApplication::setOverrideCursor(Qt::BusyCursor);
  QApplication::setOverrideCursor(Qt::WaitCursor);
  bool LiftedWhileShown = false;
  WhenShown<QMessageBox>([&](QMessageBox* ABox) {
    LiftedWhileShown = QApplication::overrideCursor() == nullptr;
    ABox->button(QMessageBox::Ok)->click();
  });
  ShowQtMessageBox(QStringLiteral("Busy"), QStringLiteral("Error"), MB_ICONERROR);
  EXPECT_TRUE(LiftedWhileShown);
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
  QApplication::restoreOverrideCursor();
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::BusyCursor);
  QApplication::restoreOverrideCursor();
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(MessageBoxUi, ABoxFromAWorkerIsShownLaterOnTheUIThread)
{
  const TMessageBoxHandler Previous = SetMessageBoxHandler({});
  InstallUiHandlers();
  QString Shown;
  QThread* ShownOn = nullptr;
  WhenShown<QMessageBox>([&](QMessageBox* ABox) {
    Shown = ABox->text();
    ShownOn = QThread::currentThread();
    ABox->button(QMessageBox::Ok)->click();
  });
  int WorkerAnswer = 0;
  QThread* Worker = QThread::create([&] {
    WorkerAnswer =
        MyMessageBox(QStringLiteral("From a worker"), QStringLiteral("Error"), MB_ICONERROR);
  });
  Worker->start();
  Worker->wait();
  delete Worker;
  EXPECT_EQ(WorkerAnswer, -1);
  QTRY_COMPARE_WITH_TIMEOUT(Shown, QStringLiteral("From a worker"), 5000);
  EXPECT_EQ(ShownOn, QCoreApplication::instance()->thread());
  SetMessageBoxHandler(Previous);
}

class TDpi : public ::testing::Test
{
protected:
  void SetUp() override
  {
    SetDpiClockForTesting([this] { return Now; });
    SetDpiReaderForTesting([this](QScreen*) {
      ++Reads;
      return Dpi;
    });
  }
  void TearDown() override
  {
    SetDpiReaderForTesting({});
    SetDpiClockForTesting({});
  }
  qint64 Now = 1000000;
  int Dpi = 144;
  int Reads = 0;
};

TEST_F(TDpi, AMonitorIsReadOnceIn30Seconds)
{
  EXPECT_EQ(MonitorDpi(), 144);
  Dpi = 120;
  Now += 30000;
  EXPECT_EQ(MonitorDpi(), 144); // still within the 30 seconds
  EXPECT_EQ(Reads, 1);
  Now += 1;
  EXPECT_EQ(MonitorDpi(), 120);
  EXPECT_EQ(Reads, 2);
}

TEST_F(TDpi, SizesScaleWithRoundingToNearest)
{
  const struct
  {
    int Dpi;
    int Size;
    int Scaled;
  } Cases[] = {{96, 624, 624}, {144, 8, 12}, {144, 25, 38}, {144, -25, -38},
               {120, 30, 38},  {120, 2, 3},  {192, 0, 0}};
  for (const auto& Case : Cases) {
    Dpi = Case.Dpi;
    Now += 60000; // past the cache
    EXPECT_EQ(ScaleForDpi(Case.Size), Case.Scaled) << Case.Dpi << " dpi, " << Case.Size;
  }
}

TEST_F(TDpi, TheMainWindowsMonitorCounts)
{
  QWidget Window;
  SetDpiMainWindow(&Window);
  QScreen* Seen = nullptr;
  SetDpiReaderForTesting([&](QScreen* AScreen) {
    Seen = AScreen;
    return 96;
  });
  MonitorDpi();
  EXPECT_EQ(Seen, Window.screen());
  SetDpiMainWindow(nullptr);
}

TEST(CenterIfOffScreen, OnlyAWindowThatNoScreenShowsMoves)
{
  const QRect Screen = QGuiApplication::primaryScreen()->geometry();
  QWidget Window;
  Window.setGeometry(Screen.x() + 10, Screen.y() + 20, 300, 200);
  CenterIfOffScreen(&Window);
  EXPECT_EQ(Window.pos(), QPoint(Screen.x() + 10, Screen.y() + 20));

  // Partly on the screen still counts as shown.
  Window.move(Screen.right() - 50, Screen.bottom() - 50);
  CenterIfOffScreen(&Window);
  EXPECT_EQ(Window.pos(), QPoint(Screen.right() - 50, Screen.bottom() - 50));

  Window.move(Screen.right() + 500, Screen.bottom() + 500);
  CenterIfOffScreen(&Window);
  EXPECT_EQ(Window.pos(), QPoint(Screen.x() + (Screen.width() - 300) / 2,
                                 Screen.y() + (Screen.height() - 200) / 2));
}

TEST(PopupBelowButton, OpensBelowTheButtonAndIgnoresTheClosingClick)
{
  QWidget Window;
  Window.resize(300, 200);
  auto* Button = new QPushButton(QStringLiteral("Presets"), &Window);
  Button->setGeometry(20, 30, 80, 24);
  Window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&Window));
  QMenu Menu;
  Menu.addAction(QStringLiteral("Save"));
  int Shown = 0;
  QPoint ShownAt;
  QObject::connect(&Menu, &QMenu::aboutToShow, [&] {
    ++Shown;
    // Closes the menu from its own event loop, as a click elsewhere would.
    QTimer::singleShot(20, &Menu, [&] {
      ShownAt = Menu.pos();
      Menu.close();
    });
  });

  PopupBelowButton(Button, &Menu);
  EXPECT_EQ(Shown, 1);
  EXPECT_EQ(ShownAt, Button->mapToGlobal(QPoint(0, Button->height())));
  // The click that closed the menu reaches the button within moments: nothing opens.
  PopupBelowButton(Button, &Menu);
  EXPECT_EQ(Shown, 1);
  QTest::qWait(150);
  PopupBelowButton(Button, &Menu);
  EXPECT_EQ(Shown, 2);
}

TEST(FileDialogs, TheRealFolderPickerChangesThePathOnlyWhenConfirmed)
{
  QTemporaryDir Root;
  ASSERT_TRUE(QDir(Root.path()).mkpath(QStringLiteral("Chosen")));
  const QString Chosen = QDir(Root.path()).filePath(QStringLiteral("Chosen"));

  QString Path = Root.path();
  QString StartedIn;
  WhenShown<QFileDialog>([&](QFileDialog* ADialog) {
    StartedIn = ADialog->directory().absolutePath();
    ADialog->reject();
  });
  EXPECT_FALSE(SelectFolder(Path));
  EXPECT_EQ(Str(Path), Str(Root.path()));
  EXPECT_EQ(Str(StartedIn), Str(QDir(Root.path()).absolutePath()));

  WhenShown<QFileDialog>([&](QFileDialog* ADialog) {
    EXPECT_EQ(ADialog->fileMode(), QFileDialog::Directory);
    ADialog->setDirectory(Chosen);
    static_cast<QDialog*>(ADialog)->accept();
  });
  EXPECT_TRUE(SelectFolder(Path));
  EXPECT_EQ(Str(QDir(Path).absolutePath()), Str(QDir(Chosen).absolutePath()));

  // A stand-in replaces the dialog, and removing it brings the dialog back.
  const TSelectFolderHandler Previous = SetSelectFolderHandler([](QString& APath) {
    APath = QStringLiteral("/somewhere");
    return true;
  });
  EXPECT_TRUE(SelectFolder(Path));
  EXPECT_EQ(Str(Path), "/somewhere");
  SetSelectFolderHandler(Previous);
}

TEST(FileDialogs, TheFileDialogReportsAChosenFileAndNothingWhenCancelled)
{
  QTemporaryDir Root;
  const QString File = QDir(Root.path()).filePath(QStringLiteral("take.flac"));
  QFile(File).open(QIODevice::WriteOnly);
  QWidget Owner;
  Owner.show();

  QStringList Chosen;
  SelectOpenFile(&Owner, Root.path(), QStringLiteral("FLAC (*.flac)"),
                 [&](const QString& AFile) { Chosen << AFile; });
  // It returns at once, with the dialog open and modal to its owner.
  QFileDialog* Dialog = Owner.findChild<QFileDialog*>();
  ASSERT_NE(Dialog, nullptr);
  EXPECT_TRUE(Dialog->isVisible());
  EXPECT_EQ(Dialog->windowModality(), Qt::WindowModal);
  EXPECT_EQ(Dialog->nameFilters(), QStringList{QStringLiteral("FLAC (*.flac)")});
  EXPECT_EQ(QDir(Dialog->directory()).absolutePath(), QDir(Root.path()).absolutePath());
  Dialog->selectFile(File);
  static_cast<QDialog*>(Dialog)->accept();
  QTRY_COMPARE_WITH_TIMEOUT(Chosen.size(), 1, 5000);
  EXPECT_EQ(QFileInfo(Chosen[0]).canonicalFilePath(), QFileInfo(File).canonicalFilePath());

  SelectOpenFile(&Owner, Root.path(), QStringLiteral("FLAC (*.flac)"),
                 [&](const QString& AFile) { Chosen << AFile; });
  QTRY_VERIFY_WITH_TIMEOUT(Owner.findChild<QFileDialog*>() != nullptr, 5000);
  Owner.findChild<QFileDialog*>()->reject();
  QTest::qWait(50);
  EXPECT_EQ(Chosen.size(), 1);
}

TEST(CommonImages, EveryNameHasADrawing)
{
  for (const QString& Name : CommonImageNames()) {
    SCOPED_TRACE(Str(Name));
    const QIcon Icon = CommonImage(Name);
    ASSERT_FALSE(Icon.isNull());
    // Drawn, not blank, at the button size and at twice it.
    for (int Size : {30, 60}) {
      const QImage Image = Icon.pixmap(Size, Size).toImage();
      ASSERT_EQ(Image.width(), Size);
      int Painted = 0;
      for (int Y = 0; Y < Image.height(); ++Y)
        for (int X = 0; X < Image.width(); ++X)
          if (qAlpha(Image.pixel(X, Y)) > 128)
            ++Painted;
      EXPECT_GT(Painted, Size * Size / 20);
    }
  }
  EXPECT_FALSE(CommonImage(QStringLiteral("  RECORD BROADCAST")).isNull());
  EXPECT_TRUE(CommonImage(QStringLiteral("nothing")).isNull());
}

} // namespace

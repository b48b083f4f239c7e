// The settings dialog on the offscreen platform: what OK stores and Cancel does not, the settings
// lock, the microphone choice against a private sound server, keyboard use and accessibility.
#include "private_sound_server.h"

#include "base/data_folders.h"
#include "settings/connection_settings.h"
#include "settings/system_ini.h"
#include "settings_ui/settings_frm.h"
#include "support/message_box_recorder.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <semaphore>
#include <thread>
#include <vector>

namespace {

std::string Str(const QString& AText)
{
  return AText.toStdString();
}

template <class T> T* Control(const QWidget& ADialog, const char* AName)
{
  T* Result = ADialog.findChild<T*>(QString::fromLatin1(AName));
  EXPECT_NE(Result, nullptr) << AName;
  return Result;
}

// A program folder of its own (which is also the data folder), the two settings records the
// dialog works on, and a recorder answering message boxes.
class TDialogEnv
{
public:
  TDialogEnv()
  {
    InitProgramFolder(FDir.path());
    InitDataFolder();
    FSettings.SetServer(QStringLiteral("studio.example"));
    FSettings.SetTLS(true);
    FSettings.SetPort(8080);
    FSettings.SetUser(QStringLiteral("presenter"));
    FSettings.SetPass(QStringLiteral("se'cret"));
    TInputDevice* Mic = FSystemIni.Inputs().Items(0);
    Mic->SetMethod(DeviceMethodStandard);
    Mic->SetDeviceID(QStringLiteral("mic_a"));
    Mic->SetDeviceName2(QStringLiteral("Old name"));
  }
  ~TDialogEnv()
  {
    InitProgramFolder();
    InitDataFolder();
  }

  TInputDevice* Mic() { return FSystemIni.Inputs().Items(0); }
  bool SystemIniWritten() const { return QFileInfo::exists(TSystemIni::FileName()); }
  // system.ini as the next start reads it.
  QString StoredMicrophone() const
  {
    TSystemIni Fresh;
    Fresh.Read();
    return Fresh.Inputs().Items(0)->DeviceID();
  }

  QTemporaryDir FDir;
  TMessageBoxRecorder FBoxes;
  TSettings FSettings;
  TSystemIni FSystemIni;
};

// Tests that need no capture endpoint: the library is pointed at a server that is not there.
class TSettingsFrmTest : public ::testing::Test
{
protected:
  TSettingsFrmTest() : FNoServer(NoSoundServerAddress(FEnv.FDir.path())) {}

  TDialogEnv FEnv;
  TSoundServerOverride FNoServer;
};

TEST_F(TSettingsFrmTest, ShowCopiesTheConnectionAndOkStoresItUnchanged)
{
  TSettingsFrm Dialog(&FEnv.FSettings, &FEnv.FSystemIni);
  Dialog.show();
  auto* edServer = Control<QLineEdit>(Dialog, "edServer");
  auto* nbPort = Control<QSpinBox>(Dialog, "nbPort");
  auto* chTLS = Control<QCheckBox>(Dialog, "chTLS");
  auto* edUser = Control<QLineEdit>(Dialog, "edUser");
  auto* edPass = Control<QLineEdit>(Dialog, "edPass");
  EXPECT_EQ(Str(edServer->text()), "studio.example");
  EXPECT_EQ(nbPort->value(), 8080);
  EXPECT_TRUE(chTLS->isChecked());
  EXPECT_EQ(Str(edUser->text()), "presenter");
  EXPECT_EQ(Str(edPass->text()), "se'cret");

  // Stored as typed: no trimming, no validation, an empty user name stays empty.
  edServer->setText(QStringLiteral("host.example "));
  nbPort->setValue(-5);
  chTLS->setChecked(false);
  edUser->clear();
  edPass->setText(QStringLiteral(" pass word "));
  QTest::mouseClick(Control<QPushButton>(Dialog, "btOK"), Qt::LeftButton);

  EXPECT_EQ(Dialog.result(), QDialog::Accepted);
  EXPECT_FALSE(Dialog.isVisible());
  EXPECT_EQ(Str(FEnv.FSettings.Server()), "host.example ");
  EXPECT_EQ(FEnv.FSettings.Port(), -5);
  EXPECT_FALSE(FEnv.FSettings.TLS());
  EXPECT_EQ(Str(FEnv.FSettings.User()), "");
  EXPECT_EQ(Str(FEnv.FSettings.Pass()), " pass word ");
  // The connection reaches settings.ini at program end, the microphone system.ini at once.
  EXPECT_FALSE(QFileInfo::exists(TSettings::FileName()));
  EXPECT_TRUE(FEnv.SystemIniWritten());
  EXPECT_TRUE(FEnv.FBoxes.Calls.isEmpty());
}

TEST_F(TSettingsFrmTest, CancelStoresNothingButTheMicrophoneBecomesWasapi)
{
  const char* Ways[] = {"Escape", "btCancel", "close"};
  for (const char* Way : Ways) {
    SCOPED_TRACE(Way);
    FEnv.Mic()->SetMethod(DeviceMethodStandard);
    TSettingsFrm Dialog(&FEnv.FSettings, &FEnv.FSystemIni);
    Dialog.show();
    Control<QLineEdit>(Dialog, "edServer")->setText(QStringLiteral("other.example"));
    Control<QSpinBox>(Dialog, "nbPort")->setValue(1);
    Control<QCheckBox>(Dialog, "chTLS")->setChecked(false);
    Control<QLineEdit>(Dialog, "edUser")->setText(QStringLiteral("x"));
    Control<QLineEdit>(Dialog, "edPass")->setText(QStringLiteral("y"));
    if (QByteArray(Way) == "Escape")
      QTest::keyClick(&Dialog, Qt::Key_Escape);
    else if (QByteArray(Way) == "btCancel")
      QTest::mouseClick(Control<QPushButton>(Dialog, "btCancel"), Qt::LeftButton);
    else
      Dialog.close();

    EXPECT_EQ(Dialog.result(), QDialog::Rejected);
    EXPECT_FALSE(Dialog.isVisible());
    EXPECT_EQ(Str(FEnv.FSettings.Server()), "studio.example");
    EXPECT_EQ(FEnv.FSettings.Port(), 8080);
    EXPECT_TRUE(FEnv.FSettings.TLS());
    EXPECT_EQ(Str(FEnv.FSettings.User()), "presenter");
    EXPECT_EQ(Str(FEnv.FSettings.Pass()), "se'cret");
    EXPECT_EQ(Str(FEnv.Mic()->DeviceID()), "mic_a");
    // Showing the dialog already marked the microphone as a WASAPI device, in memory only.
    EXPECT_EQ(FEnv.Mic()->Method(), DeviceMethodWasapi);
    EXPECT_FALSE(FEnv.SystemIniWritten());
  }
}

TEST_F(TSettingsFrmTest, WithoutASoundServerTheListSaysWhyAndOkKeepsTheMicrophone)
{
  const struct
  {
    const char* Stored;
    QStringList Items;
    const char* AfterOk;
  } Cases[] = {
      // A microphone chosen earlier is not forgotten because the server is not running now.
      {"mic_a", {"Old name (not connected)"}, "mic_a"},
      {":default", {"Old name (not connected)"}, ":default"},
      {"", {}, ""},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Stored);
    FEnv.Mic()->SetDeviceID(QString::fromLatin1(Case.Stored));
    TSettingsFrm Dialog(&FEnv.FSettings, &FEnv.FSystemIni);
    Dialog.show();
    auto* cbInput = Control<QComboBox>(Dialog, "cbInput");
    QStringList Items;
    for (int I = 0; I < cbInput->count(); ++I)
      Items << cbInput->itemText(I);
    EXPECT_EQ(Items, Case.Items);
    EXPECT_EQ(cbInput->currentIndex(), Case.Items.isEmpty() ? -1 : 0);
    auto* lbInputState = Control<QLabel>(Dialog, "lbInputState");
    EXPECT_TRUE(lbInputState->isVisible());
    EXPECT_EQ(Str(lbInputState->text()),
              "No sound server is running, so no microphone can be listed.");
    // Screen readers hear it with the list.
    EXPECT_EQ(cbInput->accessibleDescription(), lbInputState->text());
    QTest::mouseClick(Control<QPushButton>(Dialog, "btOK"), Qt::LeftButton);

    EXPECT_EQ(Str(FEnv.Mic()->DeviceID()), Case.AfterOk);
    EXPECT_EQ(Str(FEnv.StoredMicrophone()), Case.AfterOk);
    EXPECT_EQ(FEnv.Mic()->Method(), DeviceMethodWasapi);
    EXPECT_EQ(Str(FEnv.Mic()->DeviceName2()), "Old name");
  }
  // No sound server is not an error anybody is stopped by.
  EXPECT_TRUE(FEnv.FBoxes.Calls.isEmpty());
}

TEST_F(TSettingsFrmTest, SystemIniThatCannotBeWrittenIsReportedAndTheDialogStillCloses)
{
  // A folder in the file's place: no write can replace it.
  ASSERT_TRUE(QDir().mkpath(TSystemIni::FileName()));
  TSettingsFrm Dialog(&FEnv.FSettings, &FEnv.FSystemIni);
  Dialog.show();
  Control<QLineEdit>(Dialog, "edServer")->setText(QStringLiteral("new.example"));
  QTest::mouseClick(Control<QPushButton>(Dialog, "btOK"), Qt::LeftButton);

  EXPECT_EQ(Dialog.result(), QDialog::Accepted);
  EXPECT_FALSE(Dialog.isVisible());
  EXPECT_EQ(Str(FEnv.FSettings.Server()), "new.example");
  ASSERT_EQ(FEnv.FBoxes.Calls.size(), 1);
  const QString Text = FEnv.FBoxes.Calls.at(0).Text;
  EXPECT_TRUE(Text.startsWith(QStringLiteral("Error saving file (system.ini): "))) << Str(Text);
  EXPECT_TRUE(Text.endsWith(QLatin1Char('.'))) << Str(Text);
  EXPECT_EQ(Str(FEnv.FBoxes.Calls.at(0).Caption), "Error");
  EXPECT_EQ(FEnv.FBoxes.Calls.at(0).Flags, 16);
}

// Request workers read the connection as a group under the settings lock: the dialog holds that
// lock from the first value it copies to the last, and stores nothing while a worker holds it.
TEST_F(TSettingsFrmTest, CopyHoldsTheSettingsLockAndStoreWaitsForIt)
{
  using namespace std::chrono_literals;
  TSettingsFrm Dialog(&FEnv.FSettings, &FEnv.FSystemIni);
  // When the first and the last value arrive in their controls, a worker must not get in.
  std::vector<std::future<QString>> Readers;
  std::vector<bool> Blocked;
  const auto Probe = [&] {
    Readers.push_back(std::async(std::launch::async, [&] { return FEnv.FSettings.Server(); }));
    Blocked.push_back(Readers.back().wait_for(200ms) == std::future_status::timeout);
  };
  QObject::connect(Control<QLineEdit>(Dialog, "edServer"), &QLineEdit::textChanged, Probe);
  QObject::connect(Control<QLineEdit>(Dialog, "edPass"), &QLineEdit::textChanged, Probe);
  Dialog.show();
  for (std::future<QString>& Reader : Readers)
    EXPECT_EQ(Str(Reader.get()), "studio.example");
  EXPECT_EQ(Blocked, std::vector<bool>({true, true}));
  QObject::disconnect(Control<QLineEdit>(Dialog, "edServer"), nullptr, nullptr, nullptr);
  QObject::disconnect(Control<QLineEdit>(Dialog, "edPass"), nullptr, nullptr, nullptr);

  Control<QLineEdit>(Dialog, "edServer")->setText(QStringLiteral("typed.example"));
  Control<QSpinBox>(Dialog, "nbPort")->setValue(9000);
  std::atomic<bool> OldWhileHeld = false;
  std::binary_semaphore Held(0);
  std::thread Worker([&] {
    FEnv.FSettings.Lock();
    Held.release();
    std::this_thread::sleep_for(300ms);
    OldWhileHeld =
        FEnv.FSettings.Server() == QLatin1String("studio.example") && FEnv.FSettings.Port() == 8080;
    FEnv.FSettings.Unlock();
  });
  Held.acquire();
  QTest::mouseClick(Control<QPushButton>(Dialog, "btOK"), Qt::LeftButton);
  Worker.join();
  EXPECT_TRUE(OldWhileHeld);
  EXPECT_EQ(Str(FEnv.FSettings.Server()), "typed.example");
  EXPECT_EQ(FEnv.FSettings.Port(), 9000);
}

TEST_F(TSettingsFrmTest, KeyboardTabOrderEnterAndMnemonics)
{
  TSettingsFrm Dialog(&FEnv.FSettings, &FEnv.FSystemIni);
  Dialog.show();
  QApplication::setActiveWindow(&Dialog);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&Dialog));

  QStringList Visited;
  for (int I = 0; I < 8; ++I) {
    QWidget* Focus = QApplication::focusWidget();
    ASSERT_NE(Focus, nullptr);
    Visited << Focus->objectName();
    QTest::keyClick(Focus, Qt::Key_Tab);
  }
  EXPECT_EQ(Str(Visited.join(' ')), "edServer nbPort chTLS edUser edPass cbInput btOK btCancel");

  // Alt+W is "Pass&word".
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_W, Qt::AltModifier);
  EXPECT_EQ(Str(QApplication::focusWidget()->objectName()), "edPass");

  // A port typed into the number box and Enter: the number counts and Enter is OK.
  auto* nbPort = Control<QSpinBox>(Dialog, "nbPort");
  nbPort->setFocus();
  nbPort->selectAll();
  QTest::keyClicks(nbPort, QStringLiteral("4431"));
  QTest::keyClick(nbPort, Qt::Key_Return);
  EXPECT_EQ(Dialog.result(), QDialog::Accepted);
  EXPECT_EQ(FEnv.FSettings.Port(), 4431);
}

TEST_F(TSettingsFrmTest, TextsAccessibleNamesAndMaskedPassword)
{
  TSettingsFrm Dialog(&FEnv.FSettings, &FEnv.FSystemIni);
  Dialog.show();
  EXPECT_EQ(Str(Dialog.windowTitle()), "Settings");
  EXPECT_EQ(Str(Control<QGroupBox>(Dialog, "gbConnection")->title()), "Airlume");
  EXPECT_EQ(Str(Control<QGroupBox>(Dialog, "gbInput")->title()), "Microphone");
  EXPECT_EQ(Str(Control<QPushButton>(Dialog, "btOK")->text()), "OK");
  EXPECT_TRUE(Control<QPushButton>(Dialog, "btOK")->isDefault());
  EXPECT_EQ(Str(Control<QPushButton>(Dialog, "btCancel")->text()), "Cancel");

  struct TField
  {
    const char* Label;
    const char* Buddy;
    const char* Text; // the label's text without its mnemonic mark
  };
  const TField Fields[] = {{"Label1", "edServer", "Hostname/IP address"},
                           {"Label2", "nbPort", "Port"},
                           {"Label3", "edUser", "Username"},
                           {"Label4", "edPass", "Password"},
                           {"Label5", "cbInput", "Device"}};
  for (const TField& Field : Fields) {
    SCOPED_TRACE(Field.Label);
    auto* Label = Control<QLabel>(Dialog, Field.Label);
    EXPECT_EQ(Str(Label->text().remove(QLatin1Char('&'))), Field.Text);
    ASSERT_NE(Label->buddy(), nullptr);
    EXPECT_EQ(Str(Label->buddy()->objectName()), Field.Buddy);
    QAccessibleInterface* Accessible = QAccessible::queryAccessibleInterface(Label->buddy());
    ASSERT_NE(Accessible, nullptr);
    EXPECT_FALSE(Accessible->text(QAccessible::Name).isEmpty());
  }
  EXPECT_EQ(Str(QAccessible::queryAccessibleInterface(Control<QLineEdit>(Dialog, "edServer"))
                    ->text(QAccessible::Name)),
            "Hostname/IP address");
  EXPECT_EQ(Str(Control<QCheckBox>(Dialog, "chTLS")->text().remove(QLatin1Char('&'))), "SSL/TLS");

  // The password is neither shown nor handed to assistive technology.
  auto* edPass = Control<QLineEdit>(Dialog, "edPass");
  EXPECT_EQ(edPass->echoMode(), QLineEdit::Password);
  EXPECT_EQ(Str(QAccessible::queryAccessibleInterface(edPass)->text(QAccessible::Value)),
            std::string(7, '*'));
}

TEST_F(TSettingsFrmTest, LayoutGrowsWithTheFontAndKeepsEveryControlInside)
{
  const QFont Saved = QApplication::font();
  QSize Sizes[2];
  for (int Pass = 0; Pass < 2; ++Pass) {
    QFont Font = Saved;
    Font.setPointSizeF(Saved.pointSizeF() * (Pass == 0 ? 1.0 : 2.0));
    QApplication::setFont(Font);
    TSettingsFrm Dialog(&FEnv.FSettings, &FEnv.FSystemIni);
    Dialog.show();
    Sizes[Pass] = Dialog.size();
    EXPECT_EQ(Dialog.minimumSize(), Dialog.maximumSize()) << "a dialog of fixed size";
    for (QWidget* Child : Dialog.findChildren<QWidget*>()) {
      if (!Child->isVisible() || Child->isWindow())
        continue;
      EXPECT_TRUE(Child->parentWidget()->rect().contains(Child->geometry()))
          << Str(Child->objectName());
      EXPECT_GE(Child->width(), Child->minimumSizeHint().width()) << Str(Child->objectName());
    }
  }
  QApplication::setFont(Saved);
  EXPECT_GT(Sizes[1].width(), Sizes[0].width());
  EXPECT_GT(Sizes[1].height(), Sizes[0].height());
}

// The microphone choice against the private server's endpoints: "Null Input" (source.null), and
// two "Studio" sources, mic_a and mic_b.
class TSettingsFrmMicrophoneTest : public TSoundServerTest
{
protected:
  std::unique_ptr<TDialogEnv> FEnv = std::make_unique<TDialogEnv>();
};

TEST_F(TSettingsFrmMicrophoneTest, StoredMicrophoneIsSelectedAndOkStoresTheSelection)
{
  struct TCase
  {
    const char* Stored;
    int Selected;
    const char* AfterOk;
    const char* NameAfterOk;
  };
  const TCase Cases[] = {
      // The system's default shows as the first endpoint and becomes that endpoint.
      {":default", 0, "source.null", "Null Input"},
      {"mic_a", 1, "mic_a", "Studio"},
      // Identifiers are compared without regard to letter case; OK stores the list's spelling.
      {"MIC_B", 2, "mic_b", "Studio"},
      // Unplugged now (or not a capture endpoint): listed after the connected ones by its
      // stored name, chosen, and kept by OK.
      {"usb.unplugged", 3, "usb.unplugged", "Old name"},
      {"null.monitor", 3, "null.monitor", "Old name"},
      // Never set: nothing is chosen, and OK keeps it empty.
      {"", -1, "", "Old name"},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Stored);
    FEnv->Mic()->SetDeviceID(QString::fromLatin1(Case.Stored));
    FEnv->Mic()->SetDeviceName2(QStringLiteral("Old name"));
    FEnv->Mic()->SetMethod(DeviceMethodUnconfigured);
    TSettingsFrm Dialog(&FEnv->FSettings, &FEnv->FSystemIni);
    Dialog.show();
    auto* cbInput = Control<QComboBox>(Dialog, "cbInput");
    const bool NotConnected = Case.Selected == 3;
    ASSERT_EQ(cbInput->count(), NotConnected ? 4 : 3);
    EXPECT_EQ(Str(cbInput->itemText(0)), "Null Input");
    EXPECT_EQ(Str(cbInput->itemText(1)), "Studio");
    EXPECT_EQ(Str(cbInput->itemText(2)), "Studio");
    if (NotConnected) {
      EXPECT_EQ(Str(cbInput->itemText(3)), "Old name (not connected)");
      EXPECT_EQ(Str(Dialog.DeviceIds().value(3)), Case.Stored);
    }
    EXPECT_EQ(Dialog.DeviceIds().mid(0, 3), QStringList({"source.null", "mic_a", "mic_b"}));
    EXPECT_EQ(cbInput->currentIndex(), Case.Selected);
    EXPECT_EQ(FEnv->Mic()->Method(), DeviceMethodWasapi);
    // There is something to choose from, so there is nothing to explain.
    EXPECT_FALSE(Control<QLabel>(Dialog, "lbInputState")->isVisible());
    EXPECT_TRUE(cbInput->accessibleDescription().isEmpty());

    QTest::mouseClick(Control<QPushButton>(Dialog, "btOK"), Qt::LeftButton);
    EXPECT_EQ(Str(FEnv->Mic()->DeviceID()), Case.AfterOk);
    EXPECT_EQ(Str(FEnv->StoredMicrophone()), Case.AfterOk);
    // The connected endpoint's name is kept, to list it by while it is unplugged.
    EXPECT_EQ(Str(FEnv->Mic()->DeviceName2()), Case.NameAfterOk);
    EXPECT_TRUE(FEnv->Mic()->KeepAlive());
  }
}

TEST_F(TSettingsFrmMicrophoneTest, AnUnpluggedMicrophoneIsListedByItsNameUntilAnotherIsChosen)
{
  // Chosen while connected: its name is kept with it.
  {
    TSettingsFrm Dialog(&FEnv->FSettings, &FEnv->FSystemIni);
    Dialog.show();
    Control<QComboBox>(Dialog, "cbInput")->setCurrentIndex(0);
    QTest::mouseClick(Control<QPushButton>(Dialog, "btOK"), Qt::LeftButton);
  }
  // The same microphone unplugged on the next start (another identifier stands in for it).
  FEnv->Mic()->SetDeviceID(QStringLiteral("usb.gone"));
  TSettingsFrm Dialog(&FEnv->FSettings, &FEnv->FSystemIni);
  Dialog.show();
  auto* cbInput = Control<QComboBox>(Dialog, "cbInput");
  EXPECT_EQ(Str(cbInput->currentText()), "Null Input (not connected)");
  // The user picks a connected one instead: the unplugged one is replaced.
  cbInput->setCurrentIndex(2);
  QTest::mouseClick(Control<QPushButton>(Dialog, "btOK"), Qt::LeftButton);
  EXPECT_EQ(Str(FEnv->StoredMicrophone()), "mic_b");
  EXPECT_EQ(Str(FEnv->Mic()->DeviceName2()), "Studio");
}

TEST_F(TSettingsFrmMicrophoneTest, ChoosingAnotherEndpointByKeyboard)
{
  TSettingsFrm Dialog(&FEnv->FSettings, &FEnv->FSystemIni);
  Dialog.show();
  auto* cbInput = Control<QComboBox>(Dialog, "cbInput");
  ASSERT_EQ(cbInput->currentIndex(), 1);
  QTest::keyClick(cbInput, Qt::Key_Down);
  EXPECT_EQ(cbInput->currentIndex(), 2);
  // Same-named endpoints can be told apart by their identifiers.
  EXPECT_EQ(Str(cbInput->itemData(2, Qt::ToolTipRole).toString()), "mic_b");
  QTest::keyClick(&Dialog, Qt::Key_Return);
  EXPECT_EQ(Dialog.result(), QDialog::Accepted);
  EXPECT_EQ(Str(FEnv->Mic()->DeviceID()), "mic_b");
}

} // namespace

namespace {

// A sound server that runs but offers no microphone: the list says so, and a stored microphone
// stays listed, chosen and kept.
class TSettingsFrmNoMicrophoneTest : public TSoundServerWithoutSourcesTest
{
protected:
  std::unique_ptr<TDialogEnv> FEnv = std::make_unique<TDialogEnv>();
};

TEST_F(TSettingsFrmNoMicrophoneTest, TheListSaysNoMicrophoneIsConnectedAndOkKeepsTheStoredOne)
{
  FEnv->Mic()->SetDeviceName2(QString());
  TSettingsFrm Dialog(&FEnv->FSettings, &FEnv->FSystemIni);
  Dialog.show();
  auto* cbInput = Control<QComboBox>(Dialog, "cbInput");
  auto* lbInputState = Control<QLabel>(Dialog, "lbInputState");
  EXPECT_TRUE(lbInputState->isVisible());
  EXPECT_EQ(Str(lbInputState->text()), "No microphone is connected.");
  // Without a stored name the identifier names it.
  ASSERT_EQ(cbInput->count(), 1);
  EXPECT_EQ(Str(cbInput->itemText(0)), "mic_a (not connected)");
  EXPECT_EQ(cbInput->currentIndex(), 0);
  QTest::keyClick(&Dialog, Qt::Key_Return);
  EXPECT_EQ(Dialog.result(), QDialog::Accepted);
  EXPECT_EQ(Str(FEnv->StoredMicrophone()), "mic_a");
  EXPECT_EQ(Str(FEnv->Mic()->DeviceName2()), "");
}

} // namespace

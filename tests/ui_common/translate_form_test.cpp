// Translating real widgets from small language files in a temporary program folder, and with the
// German file the program ships.
#include "base/data_folders.h"
#include "base/localisation.h"
#include "ui_common/translate_form.h"

#include <QAction>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <gtest/gtest.h>

namespace {

std::string Str(const QString& AText)
{
  return AText.toStdString();
}

// A link label whose visible text is markup: its caption is the plain text inside the link.
class TLinkLabel : public QLabel
{
  Q_OBJECT
  Q_PROPERTY(QString caption READ Caption WRITE SetCaption)

public:
  using QLabel::QLabel;
  QString Caption() const { return FCaption; }
  void SetCaption(const QString& ACaption)
  {
    FCaption = ACaption;
    setText(QStringLiteral("<a href=\"#\">%1</a>").arg(ACaption.toHtmlEscaped()));
  }

private:
  QString FCaption;
};

// A window shaped like the program's dialogs: buttons, a check box, labels, a group box, an edit,
// a menu, an embedded frame with its own components and an owned separate window.
class TSampleForm : public QDialog
{
public:
  TSampleForm()
  {
    setWindowTitle(QStringLiteral("DSP"));
    auto* Layout = new QVBoxLayout(this);
    auto* Group = Add<QGroupBox>(Layout, "Group1");
    Group->setTitle(QStringLiteral("Plug-ins"));
    auto* GroupLayout = new QVBoxLayout(Group);
    Label45 = new QCheckBox(QStringLiteral("Winamp DSP plug-ins"), Group);
    Label45->setObjectName(QStringLiteral("Label45"));
    GroupLayout->addWidget(Label45);
    Label1 = Add<QLabel>(Layout, "Label1");
    Label1->setText(QStringLiteral("Winamp DSP plugins"));
    Edit1 = Add<QLineEdit>(Layout, "Edit1");
    Edit1->setText(QStringLiteral("OK"));
    Link = Add<TLinkLabel>(Layout, "Label27");
    Link->SetCaption(QStringLiteral("open folder"));
    Button1 = Add<QPushButton>(Layout, "Button1");
    Button1->setText(QStringLiteral("OK"));
    Button2 = Add<QPushButton>(Layout, "Button2");
    Button2->setText(QStringLiteral("Cancel"));

    Menu = new QMenu(QStringLiteral("Presets"), this);
    Menu->setObjectName(QStringLiteral("PresetMenu"));
    Save = Menu->addAction(QStringLiteral("Save"));
    Save->setObjectName(QStringLiteral("miSave"));
    Menu->addSeparator();

    Frame = Add<QWidget>(Layout, "MicDSPManagerFrame");
    MarkAsFrame(Frame);
    FrameButton = new QPushButton(QStringLiteral("OK"), Frame);
    FrameButton->setObjectName(QStringLiteral("btFrame"));

    Child = new QDialog(this);
    Child->setObjectName(QStringLiteral("ChildWindow"));
    ChildButton = new QPushButton(QStringLiteral("OK"), Child);
  }

  template <class T> T* Add(QVBoxLayout* ALayout, const char* AName)
  {
    auto* Widget = new T(this);
    Widget->setObjectName(QString::fromLatin1(AName));
    ALayout->addWidget(Widget);
    return Widget;
  }

  QCheckBox* Label45;
  QLabel* Label1;
  QLineEdit* Edit1;
  TLinkLabel* Link;
  QPushButton* Button1;
  QPushButton* Button2;
  QMenu* Menu;
  QAction* Save;
  QWidget* Frame;
  QPushButton* FrameButton;
  QDialog* Child;
  QPushButton* ChildButton;
};

class TranslateFormTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    ASSERT_TRUE(FDir.isValid());
    InitProgramFolder(FDir.path());
    SetLanguageDir(QStringLiteral("Xx"));
  }
  void TearDown() override
  {
    SetLanguageDir(QStringLiteral("En"));
    InitProgramFolder();
  }

  void WriteLangFile(const QByteArray& AContent)
  {
    ASSERT_TRUE(QDir(FDir.path()).mkpath(QStringLiteral("Lang/Xx")));
    QFile File(FDir.filePath(QStringLiteral("Lang/Xx/lang.ini")));
    ASSERT_TRUE(File.open(QIODevice::WriteOnly | QIODevice::Truncate));
    File.write(AContent);
  }

  // Every caption of the form, in a fixed order.
  static std::string Captions(const TSampleForm& AForm)
  {
    QStringList Texts = {
        AForm.windowTitle(),       AForm.findChild<QGroupBox*>(QStringLiteral("Group1"))->title(),
        AForm.Label45->text(),     AForm.Label1->text(),
        AForm.Edit1->text(),       AForm.Link->Caption(),
        AForm.Button1->text(),     AForm.Button2->text(),
        AForm.Menu->title(),       AForm.Save->text(),
        AForm.FrameButton->text(), AForm.ChildButton->text()};
    return Str(Texts.join(QStringLiteral("|")));
  }

  QTemporaryDir FDir;
};

const char* const Designed = "DSP|Plug-ins|Winamp DSP plug-ins|Winamp DSP plugins|OK|open folder|"
                             "OK|Cancel|Presets|Save|OK|OK";

TEST_F(TranslateFormTest, WithoutFileOrSectionEverythingKeepsItsDesignedText)
{
  TSampleForm Form;
  TranslateForm(&Form, QStringLiteral("DSPAdd.Captions"));
  EXPECT_EQ(Captions(Form), Designed);

  WriteLangFile("[Other.Captions]\nButton1=Elsewhere\n@=Elsewhere\n");
  TranslateForm(&Form, QStringLiteral("DSPAdd.Captions"));
  EXPECT_EQ(Captions(Form), Designed);
}

TEST_F(TranslateFormTest, SharedTranslationsApplyToEveryCaptionOfTheWindowButNotToFrames)
{
  WriteLangFile("[TranslationStrings]\n"
                "ok=Gut\n"
                "CANCEL=Abbrechen\n"
                "save=Speichern\n"
                "presets=Vorlagen\n"
                "plug-ins=Erweiterungen\n"
                "Open Folder=Ordner öffnen\n"
                "Winamp DSP plugins=\n");
  TSampleForm Form;
  TranslateForm(&Form, QStringLiteral("DSPAdd.Captions"));
  // The edit's text is no caption; a frame and a separate window translate themselves.
  EXPECT_EQ(Captions(Form), "DSP|Erweiterungen|Winamp DSP plug-ins|Winamp DSP plugins|OK|"
                            "Ordner öffnen|Gut|Abbrechen|Vorlagen|Speichern|OK|OK");
  EXPECT_TRUE(Form.Link->text().contains(QStringLiteral("<a href")));
}

TEST_F(TranslateFormTest, WindowSectionWinsAndFollowsTheQuoteRules)
{
  WriteLangFile("[TranslationStrings]\n"
                "OK=Gut\n"
                "Cancel=Abbrechen\n"
                "[DSPAdd.Captions]\n"
                "@='Quoted title stays quoted'\n"
                "button1='Don''t'\n"
                // A section text that is also a shared key stays as the section says.
                "Button2=Ok\n"
                "LABEL45=Winamp-DSP\n"
                "Label1=''\n"
                "Edit1=not a caption\n"
                "PresetMenu=Vorlagen\n"
                "miSave='a'''b'\n"
                "NoSuchComponent=ignored\n"
                "btFrame=inside the frame\n"
                "ChildWindow=another window\n");
  TSampleForm Form;
  TranslateForm(&Form, QStringLiteral("dspadd.captions"));
  EXPECT_EQ(Captions(Form), "'Quoted title stays quoted'|Plug-ins|Winamp-DSP||OK|open folder|"
                            "Don't|Ok|Vorlagen|a'b|OK|OK");
  EXPECT_EQ(Str(Form.Child->windowTitle()), "");
}

TEST_F(TranslateFormTest, WindowTitleOnlyForAWindow)
{
  WriteLangFile("[Frame.Captions]\n@=Title\nbtFrame=Translated\n");
  TSampleForm Form;
  // A frame translated on its own: its components change, it has no title to set.
  TranslateForm(Form.Frame, QStringLiteral("Frame.Captions"));
  EXPECT_EQ(Str(Form.FrameButton->text()), "Translated");
  EXPECT_EQ(Str(Form.Frame->windowTitle()), "");
  EXPECT_EQ(Str(Form.windowTitle()), "DSP");
}

TEST_F(TranslateFormTest, ShippedGermanAndEnglishFiles)
{
  TSampleForm Form;
  const QString German = QStringLiteral(VEXMO_BIN_DIR "Lang/De/lang.ini");
  TranslateForm(&Form, QStringLiteral("PluginFolders.Captions"), German);
  EXPECT_EQ(Str(Form.windowTitle()), "Speicherort der Plug-ins");
  EXPECT_EQ(Str(Form.Label1->text()), "Winamp-DSP-Plug-ins");
  EXPECT_EQ(Str(Form.Link->Caption()), "Ordner öffnen");
  EXPECT_EQ(Str(Form.Button1->text()), "...");
  EXPECT_EQ(Str(Form.Button2->text()), "...");

  TSampleForm Add;
  TranslateForm(&Add, QStringLiteral("DSPAdd.Captions"), German);
  EXPECT_EQ(Str(Add.windowTitle()), "DSP");
  EXPECT_EQ(Str(Add.Label45->text()), "Winamp-DSP-Plug-ins");
  EXPECT_EQ(Str(Add.Button2->text()), "Abbrechen");

  TSampleForm English;
  TranslateForm(&English, QStringLiteral("DSPAdd.Captions"),
                QStringLiteral(VEXMO_BIN_DIR "Lang/En/lang.ini"));
  EXPECT_EQ(Captions(English), Designed);
}

} // namespace

#include "translate_form_test.moc"

#include "dsp_ui/plugin_folders_frm.h"

#include "base/message_box.h"
#include "base/utils.h"
#include "dsp/plugins.h"
#include "dsp_ui/link_button.h"
#include "settings/system_ini.h"
#include "ui_common/file_dialogs.h"
#include "ui_common/screen_utils.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TPluginFoldersFrm::TPluginFoldersFrm(QWidget* AParent) : QDialog(AParent)
{
  setObjectName(QStringLiteral("PluginFoldersFrm"));
  setWindowTitle(QStringLiteral("Plugin Location"));
  resize(ScaleForDpi(422), ScaleForDpi(134));

  const auto MakeLabel = [this](const char* AName, const char* AText) {
    auto* Label = new QLabel(QLatin1String(AText), this);
    Label->setObjectName(QLatin1String(AName));
    return Label;
  };
  const auto MakeButton = [this](const char* AName, const char* AText, int AWidth) {
    auto* Button = new QPushButton(QLatin1String(AText), this);
    Button->setObjectName(QLatin1String(AName));
    Button->setMinimumSize(ScaleForDpi(AWidth), ScaleForDpi(23));
    Button->setAutoDefault(false);
    return Button;
  };
  const auto MakeLink = [this](const char* AName, const char* ADescription) {
    auto* Link = new TLinkButton(QStringLiteral("open folder"), this);
    Link->setObjectName(QLatin1String(AName));
    // Both links read "open folder"; the description tells a screen reader which one.
    Link->setAccessibleDescription(QLatin1String(ADescription));
    return Link;
  };

  Label1 = MakeLabel("Label1", "Winamp DSP plugins");
  Edit1 = new QLineEdit(this);
  Edit1->setObjectName(QStringLiteral("Edit1"));
  Edit1->setReadOnly(true);
  Label1->setBuddy(Edit1);
  Button1 = MakeButton("Button1", "...", 26);
  Button1->setFixedWidth(ScaleForDpi(30));
  Button1->setEnabled(false);
  Button1->setAccessibleName(QStringLiteral("Choose the Winamp DSP plugin folder"));
  Label27 = MakeLink("Label27", "Opens the Winamp DSP plugin folder");

  Label3 = MakeLabel("Label3", "VST plugins");
  Edit2 = new QLineEdit(this);
  Edit2->setObjectName(QStringLiteral("Edit2"));
  Label3->setBuddy(Edit2);
  Button2 = MakeButton("Button2", "...", 26);
  Button2->setFixedWidth(ScaleForDpi(30));
  Button2->setAccessibleName(QStringLiteral("Choose the VST plugin folder"));
  Label2 = MakeLink("Label2", "Opens the VST plugin folder");

  Button3 = MakeButton("Button3", "OK", 75);
  Button3->setDefault(true);
  Button4 = MakeButton("Button4", "Cancel", 75);

  auto* Grid = new QGridLayout;
  Grid->setHorizontalSpacing(ScaleForDpi(6));
  Grid->setVerticalSpacing(ScaleForDpi(2));
  Grid->addWidget(Label1, 0, 0, Qt::AlignLeft | Qt::AlignBottom);
  Grid->addWidget(Label27, 0, 0, Qt::AlignRight | Qt::AlignBottom);
  Grid->addWidget(Edit1, 1, 0);
  Grid->addWidget(Button1, 1, 1);
  Grid->setRowMinimumHeight(2, ScaleForDpi(8));
  Grid->addWidget(Label3, 3, 0, Qt::AlignLeft | Qt::AlignBottom);
  Grid->addWidget(Label2, 3, 0, Qt::AlignRight | Qt::AlignBottom);
  Grid->addWidget(Edit2, 4, 0);
  Grid->addWidget(Button2, 4, 1);
  Grid->setColumnStretch(0, 1);
  auto* Bottom = new QHBoxLayout;
  Bottom->addStretch(1);
  Bottom->addWidget(Button3);
  Bottom->addWidget(Button4);
  auto* Layout = new QVBoxLayout(this);
  const int Margin = ScaleForDpi(8);
  Layout->setContentsMargins(Margin, Margin, Margin, Margin);
  Layout->addLayout(Grid);
  Layout->addStretch(1);
  Layout->addLayout(Bottom);

  setTabOrder(Edit1, Label27);
  setTabOrder(Label27, Edit2);
  setTabOrder(Edit2, Button2);
  setTabOrder(Button2, Label2);
  setTabOrder(Label2, Button3);
  setTabOrder(Button3, Button4);

  connect(Label27, &TLinkButton::clicked, this, &TPluginFoldersFrm::Label27Click);
  connect(Label2, &TLinkButton::clicked, this, &TPluginFoldersFrm::Label2Click);
  connect(Button2, &QPushButton::clicked, this, &TPluginFoldersFrm::Button2Click);
  connect(Button3, &QPushButton::clicked, this, &TPluginFoldersFrm::Button3Click);
  connect(Button4, &QPushButton::clicked, this, &QDialog::reject);
}

void TPluginFoldersFrm::showEvent(QShowEvent* AEvent)
{
  QDialog::showEvent(AEvent);
  if (!FShown) {
    FShown = true;
    FormShow();
  }
}

void TPluginFoldersFrm::FormShow()
{
  if (const TFormHook& Hook = PluginFormHook()) {
    if (const TTranslateFormHook& Translate = PluginTranslateFormHook())
      Translate(this, QStringLiteral("PluginFolders.Captions"));
    Hook(this);
  }
  Edit1->setText(PluginFolder());
  if (TSystemIniBase* Settings = PluginSettings())
    Edit2->setText(Settings->VSTFolder().join(QLatin1Char('\n')).trimmed());
  Edit2->setFocus();
}

void TPluginFoldersFrm::Button2Click()
{
  QString Path = Edit2->text();
  if (SelectFolder(Path))
    Edit2->setText(Path);
}

void TPluginFoldersFrm::Label27Click()
{
  // A launch that fails is not reported, like the rest of the plug-in folder handling.
  OpenFolderInFileManager(PluginFolder());
}

void TPluginFoldersFrm::Label2Click()
{
  const QString Path = Edit2->text().trimmed();
  // An empty field names no folder: there is nothing to create or to show.
  if (Path.isEmpty())
    return;
  if (!QFileInfo(Path).isDir() &&
      MyMessageBox(QStringLiteral("Directory does not exist, create?"),
                   QStringLiteral("Create directory"), MB_ICONQUESTION | MB_YESNO) == IDYES)
    CreateFolderElevated(Path);
  OpenFolderInFileManager(Path);
}

void TPluginFoldersFrm::Button3Click()
{
  if (TSystemIniBase* Settings = PluginSettings()) {
    QString Folder = Edit2->text().trimmed();
    if (!Folder.endsWith(QLatin1Char('/')))
      Folder += QLatin1Char('/');
    Settings->SetVSTFolder({Folder});
  }
  accept();
}

#include "settings_ui/settings_frm.h"

#include "settings/connection_settings.h"
#include "settings/sound_devices.h"
#include "settings/system_ini.h"
#include "settings_ui/capture_endpoints.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QShowEvent>
#include <QSpinBox>
#include <QVBoxLayout>

#include <limits>

namespace {

// The microphone is entry 0 of the system settings' inputs; a record always has four entries,
// but a dialog must not fall over if it has none.
TInputDevice* Microphone(TSystemIni* ASystemIni)
{
  if (!ASystemIni || ASystemIni->Inputs().Count() == 0)
    return nullptr;
  return ASystemIni->Inputs().Items(0);
}

const QString CNoSoundServer =
    QStringLiteral("No sound server is running, so no microphone can be listed.");
const QString CNoMicrophone = QStringLiteral("No microphone is connected.");

// How a stored microphone that is not connected now is listed: by the name it had when it was
// chosen, or by its identifier when no name was kept.
QString NotConnectedName(const TInputDevice& AMic)
{
  QString Name = AMic.DeviceName2();
  if (Name.isEmpty())
    Name = AMic.IsDefault() ? QStringLiteral("Default microphone") : AMic.DeviceID();
  return QStringLiteral("%1 (not connected)").arg(Name);
}

int IndexOfIgnoringCase(const QStringList& AList, const QString& AText)
{
  for (int I = 0; I < AList.size(); ++I)
    if (AList.at(I).compare(AText, Qt::CaseInsensitive) == 0)
      return I;
  return -1;
}

} // namespace

TSettingsFrm::TSettingsFrm(QWidget* AParent) : TSettingsFrm(::Settings, ::SystemIni, AParent) {}

TSettingsFrm::TSettingsFrm(TSettings* ASettings, TSystemIni* ASystemIni, QWidget* AParent)
    : QDialog(AParent), FSettings(ASettings), FSystemIni(ASystemIni)
{
  setObjectName(QStringLiteral("SettingsFrm"));
  setWindowTitle(QStringLiteral("Settings"));
  CreateControls();
}

TSettingsFrm::~TSettingsFrm() = default;

void TSettingsFrm::CreateControls()
{
  // The layout was drawn for a 96-DPI screen; minimum widths follow the screen's logical DPI,
  // everything else is left to the layouts and the font.
  const double Scale = logicalDpiX() / 96.0;
  const auto Scaled = [Scale](int ASize) { return qRound(ASize * Scale); };

  gbConnection = new QGroupBox(QStringLiteral("Airlume"), this);
  gbConnection->setObjectName(QStringLiteral("gbConnection"));

  Label1 = new QLabel(QStringLiteral("&Hostname/IP address"), gbConnection);
  Label1->setObjectName(QStringLiteral("Label1"));
  edServer = new QLineEdit(gbConnection);
  edServer->setObjectName(QStringLiteral("edServer"));
  edServer->setAccessibleName(QStringLiteral("Hostname/IP address"));
  edServer->setMinimumWidth(Scaled(193));
  Label1->setBuddy(edServer);

  Label2 = new QLabel(QStringLiteral("&Port"), gbConnection);
  Label2->setObjectName(QStringLiteral("Label2"));
  nbPort = new QSpinBox(gbConnection);
  nbPort->setObjectName(QStringLiteral("nbPort"));
  nbPort->setAccessibleName(QStringLiteral("Port"));
  // The port is stored as typed; no range is imposed on it.
  nbPort->setRange(std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
  nbPort->setMinimumWidth(Scaled(67));
  Label2->setBuddy(nbPort);

  chTLS = new QCheckBox(QStringLiteral("SSL/&TLS"), gbConnection);
  chTLS->setObjectName(QStringLiteral("chTLS"));
  chTLS->setAccessibleName(QStringLiteral("SSL/TLS"));

  Label3 = new QLabel(QStringLiteral("&Username"), gbConnection);
  Label3->setObjectName(QStringLiteral("Label3"));
  edUser = new QLineEdit(gbConnection);
  edUser->setObjectName(QStringLiteral("edUser"));
  edUser->setAccessibleName(QStringLiteral("Username"));
  Label3->setBuddy(edUser);

  Label4 = new QLabel(QStringLiteral("Pass&word"), gbConnection);
  Label4->setObjectName(QStringLiteral("Label4"));
  edPass = new QLineEdit(gbConnection);
  edPass->setObjectName(QStringLiteral("edPass"));
  edPass->setAccessibleName(QStringLiteral("Password"));
  edPass->setEchoMode(QLineEdit::Password);
  Label4->setBuddy(edPass);

  auto* ConnectionLayout = new QGridLayout(gbConnection);
  ConnectionLayout->addWidget(Label1, 0, 0);
  ConnectionLayout->addWidget(Label2, 0, 1);
  ConnectionLayout->addWidget(edServer, 1, 0);
  ConnectionLayout->addWidget(nbPort, 1, 1);
  ConnectionLayout->addWidget(chTLS, 2, 0);
  ConnectionLayout->addWidget(Label3, 3, 0);
  ConnectionLayout->addWidget(edUser, 4, 0);
  ConnectionLayout->addWidget(Label4, 5, 0);
  ConnectionLayout->addWidget(edPass, 6, 0);
  ConnectionLayout->setColumnStretch(0, 1);

  gbInput = new QGroupBox(QStringLiteral("Microphone"), this);
  gbInput->setObjectName(QStringLiteral("gbInput"));
  Label5 = new QLabel(QStringLiteral("&Device"), gbInput);
  Label5->setObjectName(QStringLiteral("Label5"));
  cbInput = new QComboBox(gbInput);
  cbInput->setObjectName(QStringLiteral("cbInput"));
  cbInput->setAccessibleName(QStringLiteral("Microphone device"));
  cbInput->setEditable(false);
  cbInput->setMinimumWidth(Scaled(266));
  // Endpoint names can be long; the list may grow, the closed box keeps the dialog's width.
  cbInput->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  Label5->setBuddy(cbInput);
  // Why the list holds no endpoint, when it holds none.
  lbInputState = new QLabel(gbInput);
  lbInputState->setObjectName(QStringLiteral("lbInputState"));
  lbInputState->setWordWrap(true);
  lbInputState->hide();
  auto* InputLayout = new QVBoxLayout(gbInput);
  InputLayout->addWidget(Label5);
  InputLayout->addWidget(cbInput);
  InputLayout->addWidget(lbInputState);

  btOK = new QPushButton(QStringLiteral("OK"), this);
  btOK->setObjectName(QStringLiteral("btOK"));
  btOK->setDefault(true);
  btOK->setMinimumWidth(Scaled(75));
  btCancel = new QPushButton(QStringLiteral("Cancel"), this);
  btCancel->setObjectName(QStringLiteral("btCancel"));
  btCancel->setAutoDefault(false);
  btCancel->setMinimumWidth(Scaled(75));
  connect(btOK, &QPushButton::clicked, this, &TSettingsFrm::btOKClick);
  // Escape and the window's close button reject the dialog as well.
  connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);

  auto* Buttons = new QHBoxLayout;
  Buttons->addStretch(1);
  Buttons->addWidget(btOK);
  Buttons->addWidget(btCancel);

  auto* Main = new QVBoxLayout(this);
  Main->addWidget(gbConnection);
  Main->addWidget(gbInput);
  Main->addLayout(Buttons);
  // A dialog of fixed size, as large as its contents need at the current font and DPI.
  Main->setSizeConstraint(QLayout::SetFixedSize);

  setTabOrder(edServer, nbPort);
  setTabOrder(nbPort, chTLS);
  setTabOrder(chTLS, edUser);
  setTabOrder(edUser, edPass);
  setTabOrder(edPass, cbInput);
  setTabOrder(cbInput, btOK);
  setTabOrder(btOK, btCancel);
  edServer->setFocus();
}

void TSettingsFrm::showEvent(QShowEvent* AEvent)
{
  // A window manager showing the dialog again after it was minimised is not the dialog being
  // opened.
  if (!AEvent->spontaneous())
    FormShow();
  QDialog::showEvent(AEvent);
}

void TSettingsFrm::FormShow()
{
  if (FSettings) {
    // Request workers read the connection at any moment; copy the five values as one group.
    FSettings->Lock();
    const auto Unlock = qScopeGuard([this] { FSettings->Unlock(); });
    edServer->setText(FSettings->Server());
    chTLS->setChecked(FSettings->TLS());
    nbPort->setValue(FSettings->Port());
    edUser->setText(FSettings->User());
    edPass->setText(FSettings->Pass());
  }

  TCaptureEndpointNames Names;
  const bool Reached = ListCaptureEndpoints(Names, FDeviceIds);
  cbInput->clear();
  for (int I = 0; I < Names.size(); ++I) {
    cbInput->addItem(Names.at(I).Name, Names.at(I).DeviceIndex);
    // Endpoints may share a name; the identifier tells them apart.
    cbInput->setItemData(I, FDeviceIds.value(I), Qt::ToolTipRole);
  }
  FConnectedCount = int(FDeviceIds.size());
  const QString State =
      !Reached ? CNoSoundServer : (FConnectedCount == 0 ? CNoMicrophone : QString());
  lbInputState->setText(State);
  lbInputState->setVisible(!State.isEmpty());
  cbInput->setAccessibleDescription(State);

  TInputDevice* Mic = Microphone(FSystemIni);
  int Selected = -1;
  if (Mic) {
    Mic->SetMethod(DeviceMethodWasapi);
    if (Mic->IsDefault() && FConnectedCount > 0)
      Selected = 0;
    else
      Selected = IndexOfIgnoringCase(FDeviceIds, Mic->DeviceID());
    // A microphone that is unplugged now (or a sound server that is not running) is no reason to
    // forget it: it stays listed and chosen, and OK keeps it.
    if (Selected < 0 && !Mic->DeviceID().isEmpty()) {
      cbInput->addItem(NotConnectedName(*Mic));
      Selected = cbInput->count() - 1;
      cbInput->setItemData(Selected, Mic->DeviceID(), Qt::ToolTipRole);
      FDeviceIds.append(Mic->DeviceID());
    }
  }
  cbInput->setCurrentIndex(Selected);
}

void TSettingsFrm::btOKClick()
{
  // A number still being typed counts as entered.
  nbPort->interpretText();
  if (FSettings) {
    FSettings->Lock();
    const auto Unlock = qScopeGuard([this] { FSettings->Unlock(); });
    FSettings->SetServer(edServer->text());
    FSettings->SetTLS(chTLS->isChecked());
    FSettings->SetPort(nbPort->value());
    FSettings->SetUser(edUser->text());
    FSettings->SetPass(edPass->text());
  }

  if (TInputDevice* Mic = Microphone(FSystemIni)) {
    Mic->SetMethod(DeviceMethodWasapi);
    const int Selected = cbInput->currentIndex();
    Mic->SetDeviceID(Selected >= 0 && Selected < FDeviceIds.size() ? FDeviceIds.at(Selected)
                                                                   : QString());
    // The name of a connected endpoint is kept, to list it by when it is unplugged.
    if (Selected >= 0 && Selected < FConnectedCount)
      Mic->SetDeviceName2(cbInput->itemText(Selected));
  }
  // Reports its own failure; the dialog closes either way.
  if (FSystemIni)
    FSystemIni->Save();
  accept();
}

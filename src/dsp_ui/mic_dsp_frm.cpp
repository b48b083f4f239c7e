#include "dsp_ui/mic_dsp_frm.h"

#include "dsp/dsp_manager.h"
#include "dsp_ui/dsp_manager_fr.h"
#include "dsp_ui/stage_window_common.h"
#include "dsp_ui/window_fit.h"
#include "settings/player_ini.h"
#include "settings/settings_text.h"
#include "settings/system_ini.h"
#include "ui_common/screen_utils.h"
#include "ui_common/translate_form.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QListView>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

TMicDSPFrm::TMicDSPFrm(QWidget* AParent, TPlayerIni* APlayerIni, TSystemIni* ASystemIni)
    : QDialog(AParent), FPlayerIni(APlayerIni ? APlayerIni : PlayerIni),
      FSystemIni(ASystemIni ? ASystemIni : SystemIni)
{
  setObjectName(QStringLiteral("MicDSPFrm"));
  setWindowTitle(QStringLiteral("DSP"));
  resize(ScaleForDpi(268), ScaleForDpi(250));

  Panel1 = new QWidget(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Button1 = new QPushButton(QStringLiteral("OK"), this);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setMinimumSize(ScaleForDpi(75), ScaleForDpi(23));
  Button1->setDefault(true);
  connect(Button1, &QPushButton::clicked, this, &QDialog::accept);

  auto* Bottom = new QHBoxLayout;
  Bottom->addStretch(1);
  Bottom->addWidget(Button1);
  auto* Layout = new QVBoxLayout(this);
  const int Margin = ScaleForDpi(8);
  Layout->setContentsMargins(Margin, Margin, Margin, Margin);
  Layout->setSpacing(ScaleForDpi(6));
  Layout->addWidget(Panel1, 1);
  Layout->addLayout(Bottom);

  FormCreate();

  if (FPlayerIni)
    FSavedText = WriteSettingsText(*FPlayerIni);
  // Stage windows outlive this window's closing, and plug-ins keep their values in themselves:
  // neither may be lost at the end.
  connect(&StageWindowEvents(), &TStageWindowEvents::Closed, this, [this] {
    if (!isVisible())
      SaveIfChanged();
  });
  connect(qApp, &QCoreApplication::aboutToQuit, this, &TMicDSPFrm::SaveIfChanged);
}

TMicDSPFrm::~TMicDSPFrm()
{
  if (FDSPManagerFr)
    FDSPManagerFr->SetDSPManager(nullptr);
  FDSPManager.reset();
  delete FDSPManagerFr;
}

void TMicDSPFrm::FormCreate()
{
  if (FDSPManager)
    return;
  FDSPManager = std::make_unique<TDSPManager>(QStringLiteral("Mic"));
  // The chain stays the player settings'.
  if (FPlayerIni)
    FDSPManager->SetDSPList(&FPlayerIni->MicDSPList());
  FDSPManagerFr = new TDSPManagerFr(Panel1);
  FDSPManagerFr->setObjectName(QStringLiteral("MicDSPManagerFrame"));
  auto* PanelLayout = new QVBoxLayout(Panel1);
  PanelLayout->setContentsMargins(0, 0, 0, 0);
  PanelLayout->addWidget(FDSPManagerFr);
  FDSPManagerFr->SetVSTUseTextUI(FSystemIni && FSystemIni->ScreenReaderMode() &&
                                 FSystemIni->ScreenReaderVSTTextUI());
  FDSPManagerFr->SetDSPManager(FDSPManager.get());
  // The main window shows the window from then on; the rows must already be there.
  FDSPManagerFr->UpdateDSPListView();
  setFocusProxy(FDSPManagerFr->lDSP);
}

void TMicDSPFrm::showEvent(QShowEvent* AEvent)
{
  QDialog::showEvent(AEvent);
  if (!AEvent->spontaneous())
    FormShow();
}

void TMicDSPFrm::FormShow()
{
  TranslateForm(this, QStringLiteral("MicDSP.Captions"));
  // Plug-in names are long ("(VST) vendor name [file]"): show them whole.
  WidenToFitRows(this, FDSPManagerFr->lDSP);
  FDSPManagerFr->lDSP->setFocus();
}

void TMicDSPFrm::done(int AResult)
{
  QDialog::done(AResult);
  FormClose();
}

void TMicDSPFrm::FormClose()
{
  if (!FPlayerIni)
    return;
  FDSPManager->SaveAllVSTParams();
  FPlayerIni->Save();
  FSavedText = WriteSettingsText(*FPlayerIni);
}

void TMicDSPFrm::SaveIfChanged()
{
  if (!FPlayerIni)
    return;
  FDSPManager->SaveAllVSTParams();
  if (WriteSettingsText(*FPlayerIni) != FSavedText)
    FormClose();
}

#include "dsp_ui/dsp_manager_fr.h"

#include "audio/bass_wadsp.h"
#include "base/message_box.h"
#include "dsp/dsp_manager.h"
#include "dsp/plugins.h"
#include "dsp/vst_binding.h"
#include "dsp_ui/dsp_chain_model.h"
#include "dsp_ui/dsp_list_frm.h"
#include "dsp_ui/dsp_window_registry.h"
#include "settings/dsp_items.h"
#include "settings/system_ini.h"
#include "ui_common/common_images.h"
#include "ui_common/screen_utils.h"
#include "ui_common/translate_form.h"

#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QListView>
#include <QScopeGuard>
#include <QShortcut>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// Design sizes, in 96-DPI units.
constexpr int ButtonSize = 25;
constexpr int ButtonGap = 6;
constexpr int ListButtonGap = 5;
constexpr int IconSize = 16;

} // namespace

TDSPManagerFr::TDSPManagerFr(QWidget* AParent) : QWidget(AParent)
{
  setObjectName(QStringLiteral("DSPManagerFr"));
  // The windows the panel sits in translate their own captions, not the panel's.
  MarkAsFrame(this);
  resize(ScaleForDpi(192), ScaleForDpi(149));

  FModel = new TDSPChainModel(this);
  FModel->SetRowDisabledQuery([this](int ARow) { return IsPluginKindOff(ARow); });
  FModel->SetOnRowChecked([this](int ARow, bool AChecked) { lDSPItemChecked(ARow, AChecked); });

  lDSP = new QListView(this);
  lDSP->setObjectName(QStringLiteral("lDSP"));
  lDSP->setModel(FModel);
  lDSP->setSelectionMode(QAbstractItemView::SingleSelection);
  lDSP->setSelectionBehavior(QAbstractItemView::SelectRows);
  lDSP->setEditTriggers(QAbstractItemView::NoEditTriggers);
  // Rows as wide as their names: a long plug-in name scrolls rather than being cut.
  lDSP->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  lDSP->setAccessibleName(QStringLiteral("DSP chain"));
  lDSP->setMinimumSize(ScaleForDpi(80), ScaleForDpi(60));

  const auto MakeButton = [this](const char* AName, const char* AImage, const char* AHint) {
    auto* Button = new QToolButton(this);
    Button->setObjectName(QLatin1String(AName));
    Button->setIcon(CommonImage(QLatin1String(AImage)));
    Button->setIconSize(QSize(ScaleForDpi(IconSize), ScaleForDpi(IconSize)));
    Button->setFixedSize(ScaleForDpi(ButtonSize), ScaleForDpi(ButtonSize));
    Button->setToolTip(QLatin1String(AHint));
    Button->setAccessibleName(QLatin1String(AHint));
    Button->setFocusPolicy(Qt::StrongFocus);
    return Button;
  };
  btDSPConfig = MakeButton("btDSPConfig", "settings", "Configure");
  btDSPAdd = MakeButton("btDSPAdd", "Plus", "Add");
  btDSPRemove = MakeButton("btDSPRemove", "minus", "Remove");
  btDSPUp = MakeButton("btDSPUp", "up", "Move up");
  btDSPDown = MakeButton("btDSPDown", "down", "Move down");

  auto* Buttons = new QVBoxLayout;
  Buttons->setContentsMargins(0, 0, 0, 0);
  Buttons->setSpacing(ScaleForDpi(ButtonGap));
  for (QToolButton* Button : {btDSPConfig, btDSPAdd, btDSPRemove, btDSPUp, btDSPDown})
    Buttons->addWidget(Button);
  Buttons->addStretch(1);
  auto* Layout = new QHBoxLayout(this);
  Layout->setContentsMargins(0, 0, 0, 0);
  Layout->setSpacing(ScaleForDpi(ListButtonGap));
  Layout->addWidget(lDSP, 1);
  Layout->addLayout(Buttons);

  setTabOrder(lDSP, btDSPConfig);
  setTabOrder(btDSPConfig, btDSPAdd);
  setTabOrder(btDSPAdd, btDSPRemove);
  setTabOrder(btDSPRemove, btDSPUp);
  setTabOrder(btDSPUp, btDSPDown);

  connect(btDSPConfig, &QToolButton::clicked, this, &TDSPManagerFr::btDSPConfigClick);
  connect(btDSPAdd, &QToolButton::clicked, this, &TDSPManagerFr::btDSPAddClick);
  connect(btDSPRemove, &QToolButton::clicked, this, &TDSPManagerFr::btDSPRemoveClick);
  connect(btDSPUp, &QToolButton::clicked, this, [this] { btDSPUpClick(-1); });
  connect(btDSPDown, &QToolButton::clicked, this, [this] { btDSPUpClick(1); });
  connect(lDSP, &QListView::doubleClicked, this, &TDSPManagerFr::btDSPConfigClick);

  // Keys on the list for what the buttons do; Enter configures like a double-click (and so
  // does not close the window the panel sits in). Space ticks the selected row.
  const auto ListKey = [this](QKeySequence AKey, auto AHandler) {
    auto* Shortcut = new QShortcut(AKey, lDSP);
    Shortcut->setContext(Qt::WidgetShortcut);
    connect(Shortcut, &QShortcut::activated, this, AHandler);
  };
  ListKey(QKeySequence(Qt::Key_Return), [this] { btDSPConfigClick(); });
  ListKey(QKeySequence(Qt::Key_Enter), [this] { btDSPConfigClick(); });
  ListKey(QKeySequence(Qt::Key_Insert), [this] { btDSPAddClick(); });
  ListKey(QKeySequence(Qt::Key_Delete), [this] { btDSPRemoveClick(); });
  ListKey(QKeySequence(Qt::CTRL | Qt::Key_Up), [this] { btDSPUpClick(-1); });
  ListKey(QKeySequence(Qt::CTRL | Qt::Key_Down), [this] { btDSPUpClick(1); });
}

TDSPManagerFr::~TDSPManagerFr()
{
  if (FDSPManager)
    FDSPManager->SetOnChange({});
}

void TDSPManagerFr::SetDSPManager(TDSPManager* AManager)
{
  FDSPManager = AManager;
  if (FDSPManager)
    FDSPManager->SetOnChange([this](TDSPManager*) { DSPManagerChange(); });
}

TDSPItemsC* TDSPManagerFr::Chain() const
{
  return FDSPManager ? FDSPManager->DSPList() : nullptr;
}

void TDSPManagerFr::UpdateDSPListView()
{
  FDisableCheckUpdate = true;
  const auto Restore = qScopeGuard([this] { FDisableCheckUpdate = false; });
  QList<TDSPChainModel::TRow> Rows;
  if (TDSPItemsC* List = Chain())
    for (int i = 0; i < List->Count(); ++i) {
      const TDSPItemC* Item = List->Items(i);
      Rows.append({Item->DispName(), Item->State() == psActive});
    }
  FModel->SetRows(std::move(Rows));
}

void TDSPManagerFr::DSPManagerChange()
{
  UpdateDSPListView();
  lDSP->viewport()->update();
}

int TDSPManagerFr::SelectedIndex() const
{
  const QModelIndexList Selected = lDSP->selectionModel()->selectedIndexes();
  return Selected.isEmpty() ? -1 : Selected.first().row();
}

TDSPItemC* TDSPManagerFr::SelectedItem() const
{
  TDSPItemsC* List = Chain();
  const int Index = SelectedIndex();
  return List && Index >= 0 ? List->Items(Index) : nullptr;
}

bool TDSPManagerFr::IsPluginKindOff(int ARow) const
{
  TDSPItemsC* List = Chain();
  const TDSPItemC* Item = List ? List->Items(ARow) : nullptr;
  if (!Item || Item->T() != dspPlugin)
    return false;
  const TSystemIniBase* Settings = PluginSettings();
  switch (Item->PluginType()) {
  case ptDSP:
    return !(Settings && Settings->AllowWinampPlugins());
  case ptVST:
    return !(Settings && Settings->AllowVstPlugins());
  default:
    return false;
  }
}

bool TDSPManagerFr::Permitted() const
{
  return !UACCallback || UACCallback();
}

void TDSPManagerFr::lDSPItemChecked(int ARow, bool AChecked)
{
  if (FDisableCheckUpdate || !FDSPManager)
    return;
  TDSPItemsC* List = Chain();
  TDSPItemC* Item = List ? List->Items(ARow) : nullptr;
  if (!Item)
    return;
  if (!AChecked) {
    Item->SetState(psOff);
    FDSPManager->StopDSP(ARow);
    return;
  }
  if (IsPluginKindOff(ARow)) {
    // Take the mark away again, as unticking would.
    Item->SetState(psOff);
    FDSPManager->StopDSP(ARow);
    UpdateDSPListView();
    MyMessageBox(QStringLiteral("Plugins of this type are turned off. Please click the \"+\" "
                                "button and turn on plugins (VST or Winamp DSP)."),
                 QStringLiteral("Plugins"), MB_ICONWARNING);
    return;
  }
  Item->SetState(psActive);
  FDSPManager->StartDSP(ARow);
}

void TDSPManagerFr::btDSPAddClick()
{
  if (!Permitted())
    return;
  if (FAddDialog) {
    FAddDialog->raise();
    FAddDialog->activateWindow();
    return;
  }
  // Window-modal with a callback rather than a nested event loop; the dialog belongs to the
  // window the panel sits in.
  auto* Dialog = new TDSPListFrm(window());
  FAddDialog = Dialog;
  connect(Dialog, &QDialog::finished, this, &TDSPManagerFr::AddDialogFinished);
  Dialog->open();
}

void TDSPManagerFr::AddDialogFinished(int AResult)
{
  TDSPListFrm* Dialog = FAddDialog;
  FAddDialog = nullptr;
  if (!Dialog)
    return;
  // The dialog owns the choices: copy the chosen one before it goes, whatever happens here.
  const auto Free = qScopeGuard([Dialog] { Dialog->deleteLater(); });
  TDSPItemsC* List = Chain();
  if (AResult == QDialog::Accepted && Dialog->SelectedDSP && List) {
    TDSPItemC* Item = List->Add();
    Dialog->SelectedDSP->AssignTo(Item);
    UpdateDSPListView();
  }
  lDSP->viewport()->update();
}

void TDSPManagerFr::btDSPRemoveClick()
{
  if (!Permitted())
    return;
  const int Index = SelectedIndex();
  TDSPItemC* Item = SelectedItem();
  if (!Item || !FDSPManager)
    return;
  // One window per built-in kind, and it points at its entry: close it whichever entry it edits.
  if (Item->T() == dspIntegrated)
    CloseStageWindow(Item->IntDSPKind());
  Item->SetState(psOff);
  FDSPManager->StopDSP(Index);
  Chain()->Delete(Index);
  UpdateDSPListView();
}

void TDSPManagerFr::btDSPUpClick(int AStep)
{
  if (!Permitted())
    return;
  TDSPItemsC* List = Chain();
  const int Index = SelectedIndex();
  if (!List || !FDSPManager || Index < 0)
    return;
  const int NewIndex = Index + AStep;
  if (NewIndex < 0 || NewIndex >= FModel->rowCount())
    return;
  List->Move(Index, NewIndex);
  UpdateDSPListView();
  FDSPManager->StartAllDSPs();
  // Keep the moved entry selected so that the next click moves it again.
  lDSP->setCurrentIndex(FModel->index(NewIndex));
}

void TDSPManagerFr::btDSPConfigClick()
{
  if (!Permitted())
    return;
  TDSPItemC* Item = SelectedItem();
  if (!Item)
    return;
  if (Item->T() == dspIntegrated) {
    OpenStageWindow(Item->IntDSPKind(), Item, window());
    return;
  }
  if (Item->PluginType() == ptVST) {
    ConfigureVST(Item);
    return;
  }
  // A Winamp DSP plug-in without a handle is not loaded: there is nothing to configure.
  if (Item->H != 0 && Item->PluginType() == ptDSP)
    BASS_WADSP_Config(Item->H);
}

void TDSPManagerFr::ConfigureVST(TDSPItemC* AItem)
{
  // A stopped stage has no instance whose values could be shown or changed: say so rather than
  // ignore the click.
  BASS_VST_INFO Info{};
  if (AItem->H == 0 || !VSTBound() || !VST().GetInfo(AItem->H, &Info)) {
    if (IsPluginKindOff(AItem->Index()))
      MyMessageBox(QStringLiteral("Plugins of this type are turned off. Please click the \"+\" "
                                  "button and turn on plugins (VST or Winamp DSP)."),
                   QStringLiteral("Plugins"), MB_ICONWARNING);
    else
      MyMessageBox(QStringLiteral("This VST plugin is not running. Tick its box to switch it on, "
                                  "then configure it."),
                   QStringLiteral("VST"), MB_ICONINFORMATION);
    return;
  }
  // The parameter list needs no editor of the plug-in's own, only parameters.
  const bool TextUI = FVSTUseTextUI && VST().GetParamCount(AItem->H) > 0;
  if (!Info.hasEditor && !TextUI) {
    MyMessageBox(QStringLiteral("No parameters window available"), QStringLiteral("VST"),
                 MB_ICONINFORMATION);
    return;
  }
  if (!AItem->Frm) {
    const TCreateVSTParamWindow& Factory = VSTParamWindowFactory();
    if (!Factory)
      return;
    AItem->Frm = Factory(AItem, FVSTUseTextUI, window());
  }
  if (auto* Window = qobject_cast<QWidget*>(AItem->Frm.get())) {
    Window->show();
    Window->raise();
    Window->activateWindow();
  }
}

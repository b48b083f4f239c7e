#include "dsp_ui/dsp_list_frm.h"

#include "base/message_box.h"
#include "dsp/plugins.h"
#include "dsp_ui/plugin_folders_frm.h"
#include "dsp_ui/window_fit.h"
#include "settings/dsp_items.h"
#include "settings/system_ini.h"
#include "ui_common/screen_utils.h"

#include <QAbstractListModel>
#include <QApplication>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QListView>
#include <QPushButton>
#include <QScopeGuard>
#include <QStyle>
#include <QVBoxLayout>

// The list is virtual: it holds nothing but asks the catalogue for each row's text.
class TDSPCatalogueModel : public QAbstractListModel
{
public:
  explicit TDSPCatalogueModel(QObject* AParent) : QAbstractListModel(AParent) {}

  void BeginChange() { beginResetModel(); }
  void EndChange(const TDSPItemsC* AList)
  {
    FList = AList;
    endResetModel();
  }

  int rowCount(const QModelIndex& AParent = QModelIndex()) const override
  {
    return AParent.isValid() || !FList ? 0 : FList->Count();
  }
  QVariant data(const QModelIndex& AIndex, int ARole) const override
  {
    if (ARole != Qt::DisplayRole || !FList || !AIndex.isValid())
      return {};
    const TDSPItemC* Item = FList->Items(AIndex.row());
    return Item ? QVariant(Item->DispName()) : QVariant();
  }
  Qt::ItemFlags flags(const QModelIndex& AIndex) const override
  {
    return AIndex.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren
                            : Qt::NoItemFlags;
  }

private:
  const TDSPItemsC* FList = nullptr;
};

namespace {

void SetUpButton(QPushButton* AButton, const char* AName, int AWidth)
{
  AButton->setObjectName(QLatin1String(AName));
  AButton->setMinimumSize(ScaleForDpi(AWidth), ScaleForDpi(23));
}

} // namespace

TDSPListFrm::TDSPListFrm(QWidget* AParent) : QDialog(AParent)
{
  setObjectName(QStringLiteral("DSPListFrm"));
  setWindowTitle(QStringLiteral("DSP"));
  resize(ScaleForDpi(312), ScaleForDpi(352));

  FModel = new TDSPCatalogueModel(this);
  ListView1 = new QListView(this);
  ListView1->setObjectName(QStringLiteral("ListView1"));
  ListView1->setModel(FModel);
  ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
  ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  ListView1->setUniformItemSizes(true);
  ListView1->setAccessibleName(QStringLiteral("Available DSPs"));

  Label45 = new TKelConfirmCheckBox(QStringLiteral("Winamp DSP plug-ins"), this);
  Label45->setObjectName(QStringLiteral("Label45"));
  chVstplugins = new TKelConfirmCheckBox(QStringLiteral("VST plug-ins"), this);
  chVstplugins->setObjectName(QStringLiteral("chVstplugins"));

  Button4 = new QPushButton(QStringLiteral("Refresh list"), this);
  SetUpButton(Button4, "Button4", 91);
  Button4->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));
  Button4->setAutoDefault(false);
  Button3 = new QPushButton(QStringLiteral("Plugin folders..."), this);
  SetUpButton(Button3, "Button3", 121);
  Button3->setAutoDefault(false);
  Button1 = new QPushButton(QStringLiteral("OK"), this);
  SetUpButton(Button1, "Button1", 75);
  Button1->setDefault(true);
  Button2 = new QPushButton(QStringLiteral("Cancel"), this);
  SetUpButton(Button2, "Button2", 75);
  Button2->setAutoDefault(false);

  auto* Switches = new QVBoxLayout;
  Switches->setSpacing(ScaleForDpi(2));
  Switches->addWidget(Label45);
  Switches->addWidget(chVstplugins);
  auto* Middle = new QHBoxLayout;
  Middle->addLayout(Switches, 1);
  Middle->addWidget(Button4, 0, Qt::AlignTop);
  auto* Bottom = new QHBoxLayout;
  Bottom->addWidget(Button3);
  Bottom->addStretch(1);
  Bottom->addWidget(Button1);
  Bottom->addWidget(Button2);
  auto* Layout = new QVBoxLayout(this);
  const int Margin = ScaleForDpi(8);
  Layout->setContentsMargins(Margin, Margin, Margin, Margin);
  Layout->setSpacing(ScaleForDpi(4));
  Layout->addWidget(ListView1, 1);
  Layout->addLayout(Middle);
  Layout->addSpacing(ScaleForDpi(4));
  Layout->addLayout(Bottom);

  setTabOrder(ListView1, Label45);
  setTabOrder(Label45, chVstplugins);
  setTabOrder(chVstplugins, Button3);
  setTabOrder(Button3, Button4);
  setTabOrder(Button4, Button1);
  setTabOrder(Button1, Button2);

  Label45->SetOnBeforeChange([this](QObject*, bool& AAllow) { Label45BeforeChange(AAllow); });
  chVstplugins->SetOnBeforeChange(
      [this](QObject*, bool& AAllow) { chVstpluginsBeforeChange(AAllow); });
  // toggled fires for every change of the mark, by the user or by the program, like the
  // original click notification; the handlers ignore it until Init.
  connect(Label45, &QCheckBox::toggled, this, &TDSPListFrm::Label45Click);
  connect(chVstplugins, &QCheckBox::toggled, this, &TDSPListFrm::chVstpluginsClick);
  connect(Button4, &QPushButton::clicked, this, &TDSPListFrm::RefreshList);
  connect(Button3, &QPushButton::clicked, this, &TDSPListFrm::Button3Click);
  connect(Button1, &QPushButton::clicked, this, &TDSPListFrm::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
}

TDSPListFrm::~TDSPListFrm() = default;

void TDSPListFrm::showEvent(QShowEvent* AEvent)
{
  QDialog::showEvent(AEvent);
  // Once: the dialog is made for one use, and a window manager may show it again after
  // minimising.
  if (!FShown) {
    FShown = true;
    FormShow();
  }
}

void TDSPListFrm::FormShow()
{
  if (const TFormHook& Hook = PluginFormHook()) {
    if (const TTranslateFormHook& Translate = PluginTranslateFormHook())
      Translate(this, QStringLiteral("DSPAdd.Captions"));
    Hook(this);
  }
  const TSystemIniBase* Settings = PluginSettings();
  Label45->setChecked(Settings && Settings->AllowWinampPlugins());
  chVstplugins->setChecked(Settings && Settings->AllowVstPlugins());
  // Without settings there is nothing the switches could change.
  Label45->setEnabled(Settings != nullptr);
  chVstplugins->setEnabled(Settings != nullptr);
  FInit = true;
  RefreshList();
  WidenToFitRows(this, ListView1);
  ListView1->setFocus();
}

void TDSPListFrm::RefreshList()
{
  SelectedDSP = nullptr;
  FModel->BeginChange();
  FL.reset();
  FModel->EndChange(nullptr);
  // May report plug-in problems in message boxes; the list stays empty meanwhile. A first scan
  // probes every plug-in file in a helper process, which can take seconds.
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const auto Busy = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
  std::unique_ptr<TDSPItemsC> List = GetAvailableDSPs();
  FModel->BeginChange();
  FL = std::move(List);
  FModel->EndChange(FL.get());
}

void TDSPListFrm::Button1Click()
{
  const QModelIndexList Selected = ListView1->selectionModel()->selectedIndexes();
  SelectedDSP = Selected.isEmpty() || !FL ? nullptr : FL->Items(Selected.first().row());
  accept();
}

void TDSPListFrm::Label45BeforeChange(bool& AAllow)
{
  if (Label45->isChecked())
    AAllow = MyMessageBox(QStringLiteral("All Winamp DSP plugins will be stopped. Are you sure?"),
                          QStringLiteral("Turn off Winamp plugins"),
                          MB_ICONWARNING | MB_OKCANCEL) == IDOK;
}

void TDSPListFrm::chVstpluginsBeforeChange(bool& AAllow)
{
  if (chVstplugins->isChecked())
    AAllow =
        MyMessageBox(QStringLiteral("All VST plugins will be stopped. Are you sure?"),
                     QStringLiteral("Turn off VST plugins"), MB_ICONWARNING | MB_OKCANCEL) == IDOK;
}

void TDSPListFrm::Label45Click()
{
  TSystemIniBase* Settings = PluginSettings();
  if (!FInit || !Settings)
    return;
  Settings->SetAllowWinampPlugins(Label45->isChecked());
  // Building the catalogue does the stopping that the question announced.
  RefreshList();
}

void TDSPListFrm::chVstpluginsClick()
{
  TSystemIniBase* Settings = PluginSettings();
  if (!FInit || !Settings)
    return;
  Settings->SetAllowVstPlugins(chVstplugins->isChecked());
  RefreshList();
}

void TDSPListFrm::Button3Click()
{
  TSystemIniBase* Settings = PluginSettings();
  if (!Settings || FFoldersDialog)
    return;
  const QString Old = Settings->VSTFolder().join(QLatin1Char('\n')).trimmed();
  auto* Dialog = new TPluginFoldersFrm(this);
  FFoldersDialog = Dialog;
  connect(Dialog, &QDialog::finished, this, [this, Dialog, Old](int AResult) {
    Dialog->deleteLater();
    PluginFoldersFinished(AResult, Old);
  });
  Dialog->open();
}

void TDSPListFrm::PluginFoldersFinished(int AResult, const QString& AOldFolder)
{
  FFoldersDialog = nullptr;
  TSystemIniBase* Settings = PluginSettings();
  if (AResult != QDialog::Accepted || !Settings)
    return;
  // Folder names differ in letter case on this platform, so only an identical text is the
  // same folder.
  if (Settings->VSTFolder().join(QLatin1Char('\n')).trimmed() == AOldFolder)
    return;
  // Drop the list (stopping every running VST stage) so that the next catalogue searches the
  // new folder.
  const bool Allow = Settings->AllowVstPlugins();
  Settings->SetAllowVstPlugins(false);
  LoadVSTList();
  Settings->SetAllowVstPlugins(Allow);
  RefreshList();
}

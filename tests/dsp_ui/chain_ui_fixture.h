// Shared set-up of the chain editor and add-dialog tests: the plug-in layer against settings of
// the test's own with the build's real plug-ins (bin/Plugins, bin/VST), a chain with its manager
// and an editor over it, message boxes, the folder picker and the file manager answered by the
// test. Everything global is put back afterwards.
#pragma once

#include "base/data_folders.h"
#include "base/utils.h"
#include "dsp/dsp_manager.h"
#include "dsp/plugins.h"
#include "dsp/vst_binding.h"
#include "dsp_ui/dsp_chain_model.h"
#include "dsp_ui/dsp_manager_fr.h"
#include "dsp_ui/dsp_window_registry.h"
#include "settings/dsp_items.h"
#include "settings/system_ini.h"
#include "support/message_box_recorder.h"
#include "ui_common/file_dialogs.h"

#include <QApplication>
#include <QListView>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>

// Readable failure messages for texts.
inline void PrintTo(const QString& AText, std::ostream* AStream)
{
  *AStream << '"' << AText.toStdString() << '"';
}

namespace chainui {

inline QString BinDir()
{
  return QStringLiteral(VEXMO_BIN_DIR);
}

inline QString TestGainPath()
{
  return BinDir() + QStringLiteral("VST/vexmo_testgain.so");
}

class TChainUiTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    ASSERT_TRUE(FData.isValid());
    InitProgramFolder(BinDir());
    Settings.SetVSTFolder({BinDir() + QStringLiteral("VST/")});
    SetupPlugins(&Settings, FData.path() + QLatin1Char('/'), BinDir() + QStringLiteral("Plugins/"),
                 0, QStringLiteral("Are you sure?"), {}, {});
    Manager = std::make_unique<TDSPManager>(QStringLiteral("Mic"));
    Manager->SetDSPList(&List);
    Frame = std::make_unique<TDSPManagerFr>();
    Frame->SetDSPManager(Manager.get());
    FPreviousOpenFolder = SetOpenFolderHandler([this](const QString& AFolder) {
      OpenedFolders.append(AFolder);
      return true;
    });
    FPreviousSelectFolder = SetSelectFolderHandler([this](QString& APath) {
      PickerStarts.append(APath);
      if (PickedFolder.isEmpty())
        return false;
      APath = PickedFolder;
      return true;
    });
  }

  void TearDown() override
  {
    // Stop what runs while the chain and its manager still exist.
    for (int i = 0; i < List.Count(); ++i) {
      List.Items(i)->SetState(psOff);
      Manager->StopDSP(i);
    }
    Frame.reset();
    Manager.reset();
    List.Clear();
    Settings.SetAllowVstPlugins(false);
    Settings.SetAllowWinampPlugins(false);
    FreePluginLists();
    UnbindVST();
    SetupPlugins(nullptr, QString(), QString(), 0, QString(), {}, {});
    for (TIntDSPKind Kind : {dspEqualizer, dspCompressor, dspGain})
      RegisterStageWindow(Kind, {});
    RegisterVSTParamWindow({});
    SetOpenFolderHandler(FPreviousOpenFolder);
    SetSelectFolderHandler(FPreviousSelectFolder);
    InitProgramFolder(BinDir());
    InitDataFolder();
  }

  TDSPItemC* AddBuiltIn(TIntDSPKind AKind, TPluginState AState = psOff)
  {
    static const char* const Names[] = {"Equalizer", "Compressor", "Gain"};
    TDSPItemC* Item = List.Add();
    Item->SetT(dspIntegrated);
    Item->SetIntDSPKind(AKind);
    Item->SetDispName(QLatin1String(Names[AKind]));
    Item->SetState(AState);
    return Item;
  }

  TDSPItemC* AddPlugin(TPluginType AType, const QString& APath, TPluginState AState = psOff)
  {
    TDSPItemC* Item = List.Add();
    Item->SetT(dspPlugin);
    Item->SetPluginType(AType);
    Item->SetPluginPath(APath);
    Item->SetDispName(AType == ptVST ? QStringLiteral("(VST) ") + APath
                                     : QStringLiteral("(DSP) ") + APath);
    Item->SetState(AState);
    return Item;
  }

  QAbstractItemModel* Rows() const { return Frame->lDSP->model(); }
  int RowCount() const { return Rows()->rowCount(); }
  bool RowChecked(int ARow) const
  {
    return Rows()->index(ARow, 0).data(Qt::CheckStateRole).toInt() == Qt::Checked;
  }
  bool RowGrey(int ARow) const { return Rows()->index(ARow, 0).data(Qt::ForegroundRole).isValid(); }
  QStringList RowNames() const
  {
    QStringList Names;
    for (int i = 0; i < RowCount(); ++i)
      Names.append(Rows()->index(i, 0).data().toString());
    return Names;
  }
  QStringList ChainNames() const
  {
    QStringList Names;
    for (int i = 0; i < List.Count(); ++i)
      Names.append(List.Items(i)->DispName());
    return Names;
  }

  void Select(int ARow) { Frame->lDSP->setCurrentIndex(Rows()->index(ARow, 0)); }

  // What the user does with the keyboard: go to the row and press Space.
  void ToggleRow(int ARow)
  {
    Select(ARow);
    QTest::keyClick(Frame->lDSP, Qt::Key_Space);
  }

  // VST plug-ins on, searching bin/VST, with the bridge bound.
  void SwitchVSTOn()
  {
    Settings.SetAllowVstPlugins(true);
    LoadVSTList();
    ASSERT_TRUE(VSTBound()) << VSTBindError().toStdString();
  }

  QTemporaryDir FData;
  TMessageBoxRecorder Boxes;
  TSystemIni Settings;
  TDSPItemsC List;
  std::unique_ptr<TDSPManager> Manager;
  std::unique_ptr<TDSPManagerFr> Frame;
  QStringList OpenedFolders;
  QStringList PickerStarts;
  QString PickedFolder;

private:
  TOpenFolderHandler FPreviousOpenFolder;
  TSelectFolderHandler FPreviousSelectFolder;
};

} // namespace chainui

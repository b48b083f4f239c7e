// Shared set-up of the stage window tests: a temporary data folder for the presets, band settings
// of our own, the input box answered from a queue, and helpers to read menus.
#pragma once

#include "dsp/plugins.h"
#include "dsp_ui/compressor_dsp_frm.h"
#include "dsp_ui/dsp_window_registry.h"
#include "dsp_ui/eq_dsp_frm.h"
#include "dsp_ui/gain_dsp_frm.h"
#include "dsp_ui/input_box.h"
#include "dsp_ui/value_control_accessible.h"
#include "settings/system_ini.h"

#include <QAction>
#include <QLocale>
#include <QMenu>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>

// Readable failure messages for texts.
inline void PrintTo(const QString& AText, std::ostream* AStream)
{
  *AStream << '"' << AText.toStdString() << '"';
}

class TStageWindowTest : public ::testing::Test
{
protected:
  struct TInputCall
  {
    QString Caption;
    QString Prompt;
    QString Default;
  };

  void SetUp() override
  {
    FOldLocale = QLocale();
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    InstallValueControlAccessibility();
    ASSERT_TRUE(FDataDir.isValid());
    DataFolder = FDataDir.path() + QLatin1Char('/');
    SetupPlugins(&Settings, DataFolder, DataFolder + QStringLiteral("Plugins/"), 0, QString(), {},
                 {});
    FPreviousInput =
        SetInputBoxHandler([this](QWidget*, const QString& ACaption, const QString& APrompt,
                                  const QString& ADefault, TInputDone ADone) {
          InputCalls.append({ACaption, APrompt, ADefault});
          const std::optional<QString> Answer =
              InputAnswers.isEmpty() ? std::nullopt : InputAnswers.takeFirst();
          if (Answer && ADone)
            ADone(*Answer);
        });
  }

  void TearDown() override
  {
    // No window and no registration outlives the test.
    TEqDSPFrm::CloseOpen();
    TCompressorDSPFrm::CloseOpen();
    TGainDSPFrm::CloseOpen();
    for (TIntDSPKind Kind : {dspEqualizer, dspCompressor, dspGain})
      RegisterStageWindow(Kind, {});
    RegisterVSTParamWindow({});
    SetInputBoxHandler(FPreviousInput);
    // Nothing may keep pointing at this test's settings.
    SetupPlugins(nullptr, QString(), QString(), 0, QString(), {}, {});
    QLocale::setDefault(FOldLocale);
  }

  // Captions of a menu's entries, and whether each is enabled.
  static QStringList Captions(const QMenu* AMenu)
  {
    QStringList Result;
    for (const QAction* Entry : AMenu->actions())
      Result.append(Entry->isSeparator() ? QStringLiteral("-") : Entry->text());
    return Result;
  }
  static QAction* Entry(const QMenu* AMenu, const QString& ACaption)
  {
    for (QAction* Action : AMenu->actions())
      if (Action->text() == ACaption)
        return Action;
    return nullptr;
  }

  TSystemIni Settings;
  QString DataFolder;
  // Answers for the input box, in order; nullopt stands for Cancel. An empty queue cancels.
  QList<std::optional<QString>> InputAnswers;
  QList<TInputCall> InputCalls;

private:
  QTemporaryDir FDataDir;
  TInputBoxHandler FPreviousInput;
  QLocale FOldLocale;
};

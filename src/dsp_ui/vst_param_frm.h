// The parameter window of a running VST stage: the plug-in's own editor embedded, or, for
// screen-reader users, a list of the plug-in's parameters with one slider each.
#pragma once

#include "audio/bass.h"
#include "settings/dsp_items.h"

#include <QWidget>
#include <memory>
#include <vector>

class QLabel;
class QScrollArea;
class TKelTrackBar;

// One parameter row of the text interface; all null for a parameter whose information the
// plug-in would not give.
struct TVSTUI
{
  QLabel* Name = nullptr;
  TKelTrackBar* Track = nullptr; // 0..1000 for the parameter's 0..1
  QLabel* Val = nullptr;         // the value as the plug-in shows it
};

class TFrmVSTParam : public QWidget
{
  Q_OBJECT

public:
  // The text interface lists at most this many parameters.
  static constexpr int MaxTextUIParams = 100;

  explicit TFrmVSTParam(QWidget* AParent = nullptr);
  // Takes the plug-in's editor out of the window before the window goes.
  ~TFrmVSTParam() override;

  // The window for a running VST stage (AItem->H): with AUseTextUI the parameter list, else the
  // plug-in's editor, sized as the plug-in asks (600 for a side it does not tell). Centred on
  // AOwner; not shown yet.
  static std::unique_ptr<TFrmVSTParam> Create(TDSPItemC* AItem, bool AUseTextUI, QWidget* AOwner);

  // Builds the parameter rows for H anew.
  void BuildVSTTextUI();
  // A row's slider moved: the parameter gets the new value, the row the plug-in's new text.
  void OnTextUITrackChange(QObject* ASender);
  // Embeds the editor of the plug-in AHandle as soon as the window is on the screen.
  void EmbedEditor(DWORD AHandle);
  // Whether the plug-in's editor is in the window. When it could not be opened, the window says
  // so and lists the parameters instead.
  bool EditorEmbedded() const { return FEditorOpen; }

  // The stage's plug-in handle (text interface).
  DWORD H = 0;
  std::vector<TVSTUI> UI;

protected:
  // The title bar's close button hides the window: the next Configure shows it again, with the
  // editor still in it.
  void closeEvent(QCloseEvent* AEvent) override;
  void showEvent(QShowEvent* AEvent) override;
  bool eventFilter(QObject* AWatched, QEvent* AEvent) override;

private:
  void OpenEditor();
  void ShowParameterListInstead();

  QScrollArea* FScroll = nullptr;
  DWORD FEditorHandle = 0;
  bool FEditorPending = false;
  bool FEditorOpen = false;
};

// The factory the chain editor calls through the window registry.
std::unique_ptr<QWidget> CreateVSTParamWindow(TDSPItemC* AItem, bool AUseTextUI, QWidget* AOwner);

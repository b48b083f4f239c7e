// Pieces the stage windows (equalizer, compressor, gain, VST parameters) share.
#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

class QAction;
class QMenu;
class QPushButton;
class QWidget;
class TDSPItemC;
class TLBar;

// Places AWindow (sized already) centred over AOwner's window; without an owner, centred on the
// screen AWindow is on. Either way the window stays on that screen.
void CenterOnOwner(QWidget* AWindow, QWidget* AOwner);

// Lays AWindow out at its size, centres it over AOwner (as CenterOnOwner) and shows it.
void ShowStageWindow(QWidget* AWindow, QWidget* AOwner);

// Names and titles a stage window; it deletes itself on close and never keeps the program
// running once the main window closes. Its end is announced through StageWindowEvents().
void SetUpStageWindow(QWidget* AWindow, const QString& AName, const QString& ATitle);

// Announces the end of an equalizer, compressor or gain window (closed, replaced or deleted).
// Its edits are in the stage's Params by then, so whoever keeps the chain can store it.
class TStageWindowEvents : public QObject
{
  Q_OBJECT

Q_SIGNALS:
  void Closed();
};
TStageWindowEvents& StageWindowEvents();

// Each stage window kind has one open window at the most, held here (null while none is open).
template <class TForm> QPointer<TForm>& StageWindowSlot()
{
  static QPointer<TForm> Instance;
  return Instance;
}
// Closing deletes the open window at once: the caller may delete the entry it points at right
// after.
template <class TForm> void CloseStageWindow()
{
  delete StageWindowSlot<TForm>().data();
  StageWindowSlot<TForm>() = nullptr;
}
// Replaces the open window with a new one for AItem (none for a null AItem), shown over AOwner.
template <class TForm> void ReplaceStageWindow(TDSPItemC* AItem, QWidget* AOwner)
{
  CloseStageWindow<TForm>();
  if (!AItem)
    return;
  auto* Form = new TForm(AItem);
  StageWindowSlot<TForm>() = Form;
  ShowStageWindow(Form, AOwner);
}

// The "Preset" drop-down of the equalizer and compressor windows: "Load" and "Delete" submenus
// that the preset manager fills, and "Save...". Qt gives no automatic access keys, as wanted:
// preset names are shown as typed.
struct TPresetMenu
{
  QMenu* pmPreset = nullptr;
  QMenu* Load1 = nullptr;
  QAction* Save1 = nullptr;
  QMenu* Delete1 = nullptr;
};
// Builds the menu as a child of AButton's window and hangs it on AButton, which then drops it
// down below itself (with its arrow) on a click, Space or Enter.
TPresetMenu CreatePresetMenu(QPushButton* AButton);

// A value slider of the compressor and gain windows, set up in the order its range needs
// (Prec, MinValue, MaxValue, then Value). ACaption is also its accessible name.
TLBar* CreateValueBar(QWidget* AParent, const QString& AName, const QString& ACaption,
                      float AMinValue, float AMaxValue, int APrec, const QString& AUnit,
                      float AValue);
// Stacks the sliders in AContainer, one row each, with room on the left for the widest caption
// and on the right for the widest value text; then fixes the container's size to fit them.
void PlaceValueBars(QWidget* AContainer, const QList<TLBar*>& ABars);

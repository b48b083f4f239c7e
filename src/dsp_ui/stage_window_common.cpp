#include "dsp_ui/stage_window_common.h"

#include "dsp_ui/dpi_units.h"
#include "dsp_ui/l_bar.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QWidget>

void CenterOnOwner(QWidget* AWindow, QWidget* AOwner)
{
  if (!AWindow)
    return;
  QWidget* Owner = AOwner ? AOwner->window() : nullptr;
  QScreen* Screen = Owner ? Owner->screen() : AWindow->screen();
  if (!Screen)
    Screen = QGuiApplication::primaryScreen();
  const QRect Available = Screen ? Screen->availableGeometry() : QRect();
  const QPoint Center =
      Owner && Owner->isVisible() ? Owner->frameGeometry().center() : Available.center();
  QRect Frame = AWindow->frameGeometry();
  Frame.moveCenter(Center);
  // A window larger than the owner must not end up with its title bar off the screen.
  if (Available.isValid()) {
    Frame.moveLeft(qBound(Available.left(), Frame.left(),
                          qMax(Available.left(), Available.right() - Frame.width() + 1)));
    Frame.moveTop(qBound(Available.top(), Frame.top(),
                         qMax(Available.top(), Available.bottom() - Frame.height() + 1)));
  }
  AWindow->move(Frame.topLeft());
}

void SetUpStageWindow(QWidget* AWindow, const QString& AName, const QString& ATitle)
{
  AWindow->setObjectName(AName);
  AWindow->setWindowTitle(ATitle);
  AWindow->setAttribute(Qt::WA_DeleteOnClose);
  AWindow->setAttribute(Qt::WA_QuitOnClose, false);
  QObject::connect(AWindow, &QObject::destroyed, &StageWindowEvents(), &TStageWindowEvents::Closed);
}

TStageWindowEvents& StageWindowEvents()
{
  static TStageWindowEvents Events;
  return Events;
}

void ShowStageWindow(QWidget* AWindow, QWidget* AOwner)
{
  AWindow->ensurePolished();
  AWindow->adjustSize();
  CenterOnOwner(AWindow, AOwner);
  AWindow->show();
}

TPresetMenu CreatePresetMenu(QPushButton* AButton)
{
  TPresetMenu Menu;
  Menu.pmPreset = new QMenu(AButton);
  Menu.pmPreset->setObjectName(QStringLiteral("pmPreset"));
  Menu.Load1 = Menu.pmPreset->addMenu(QStringLiteral("Load"));
  Menu.Load1->setObjectName(QStringLiteral("Load1"));
  Menu.Save1 = Menu.pmPreset->addAction(QStringLiteral("Save..."));
  Menu.Save1->setObjectName(QStringLiteral("Save1"));
  Menu.Delete1 = Menu.pmPreset->addMenu(QStringLiteral("Delete"));
  Menu.Delete1->setObjectName(QStringLiteral("Delete1"));
  AButton->setMenu(Menu.pmPreset);
  return Menu;
}

TLBar* CreateValueBar(QWidget* AParent, const QString& AName, const QString& ACaption,
                      float AMinValue, float AMaxValue, int APrec, const QString& AUnit,
                      float AValue)
{
  auto* Bar = new TLBar(AParent);
  Bar->setObjectName(AName);
  Bar->BeginLoading();
  Bar->SetPrec(APrec);
  Bar->SetMinValue(AMinValue);
  Bar->SetMaxValue(AMaxValue);
  Bar->Set_unit(AUnit);
  Bar->SetCaption(ACaption);
  // A little air between the slider and its labels; the toolkit's slider has no margin of its
  // own that would keep them apart.
  Bar->SetLabelSpacing(6);
  Bar->setTickPosition(QSlider::NoTicks);
  Bar->SetValue(AValue);
  Bar->EndLoading();
  return Bar;
}

namespace {

// The widest text the value label can show: either end of the range, with its unit.
int WidestValueText(const TLBar* ABar)
{
  const QFontMetrics Metrics = ABar->Label2()->fontMetrics();
  int Widest = 0;
  for (float Value : {ABar->MinValue(), ABar->MaxValue()}) {
    QString Text = QString::number(double(Value), 'f', ABar->Prec());
    Text.replace(QLatin1Char('.'), QLocale().decimalPoint());
    Text += QLatin1Char(' ') + ABar->_unit();
    if (ABar->ShowSign())
      Text.prepend(QLatin1Char('+'));
    Widest = qMax(Widest, Metrics.horizontalAdvance(Text));
  }
  return Widest;
}

} // namespace

void PlaceValueBars(QWidget* AContainer, const QList<TLBar*>& ABars)
{
  if (!AContainer || ABars.isEmpty())
    return;
  const auto S = [AContainer](int ASize) { return ScaleFrom96Dpi(AContainer, ASize); };
  const int Spacing = S(ABars.first()->LabelSpacing());
  int CaptionWidth = 0;
  int ValueWidth = 0;
  int Height = S(20);
  for (TLBar* Bar : ABars) {
    Bar->Label1()->adjustSize();
    CaptionWidth = qMax(CaptionWidth, Bar->Label1()->width());
    ValueWidth = qMax(ValueWidth, WidestValueText(Bar));
    Height = qMax(Height, Bar->sizeHint().height());
  }
  const int Margin = S(8);
  const int Left = qMax(S(64), Margin + CaptionWidth + Spacing);
  const int Width = S(220);
  const int Pitch = qMax(S(26), Height + S(6));
  int Top = S(10);
  for (TLBar* Bar : ABars) {
    Bar->setGeometry(Left, Top, Width, Height);
    Top += Pitch;
  }
  AContainer->setFixedSize(Left + Width + Spacing + ValueWidth + Margin,
                           Top - Pitch + Height + S(6));
}

#include "dsp_ui/float_edit.h"

#include "dsp_ui/dpi_units.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QStyle>
#include <QToolButton>
#include <QWheelEvent>

#include <cmath>
#include <stdexcept>

namespace {

// Digits beyond this carry no information even for the widest real type.
constexpr int MaxDigits = 18;

// One wheel notch, in the units of QWheelEvent::angleDelta().
constexpr int WheelNotch = 120;

constexpr double WheelStep = 0.1;

} // namespace

TCustomFloatEdit::TCustomFloatEdit(QWidget* AParent) : QLineEdit(AParent)
{
  FLocale.setNumberOptions(QLocale::OmitGroupSeparator | QLocale::RejectGroupSeparator);
  const QString decimalPoint = FLocale.decimalPoint();
  FDec = decimalPoint.isEmpty() ? QChar(u'.') : decimalPoint.front();
  setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  setText(FormatValue(0));
}

void TCustomFloatEdit::SetDigits(int ADigits)
{
  if (ADigits == FDigits)
    return;
  FDigits = qBound(0, ADigits, MaxDigits);
  SetValue(Value());
}

double TCustomFloatEdit::Value() const
{
  if (FLoading)
    return FTempValue;
  const QString current = text();
  double result = 0;
  if (current.isEmpty() || current == u"-" || current == QString(FDec) || current == u"E")
    result = 0;
  else if (!ParseNumber(current, result))
    result = FMin;
  if (result < FMin)
    result = FMin;
  if (result > FMax)
    result = FMax;
  return result;
}

void TCustomFloatEdit::SetValue(double AValue)
{
  if (FLoading) {
    FTempValue = AValue;
    return;
  }
  double value = std::isnan(AValue) ? FMin : AValue;
  if (value > FMax)
    value = FMax;
  if (value < FMin)
    value = FMin;
  setText(FormatValue(value));
}

void TCustomFloatEdit::SetMin(double AMin)
{
  if (AMin == FMin)
    return;
  if (AMin > FMax)
    throw std::invalid_argument("Minimum value must not be greater than maximum value !");
  FMin = AMin;
  SetValue(Value());
}

void TCustomFloatEdit::SetMax(double AMax)
{
  if (AMax == FMax)
    return;
  if (AMax < FMin)
    throw std::invalid_argument("Maximum value must not be less than minimum value !");
  FMax = AMax;
  SetValue(Value());
}

void TCustomFloatEdit::BeginLoading()
{
  if (FLoading)
    return;
  FTempValue = Value();
  FLoading = true;
}

void TCustomFloatEdit::EndLoading()
{
  if (!FLoading)
    return;
  FLoading = false;
  SetValue(FTempValue);
}

QString TCustomFloatEdit::FormatValue(double AValue) const
{
  // + 0.0 turns a negative zero into zero, which must not show as "-0.0".
  QString result = QString::number(AValue + 0.0, 'f', FDigits);
  if (FDec != u'.')
    result.replace(u'.', FDec);
  return result;
}

bool TCustomFloatEdit::ParseNumber(const QString& AText, double& AResult) const
{
  bool ok = false;
  const double number = FLocale.toDouble(AText, &ok);
  if (!ok || !std::isfinite(number))
    return false;
  AResult = number;
  return true;
}

bool TCustomFloatEdit::AcceptChar(QChar AKey)
{
  const bool digit = AKey >= u'0' && AKey <= u'9';
  if (!digit && AKey != u'-' && AKey != u'e' && AKey != FDec)
    return false;

  // The text as it would be with the key typed over the selection.
  const QString current = text();
  const bool selection = hasSelectedText();
  const int start = selection ? selectionStart() : cursorPosition();
  const int length = selection ? selectionLength() : 0;
  const QString candidate = current.left(start) + AKey + current.mid(start + length);

  // A sign or a separator alone would not parse; offer a number whose last digit is ready to be
  // typed over instead.
  if (candidate == u"-") {
    setText(QStringLiteral("-0"));
    setSelection(1, 1);
    return false;
  }
  if (candidate == QString(FDec)) {
    setText(QString(u'0') + FDec + u'0');
    setSelection(2, 1);
    return false;
  }

  double number = 0;
  if (!ParseNumber(candidate, number))
    return false;
  if (number < FMin || number > FMax)
    return false;
  if (AKey == FDec && FDigits == 0)
    return false;
  if (!candidate.contains(u'e', Qt::CaseInsensitive)) {
    const qsizetype separator = candidate.indexOf(FDec); // 0-based, -1 when absent
    if (separator >= 0 && candidate.size() - (separator + 1) > FDigits)
      return false;
  }
  return true;
}

void TCustomFloatEdit::keyPressEvent(QKeyEvent* AEvent)
{
  const int key = AEvent->key();
  const QString typed = AEvent->text();
  if (key == Qt::Key_Return || key == Qt::Key_Enter) {
    QChar character = typed.isEmpty() ? QChar(u'\r') : typed.front();
    if (FOnEnterPress)
      FOnEnterPress(this, character);
    // Never inserted; the base class leaves the key to a dialog's default button.
    QLineEdit::keyPressEvent(AEvent);
    return;
  }
  if (key == Qt::Key_Escape) {
    SetValue(FOldVal);
    selectAll();
    // Passed on, so that a dialog still closes on Escape.
    AEvent->ignore();
    return;
  }
  const bool shortcut =
      AEvent->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
  if (typed.isEmpty() || shortcut || typed.front() < u' ' || typed.front() == QChar(0x7f) ||
      isReadOnly()) {
    // Editing and navigation keys, clipboard shortcuts; a read-only edit refuses typing itself.
    QLineEdit::keyPressEvent(AEvent);
    return;
  }
  AEvent->accept();
  for (QChar character : typed)
    if (AcceptChar(character))
      insert(QString(character));
}

void TCustomFloatEdit::inputMethodEvent(QInputMethodEvent* AEvent)
{
  const QString commit = AEvent->commitString();
  if (commit.isEmpty() || isReadOnly()) {
    QLineEdit::inputMethodEvent(AEvent);
    return;
  }
  // Composed text goes through the same filter as typed keys.
  QInputMethodEvent rest(AEvent->preeditString(), AEvent->attributes());
  QLineEdit::inputMethodEvent(&rest);
  for (QChar character : commit)
    if (character >= u' ' && AcceptChar(character))
      insert(QString(character));
  AEvent->accept();
}

void TCustomFloatEdit::focusInEvent(QFocusEvent* AEvent)
{
  QLineEdit::focusInEvent(AEvent);
  // A press of the left button places the caret itself; selecting all would fight it.
  if (FAutoSelect && !(QGuiApplication::mouseButtons() & Qt::LeftButton))
    selectAll();
  FOldVal = Value();
}

void TCustomFloatEdit::focusOutEvent(QFocusEvent* AEvent)
{
  // A context menu borrows the focus; the user has not left the box.
  if (AEvent->reason() != Qt::PopupFocusReason && !FLoading) {
    double number = 0;
    if (!ParseNumber(text(), number))
      number = FMin;
    SetValue(number);
  }
  QLineEdit::focusOutEvent(AEvent);
}

void TCustomFloatEdit::wheelEvent(QWheelEvent* AEvent)
{
  AEvent->accept();
  const int delta = AEvent->angleDelta().y();
  if (delta == 0)
    return;
  // Fine-grained wheels and touchpads send parts of a notch; they step once per whole notch.
  if ((delta > 0) != (FWheelDelta > 0))
    FWheelDelta = 0;
  FWheelDelta += delta;
  while (FWheelDelta >= WheelNotch) {
    SetValue(Value() + WheelStep);
    FWheelDelta -= WheelNotch;
  }
  while (FWheelDelta <= -WheelNotch) {
    SetValue(Value() - WheelStep);
    FWheelDelta += WheelNotch;
  }
}

TSpinButton::TSpinButton(QWidget* AParent) : QWidget(AParent)
{
  FUpButton = new QToolButton(this);
  FDownButton = new QToolButton(this);
  for (QToolButton* button : {FUpButton, FDownButton}) {
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoRepeat(true);
  }
  FUpButton->setArrowType(Qt::UpArrow);
  FDownButton->setArrowType(Qt::DownArrow);
  connect(FUpButton, &QToolButton::clicked, this, [this] {
    if (FOnUpClick)
      FOnUpClick(this);
  });
  connect(FDownButton, &QToolButton::clicked, this, [this] {
    if (FOnDownClick)
      FOnDownClick(this);
  });
  setFocusPolicy(Qt::NoFocus);
  setCursor(Qt::ArrowCursor);
}

void TSpinButton::resizeEvent(QResizeEvent* AEvent)
{
  QWidget::resizeEvent(AEvent);
  const int upHeight = height() / 2;
  FUpButton->setGeometry(0, 0, width(), upHeight);
  FDownButton->setGeometry(0, upHeight, width(), height() - upHeight);
}

TSpinFloatEdit::TSpinFloatEdit(QWidget* AParent) : TCustomFloatEdit(AParent)
{
  FButton = new TSpinButton(this);
  FButton->resize(ScaleFrom96Dpi(this, 15), ScaleFrom96Dpi(this, 17));
  FButton->SetOnUpClick([this](QObject*) {
    setFocus(Qt::MouseFocusReason);
    StepUp();
  });
  FButton->SetOnDownClick([this](QObject*) {
    setFocus(Qt::MouseFocusReason);
    StepDown();
  });
  UpdateMinHeight();
  PlaceButton();
}

void TSpinFloatEdit::SetEditorEnabled(bool AEnabled)
{
  FEditorEnabled = AEnabled;
  setAcceptDrops(AEnabled);
}

void TSpinFloatEdit::StepUp()
{
  Step(true);
}

void TSpinFloatEdit::StepDown()
{
  Step(false);
}

void TSpinFloatEdit::Step(bool AUp)
{
  if (isReadOnly()) {
    QApplication::beep();
    return;
  }
  if (FComputedIncrement) {
    FComputedIncrement(this, AUp);
    return;
  }
  SetValue(AUp ? Value() + FIncrement : Value() - FIncrement);
}

void TSpinFloatEdit::keyPressEvent(QKeyEvent* AEvent)
{
  const int key = AEvent->key();
  // Enter and Escape keep their meaning even when typing is off.
  if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) {
    TCustomFloatEdit::keyPressEvent(AEvent);
    return;
  }
  if (!FEditorEnabled) {
    AEvent->accept();
    return;
  }
  if (key == Qt::Key_Up || key == Qt::Key_Down) {
    AEvent->accept();
    Step(key == Qt::Key_Up);
    return;
  }
  TCustomFloatEdit::keyPressEvent(AEvent);
}

void TSpinFloatEdit::inputMethodEvent(QInputMethodEvent* AEvent)
{
  if (!FEditorEnabled) {
    AEvent->accept();
    return;
  }
  TCustomFloatEdit::inputMethodEvent(AEvent);
}

void TSpinFloatEdit::mouseReleaseEvent(QMouseEvent* AEvent)
{
  // The middle button pastes the primary selection.
  if (AEvent->button() == Qt::MiddleButton && !FEditorEnabled) {
    AEvent->accept();
    return;
  }
  TCustomFloatEdit::mouseReleaseEvent(AEvent);
}

void TSpinFloatEdit::contextMenuEvent(QContextMenuEvent* AEvent)
{
  if (FEditorEnabled) {
    TCustomFloatEdit::contextMenuEvent(AEvent);
    return;
  }
  QMenu* menu = createStandardContextMenu();
  const auto actions = menu->actions();
  for (QAction* action : actions) {
    const QString name = action->objectName();
    if (name == u"edit-cut" || name == u"edit-paste" || name == u"edit-delete" ||
        name == u"edit-undo" || name == u"edit-redo")
      action->setEnabled(false);
  }
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->popup(AEvent->globalPos());
}

void TSpinFloatEdit::resizeEvent(QResizeEvent* AEvent)
{
  TCustomFloatEdit::resizeEvent(AEvent);
  PlaceButton();
}

void TSpinFloatEdit::changeEvent(QEvent* AEvent)
{
  TCustomFloatEdit::changeEvent(AEvent);
  if (AEvent->type() == QEvent::FontChange || AEvent->type() == QEvent::StyleChange) {
    UpdateMinHeight();
    PlaceButton();
  }
}

void TSpinFloatEdit::showEvent(QShowEvent* AEvent)
{
  TCustomFloatEdit::showEvent(AEvent);
  PlaceButton();
}

void TSpinFloatEdit::UpdateMinHeight()
{
  // Room for the borders, the text and a little air, as the platform's edit boxes keep.
  const int fontHeight = fontMetrics().height();
  const int systemFontHeight = QFontMetrics(QApplication::font()).height();
  const int border = ScaleFrom96Dpi(this, 1);
  setMinimumHeight(4 * border + fontHeight + std::min(systemFontHeight, fontHeight) / 4 +
                   ScaleFrom96Dpi(this, 2));
}

void TSpinFloatEdit::PlaceButton()
{
  // The button sits inside the frame; the text stops short of it.
  const int frame =
      hasFrame() ? style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this) : 0;
  const int buttonWidth = FButton->width();
  FButton->setGeometry(width() - buttonWidth - frame, frame, buttonWidth,
                       std::max(0, height() - 2 * frame));
  setTextMargins(0, 0, buttonWidth + ScaleFrom96Dpi(this, 2), 0);
}

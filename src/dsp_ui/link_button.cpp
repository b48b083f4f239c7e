#include "dsp_ui/link_button.h"

#include <QKeyEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

namespace {

const QColor LinkColor(0, 0, 128); // navy

QFont LinkFont(const QFont& AFont)
{
  QFont Font(AFont);
  Font.setUnderline(true);
  return Font;
}

} // namespace

TLinkButton::TLinkButton(const QString& AText, QWidget* AParent) : QAbstractButton(AParent)
{
  setText(AText);
  setCursor(Qt::PointingHandCursor);
  setFocusPolicy(Qt::StrongFocus);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize TLinkButton::sizeHint() const
{
  const QFontMetrics Metrics(LinkFont(font()));
  // Two pixels around the text leave room for the focus frame.
  return Metrics.size(Qt::TextSingleLine, text()) + QSize(4, 4);
}

void TLinkButton::paintEvent(QPaintEvent*)
{
  QPainter Painter(this);
  Painter.setFont(LinkFont(font()));
  Painter.setPen(isEnabled() ? LinkColor : palette().color(QPalette::Disabled, QPalette::Text));
  Painter.drawText(rect(), Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine, text());
  if (hasFocus()) {
    QStyleOptionFocusRect Option;
    Option.initFrom(this);
    Option.backgroundColor = palette().color(QPalette::Window);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &Option, &Painter, this);
  }
}

void TLinkButton::keyPressEvent(QKeyEvent* AEvent)
{
  // Enter follows a link as it does in a browser; Space is handled by the button itself.
  if ((AEvent->key() == Qt::Key_Return || AEvent->key() == Qt::Key_Enter) &&
      AEvent->modifiers() == Qt::NoModifier) {
    click();
    return;
  }
  QAbstractButton::keyPressEvent(AEvent);
}

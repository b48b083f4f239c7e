// A link-style button ("open folder"): navy underlined text with the hand cursor. It is a
// button, not a label with a link, so that the keyboard reaches it (Tab, then Space) and screen
// readers announce it as something to press.
#pragma once

#include <QAbstractButton>

class TLinkButton : public QAbstractButton
{
  Q_OBJECT

public:
  explicit TLinkButton(const QString& AText, QWidget* AParent = nullptr);

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

protected:
  void paintEvent(QPaintEvent* AEvent) override;
  void keyPressEvent(QKeyEvent* AEvent) override;
};

// A check box that asks before the user changes it (TKelConfirmCheckBox): the plug-in switches
// of the add-DSP dialog use it to confirm stopping every plug-in of a family.
#pragma once

#include <QCheckBox>
#include <functional>

class TKelConfirmCheckBox : public QCheckBox
{
  Q_OBJECT

public:
  // Called before a change the user makes (click, space bar, the accessibility toggle action)
  // with AAllow true; the box changes only when AAllow is still true afterwards.
  using TBeforeChangeEvent = std::function<void(QObject* ASender, bool& AAllow)>;

  explicit TKelConfirmCheckBox(QWidget* AParent = nullptr);
  TKelConfirmCheckBox(const QString& AText, QWidget* AParent = nullptr);

  const TBeforeChangeEvent& OnBeforeChange() const { return FOnBeforeChange; }
  void SetOnBeforeChange(TBeforeChangeEvent AHandler) { FOnBeforeChange = std::move(AHandler); }

protected:
  // Every change by the user passes through here; setChecked() from the program does not, so
  // setting the mark from code never asks.
  void nextCheckState() override;

private:
  TBeforeChangeEvent FOnBeforeChange;
};

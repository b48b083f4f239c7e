// The plug-in folders dialog (TPluginFoldersFrm): shows the folder Winamp DSP plug-ins are
// loaded from and sets the folder VST plug-ins are loaded from (the VSTFolder system setting),
// with links that open either folder in the desktop's file manager.
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class TLinkButton;

class TPluginFoldersFrm : public QDialog
{
  Q_OBJECT

public:
  explicit TPluginFoldersFrm(QWidget* AParent = nullptr);

  QLabel* Label1;
  QLineEdit* Edit1;
  QPushButton* Button1;
  TLinkButton* Label27;
  QLabel* Label3;
  QLineEdit* Edit2;
  QPushButton* Button2;
  TLinkButton* Label2;
  QPushButton* Button3;
  QPushButton* Button4;

protected:
  void showEvent(QShowEvent* AEvent) override;

private:
  void FormShow();
  void Label27Click();
  void Label2Click();
  void Button2Click();
  void Button3Click();

  bool FShown = false;
};

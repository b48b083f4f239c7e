#include "ui_common/translate_form.h"

#include "base/localisation.h"

#include <QAbstractButton>
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMetaProperty>
#include <QWidget>

namespace {

const char* const FrameProperty = "vexmoTranslateFrame";
const char* const CaptionProperty = "caption";

// A "caption" property, declared by the class or set on the object, takes precedence.
bool HasCaptionProperty(const QObject* AObject)
{
  const int Index = AObject->metaObject()->indexOfProperty(CaptionProperty);
  if (Index >= 0)
    return AObject->metaObject()->property(Index).metaType() == QMetaType::fromType<QString>();
  return AObject->dynamicPropertyNames().contains(CaptionProperty);
}

// The window's own components, in creation order: descendants that are neither separate windows
// (a menu pops up as a window of its own but belongs to the window) nor inside a frame.
void CollectComponents(const QObject* AParent, QList<QObject*>& AComponents)
{
  for (QObject* Child : AParent->children()) {
    if (const auto* Widget = qobject_cast<const QWidget*>(Child)) {
      if (IsFrame(Widget) || (Widget->isWindow() && !qobject_cast<const QMenu*>(Widget)))
        continue;
    }
    AComponents.append(Child);
    CollectComponents(Child, AComponents);
  }
}

} // namespace

void MarkAsFrame(QWidget* AFrame)
{
  if (AFrame)
    AFrame->setProperty(FrameProperty, true);
}

bool IsFrame(const QWidget* AWidget)
{
  return AWidget && AWidget->property(FrameProperty).toBool();
}

bool ComponentCaption(const QObject* AObject, QString& ACaption)
{
  if (!AObject)
    return false;
  if (HasCaptionProperty(AObject)) {
    ACaption = AObject->property(CaptionProperty).toString();
    return true;
  }
  if (const auto* Button = qobject_cast<const QAbstractButton*>(AObject))
    ACaption = Button->text();
  else if (const auto* Label = qobject_cast<const QLabel*>(AObject))
    ACaption = Label->text();
  else if (const auto* Group = qobject_cast<const QGroupBox*>(AObject))
    ACaption = Group->title();
  else if (const auto* Menu = qobject_cast<const QMenu*>(AObject))
    ACaption = Menu->title();
  else if (const auto* Action = qobject_cast<const QAction*>(AObject)) {
    if (Action->isSeparator())
      return false;
    ACaption = Action->text();
  } else
    return false;
  return true;
}

bool SetComponentCaption(QObject* AObject, const QString& ACaption)
{
  if (!AObject)
    return false;
  if (HasCaptionProperty(AObject)) {
    AObject->setProperty(CaptionProperty, ACaption);
    return true;
  }
  if (auto* Button = qobject_cast<QAbstractButton*>(AObject))
    Button->setText(ACaption);
  else if (auto* Label = qobject_cast<QLabel*>(AObject))
    Label->setText(ACaption);
  else if (auto* Group = qobject_cast<QGroupBox*>(AObject))
    Group->setTitle(ACaption);
  else if (auto* Menu = qobject_cast<QMenu*>(AObject))
    Menu->setTitle(ACaption);
  else if (auto* Action = qobject_cast<QAction*>(AObject)) {
    if (Action->isSeparator())
      return false;
    Action->setText(ACaption);
  } else
    return false;
  return true;
}

void TranslateForm(QWidget* AForm, const QString& ASection)
{
  TranslateForm(AForm, ASection, LanguageFileName());
}

void TranslateForm(QWidget* AForm, const QString& ASection, const QString& AFileName)
{
  if (!AForm)
    return;
  const TFormTranslation Translation = TFormTranslation::Read(AFileName, ASection);
  if (Translation.IsEmpty())
    return;

  QList<QObject*> Components;
  CollectComponents(AForm, Components);

  // Designed texts that every window shares ("OK", "Cancel") are translated once for all.
  for (QObject* Component : Components) {
    QString Caption;
    if (!ComponentCaption(Component, Caption))
      continue;
    const QString Translated = Translation.Translate(Caption);
    if (!Translated.isEmpty())
      SetComponentCaption(Component, Translated);
  }

  // Then the window's own section, which wins over the shared texts.
  for (const TCaptionEntry& Entry : Translation.Captions()) {
    if (Entry.Name == QLatin1String("@")) {
      if (AForm->isWindow())
        AForm->setWindowTitle(Entry.Caption);
      continue;
    }
    for (QObject* Component : Components) {
      if (Component->objectName().compare(Entry.Name, Qt::CaseInsensitive) == 0) {
        SetComponentCaption(Component, Entry.Caption);
        break;
      }
    }
  }
}

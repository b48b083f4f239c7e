// Callback types of the value controls. They are plain callables rather than Qt signals because
// several of them hand a value back to the control (the accessible value text, the Enter key).
#pragma once

#include <QChar>
#include <QString>
#include <Qt>

#include <functional>

class QObject;

// Plain notification: the control that fired it.
using TNotifyEvent = std::function<void(QObject* ASender)>;

// Mouse button pressed or released at (AX, AY) in the control's own coordinates.
using TMouseEvent = std::function<void(QObject* ASender, Qt::MouseButton AButton,
                                       Qt::KeyboardModifiers AShift, int AX, int AY)>;

// Mouse moved to (AX, AY) in the control's own coordinates.
using TMouseMoveEvent =
    std::function<void(QObject* ASender, Qt::KeyboardModifiers AShift, int AX, int AY)>;

// Receives the default accessible value text of a slider and may replace it.
using TAccessibleValueEvent = std::function<void(QObject* ASender, QString& AValue)>;

// A typed key that the control hands to its owner; the owner may change it.
using TKeyPressEvent = std::function<void(QObject* ASender, QChar& AKey)>;

// Replaces the built-in step of a spin edit; AUp tells the direction.
using TComputedIncrementEvent = std::function<void(QObject* ASender, bool AUp)>;

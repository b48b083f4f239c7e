// The program's shared image collection: every window picks its button images from here by
// name, so one set of drawings serves the main window, the DSP windows and the dialogs.
//
// Names: "record broadcast ", "insert", "Delete", "FX", "settings", "Add File", "Plus", "minus",
// "up", "down". Lookup ignores letter case and surrounding blanks.
#pragma once

#include <QIcon>
#include <QString>
#include <QStringList>

// The image of that name (vector drawn, sharp at any size and scale), or a null icon when the
// collection has no such name.
QIcon CommonImage(const QString& AName);
// The resource path of the drawing behind a name, empty when there is none.
QString CommonImagePath(const QString& AName);
// Every name of the collection.
QStringList CommonImageNames();

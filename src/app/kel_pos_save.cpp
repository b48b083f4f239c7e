#include "app/kel_pos_save.h"

#include "base/ini_file.h"

#include <QWidget>

TKelPosSave::TKelPosSave(QWidget* AOwner) : QObject(AOwner), F(AOwner) {}

void TKelPosSave::RestorePos()
{
  if (!F)
    return;
  const TIniFile Ini(FIniFile);
  const int X = Ini.ReadInteger(FKey, QStringLiteral("X"), F->x());
  const int Y = Ini.ReadInteger(FKey, QStringLiteral("Y"), F->y());
  const int W = Ini.ReadInteger(FKey, QStringLiteral("W"), F->width());
  const int H = Ini.ReadInteger(FKey, QStringLiteral("H"), F->height());
  const int S = Ini.ReadInteger(FKey, QStringLiteral("S"), 0);
  F->move(X, Y);
  if (S == 1) {
    // The size first, so that leaving the maximised state returns to it.
    if (W > 0 && H > 0)
      F->resize(W, H);
    F->setWindowState((F->windowState() & ~Qt::WindowMinimized) | Qt::WindowMaximized);
  } else {
    F->setWindowState(F->windowState() &
                      ~(Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen));
    F->move(X, Y);
    if (W > 0 && H > 0)
      F->resize(W, H);
  }
  FCanWrite = true;
}

void TKelPosSave::SavePos()
{
  if (!F || !FCanWrite || FIniFile.isEmpty())
    return;
  int X, Y, W, H, S;
  if (F->isMaximized()) {
    X = F->x();
    Y = F->y();
    const QRect Normal = F->normalGeometry();
    W = Normal.isValid() ? Normal.width() : F->width();
    H = Normal.isValid() ? Normal.height() : F->height();
    S = 1;
  } else {
    X = F->x();
    Y = F->y();
    W = F->width();
    H = F->height();
    S = 0;
  }
  TIniFile Ini(FIniFile);
  // Each write reports its own failure; a placement that cannot be kept is not worth a word.
  Ini.WriteInteger(FKey, QStringLiteral("X"), X);
  Ini.WriteInteger(FKey, QStringLiteral("Y"), Y);
  Ini.WriteInteger(FKey, QStringLiteral("W"), W);
  Ini.WriteInteger(FKey, QStringLiteral("H"), H);
  Ini.WriteInteger(FKey, QStringLiteral("S"), S);
}

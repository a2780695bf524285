#pragma once

#include "client/customization.h"

#include <QIcon>
#include <QPixmap>

// The icon of a menu command: the desktop theme's, else the one shipped
// with the program; empty for a command without one.
QIcon CommandIcon(int commandId);

// The program's own icons, splash and banner, for the customisation to
// fall back to (CCustomization::CompleteFromResources).
CCustomMedia ProgramResource(CCustomMedia::Kind kind, int resourceId);

// A customisation's icon or bitmap as Qt shows it; null when its bytes are
// no image Qt reads.
QPixmap MediaPixmap(const CCustomMedia& media);
QIcon MediaIcon(const CCustomMedia& large, const CCustomMedia& small = {});

// The state icons of the result column: the desktop's icon theme first, a
// copy of Adwaita's (compiled in at build time) where the theme has none,
// in every size the copy holds so that HiDPI screens get a sharp picture.
#pragma once

#include <QIcon>

#include "RowPhase.h"

// The icon of a phase; a null icon for RowPhase::None. Window thread only.
QIcon StateIcon(RowPhase phase);
// Decodes every phase's icon at `extent` pixels (times `ratio`) now, so
// that the first row to reach a phase during a batch does not pay for it.
void PrepareStateIcons(int extent, qreal ratio);

#pragma once
#include <QString>

// The thin scroll bar of the home favourites and the games grid, for a
// scroll area of this object name: transparent, 6 px wide, no arrows.
QString thinScrollAreaStyle(const QString &objectName);

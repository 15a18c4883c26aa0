#pragma once

#include <QStringList>

// Registers the fonts bundled in the resources (Inter for Latin text,
// Vazirmatn for Persian) with the application, so the style sheet's families
// resolve the same on every machine. Returns the families that loaded; safe
// to call more than once (later calls do nothing).
QStringList registerBundledFonts();

// Registers the bundled fonts and makes Inter (with Vazirmatn for Persian
// letters) the application's default font, keeping the default size. Widgets
// that set their own font or font rule keep theirs.
void applyBundledDefaultFont();

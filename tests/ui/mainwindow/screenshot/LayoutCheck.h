#pragma once
// What a look at a view would find wrong, read from the widgets' geometry
// rather than from pixels: a control the side navigation covers, a label
// whose text is wider (or, wrapped, taller) than the label shows, and two
// sibling widgets lying over each other where nothing means them to.

#include <QStringList>

class QWidget;

namespace LayoutCheck {

// Every fault found in the window as it is shown now, one line each.
QStringList findFaults(QWidget *window);

} // namespace LayoutCheck

#include "ui/pages/common/ThinScrollBar.h"

QString thinScrollAreaStyle(const QString &objectName)
{
    return QStringLiteral(
               "QScrollArea#%1{background: transparent;border: none;}"
               "QScrollArea#%1 > QWidget{background: transparent;}"
               "QScrollArea#%1 > QWidget > QWidget{background: transparent;}"
               "QScrollArea#%1 QScrollBar:vertical{background: transparent;width: 6px;margin: 0px;}"
               "QScrollArea#%1 QScrollBar::handle:vertical{background: rgba(255,255,255,0.12);"
               "border-radius: 3px;min-height: 24px;}"
               "QScrollArea#%1 QScrollBar::add-line:vertical,"
               "QScrollArea#%1 QScrollBar::sub-line:vertical{height: 0px;}"
               "QScrollArea#%1 QScrollBar::add-page:vertical,"
               "QScrollArea#%1 QScrollBar::sub-page:vertical{background: transparent;}")
        .arg(objectName);
}

#include "ui/mainwindow/SectionWidgets.h"

#include <QWidget>

void SectionWidgets::add(WindowRules::Section section, QWidget *widget)
{
    m_registered.insert(int(section), widget);
    m_added.append(section);
}

QWidget *SectionWidgets::widget(WindowRules::Section section) const
{
    return m_registered.value(int(section));
}

void SectionWidgets::placeForLanguage(bool persian) const
{
    static const char kBuiltX[] = "qxLeftToRightX";
    for (const WindowRules::SectionInfo &info : WindowRules::sectionTable()) {
        if (info.persianShift == 0)
            continue;
        QWidget *w = widget(info.section);
        if (!w)
            continue;
        // The x it was built at is the left-to-right one; kept on the widget
        // so a page built later keeps its own.
        QVariant built = w->property(kBuiltX);
        if (!built.isValid()) {
            built = w->x();
            w->setProperty(kBuiltX, built);
        }
        w->move(WindowRules::sectionX(info.section, built.toInt(), persian), w->y());
    }
}

#include "ui/mainwindow/SectionWidgets.h"

#include <QWidget>

void SectionWidgets::add(WindowRules::Section section, QWidget *widget)
{
    m_registered.insert(int(section), widget);
}

QWidget *SectionWidgets::widget(WindowRules::Section section) const
{
    const auto it = m_registered.constFind(int(section));
    if (it != m_registered.constEnd() && *it)
        return *it;
    return m_window->findChild<QWidget *>(QLatin1String(WindowRules::sectionName(section)));
}

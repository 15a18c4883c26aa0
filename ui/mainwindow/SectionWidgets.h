#pragma once
#include "ui/mainwindow/WindowRules.h"

#include <QHash>
#include <QPointer>

class QWidget;

// The page sections by their Section value. Each area registers the section
// widgets it builds (typed pointers, no search); a section not registered
// (not built yet) has none.
class SectionWidgets
{
public:
    void add(WindowRules::Section section, QWidget *widget);
    // The section's widget, or null when there is none.
    QWidget *widget(WindowRules::Section section) const;

    // Moves every section that shifts in Persian to its x for the language
    // (from the x it was built at); sections not built yet are placed when
    // this runs again after they are.
    void placeForLanguage(bool persian) const;

    // How many sections have been added so far, and those added after the
    // first `mark` of them (what one part of the window just built).
    int added() const { return int(m_added.size()); }
    QVector<WindowRules::Section> addedSince(int mark) const { return m_added.mid(mark); }

private:
    QHash<int, QPointer<QWidget>> m_registered;
    QVector<WindowRules::Section> m_added;
};

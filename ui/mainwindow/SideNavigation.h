#pragma once
#include "ui/widgets/WindowArea.h"

#include <QIcon>
#include <QList>
#include <QObject>

class QButtonGroup;
class QFrame;
class QLabel;
class QToolButton;
class QWidget;

// The side-navigation column "HeaderNavDots": five section buttons (Home,
// Games, Network, Setting, Profile, ids 0 to 4) in one exclusive group, and
// the version below them. It floats over the page as a child of the window,
// at the left edge or, for Persian, at the right edge, together with the
// header's mini logo and its line.
class SideNavigation : public QObject, public WindowArea
{
    Q_OBJECT
public:
    SideNavigation(QWidget *window, QLabel *logo, QFrame *logoLine);

    QButtonGroup *group() const { return m_group; }
    QWidget *column() const { return m_column; }

    // Checks the button of the id and gives each button its active or normal icon.
    void select(int id);
    // Places the column, logo and line for the language; visibility stays.
    void place(bool persian) override;
    // Shows or hides the column, logo and line and places them for the
    // language (y unchanged).
    void setShown(bool shown, bool persian);
    void hide();
    // Raises the column, then the logo, line and logo again (topmost).
    void raiseAll();

signals:
    // A button was clicked by the user or by navigation by index.
    void sectionClicked(int id);

private:
    QWidget *m_window;
    QLabel *m_logo;
    QFrame *m_logoLine;
    QWidget *m_column = nullptr;
    QButtonGroup *m_group = nullptr;
    QList<QToolButton *> m_buttons;
    QList<QIcon> m_normalIcons;
    QList<QIcon> m_activeIcons;
};

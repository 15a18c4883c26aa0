#pragma once
#include <QObject>

class QMainWindow;
class QScrollArea;
class QStackedWidget;
class QuorlixConnection;
class QVBoxLayout;
class QWidget;
class SectionWidgets;

// The page stack below the header band: page 0 "HomeRoot" (the long page's
// sections float over it) and page 1 the connection page. The root frame that
// holds band and stack becomes the widget of the window's scroll area
// "MainScrollArea", and its height follows the section shown: Home and
// Setting scroll to their content, the other sections are one screen.
class PageStack : public QObject
{
    Q_OBJECT
public:
    // The window's scroll area "MainScrollArea", made before the root frame
    // so that the frame is built straight into its viewport.
    static QScrollArea *makeScrollArea(QMainWindow *window);

    // The content heights come from the sections built by then (the home
    // metrics strip's y, the lower settings card's height). The root frame is
    // a child of the scroll area's viewport.
    PageStack(QMainWindow *window, QScrollArea *scroll, QWidget *rootFrame, QVBoxLayout *rootLayout,
              const SectionWidgets &sections);

    QStackedWidget *stack() const { return m_stack; }
    QWidget *homeRoot() const { return m_homeRoot; }
    QuorlixConnection *connectionPage() const { return m_connectionPage; }
    QScrollArea *scrollArea() const { return m_scroll; }
    int homeContentHeight() const { return m_homeHeight; }
    int settingsContentHeight() const { return m_settingsHeight; }
    void setContentHeights(int home, int settings);
    // Sections built after the stack: the content heights are read again
    // from them, and the root frame's minimum height becomes what it would
    // be had they been there all along.
    void sectionsBuilt();

    // Shows the page and sets the root frame's height for the navigation id.
    void showFor(int navId);

private:
    void readContentHeights();

    QWidget *m_window;
    QWidget *m_rootFrame;
    const SectionWidgets &m_sections;
    QStackedWidget *m_stack = nullptr;
    QWidget *m_homeRoot = nullptr;
    QuorlixConnection *m_connectionPage = nullptr;
    QScrollArea *m_scroll;
    int m_homeHeight = 0;
    int m_settingsHeight = 0;
    int m_shownNavId = -1; // the last showFor(), -1 before any
};

#pragma once
#include "services/NotificationService.h"
#include "ui/widgets/WindowArea.h"

#include <QObject>

class CardOverlay;
class NotifListView;
class QButtonGroup;
class QFrame;
class QLabel;
class QPushButton;
class QScrollArea;
class QStackedWidget;

// The header's notification bell with its unread dot, and the drop-down card
// it opens over the whole window: Personal and Public tabs, each a list of
// collapsible rows. Opening it fetches both scopes again.
class NotificationBell : public QObject, public WindowArea
{
    Q_OBJECT
public:
    // The bell is a child of the header band, the overlay of the window. A
    // null service leaves the lists empty. The first fetch runs firstFetchMs
    // after construction, once the event loop runs.
    NotificationBell(QWidget *window, QWidget *headerBand, NotificationService *service,
                     const QString &persianFontFamily, int firstFetchMs, QObject *parent);

    QPushButton *bell() const { return m_bell; }
    QFrame *dot() const { return m_dot; }
    CardOverlay *overlay() const { return m_overlay; }
    QFrame *card() const { return m_card; }
    QPushButton *tab(int id) const { return id == 0 ? m_personalTab : m_publicTab; }
    QScrollArea *scrollArea() const { return m_scroll; }
    QStackedWidget *stack() const { return m_stack; }
    NotifListView *list(NotificationService::Scope scope) const;
    QLabel *seeAll() const { return m_seeAll; }

    void place(bool persian) override;
    // The overlay over the window's rectangle `full`, the card 264 px in from
    // its right edge; raised when shown and `raiseShown`.
    void coverWindow(const QRect &full, bool raiseShown);

public slots:
    // Opens the drop-down (placed, fetched, focused) or closes it.
    void onBellClicked();
    void placeDropdown();
    void switchTab(int id);
    void fetchNotifications();

private:
    QWidget *m_window;
    NotificationService *m_service;
    QString m_persianFamily;
    QPushButton *m_bell = nullptr;
    QFrame *m_dot = nullptr;
    CardOverlay *m_overlay = nullptr;
    QFrame *m_card = nullptr;
    QFrame *m_tabsBg = nullptr;
    QPushButton *m_personalTab = nullptr;
    QPushButton *m_publicTab = nullptr;
    QButtonGroup *m_tabs = nullptr;
    QScrollArea *m_scroll = nullptr;
    QStackedWidget *m_stack = nullptr;
    NotifListView *m_personal = nullptr;
    NotifListView *m_public = nullptr;
    QLabel *m_seeAll = nullptr;
};

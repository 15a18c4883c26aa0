#pragma once
// The home page's lowest rows: the metrics strip "BottomBreakerSection" (four
// fixed figures with a subtitle each, between dashed lines) and the three
// help cards (Tutorials, Support, Discord: round icon, title, body and a
// "Go to" button that opens a page in the browser). It also owns the one
// table of x positions of the dashboard's eight containers for each
// language, which the dashboard's column hook and the window's resize
// handling read as well.

#include "services/UrlOpener.h"
#include "ui/widgets/WindowArea.h"

#include <QFrame>
#include <QLabel>
#include <QObject>
#include <QPointer>
#include <QPushButton>
#include <QString>
#include <QUrl>
#include <QWidget>

#include <array>

class HomeMetrics : public QObject, public WindowArea
{
    Q_OBJECT
public:
    // The dashboard's containers in the order they are placed and raised.
    enum Container {
        ConnectionsSection,
        ConnectionsSectionRight,
        DashboardLowerLeft,
        DashboardLowerRight,
        BottomBreakerSection,
        HelpCardTutorials,
        HelpCardSupport,
        HelpCardDiscord,
        ContainerCount
    };
    // Each container's x for the language. In Persian every column moves
    // 100 px to the left (the side navigation moves to the right edge); the
    // columns keep their order, so no two containers ever overlap.
    static int containerX(Container container, bool persian);

    enum Card { Tutorials, Support, Discord, CardCount };

    struct Setup
    {
        int y = 958; // the strip's y; the help cards lie 180 px lower
        QString persianFontFamily;
        UrlOpener openUrl;
        // Empty links leave their "Go to" button without a handler.
        QUrl supportLink;
        QUrl discordLink;
        // The dashboard's four upper containers, placed from the same table.
        std::array<QWidget *, 4> upperContainers = {};
    };

    HomeMetrics(QWidget *rootFrame, const Setup &setup, QObject *parent);

    QWidget *strip() const { return m_strip.data(); }
    QLabel *figure(int i) const { return m_figures[i].data(); }
    QLabel *subtitle(int i) const { return m_subtitles[i].data(); }
    QFrame *divider(int i) const { return m_dividers[i].data(); }
    QWidget *card(Card card) const { return m_cards[card].data(); }
    QLabel *cardTitle(Card card) const { return m_titles[card].data(); }
    QLabel *cardBody(Card card) const { return m_bodies[card].data(); }
    QPushButton *cardButton(Card card) const { return m_buttons[card].data(); }
    QLabel *cardArrow(Card card) const { return m_arrows[card].data(); }
    QWidget *container(Container container) const { return m_containers[container].data(); }

    // The eight containers at the table's x for the language, each keeping
    // its y, then raised in table order.
    void layoutHomeMetrics(const QString &languageCode);
    // Subtitles, card titles, bodies and buttons for the language.
    void retranslateHomeCards(const QString &languageCode);
    void place(bool persian) override;

    // Builders.
    static QFrame *makeDashedDivider(QWidget *strip, int x);
    static QWidget *makeHelpCard(QWidget *rootFrame, const QString &name, int x, int y);
    // The round plate at (176, 30) with the icon; an icon that does not load
    // leaves the plate empty.
    static QWidget *makeRoundIconHolder(QWidget *card, const QString &iconPath);
    static void makeHelpCardTexts(QWidget *card, const QString &title, QLabel **outTitle, QLabel **outBody);
    // The "Go to" button; its arrow only when the icon loads (else
    // *outArrow stays null), its click only when the link is valid.
    QPushButton *makeHelpCardButton(QWidget *card, const QUrl &link, QLabel **outArrow);
    static void styleHelpCardButton(QPushButton *button, const QString &persianText,
                                    const QString &englishText, bool persian, const QString &family);

public slots:
    void openHelpCardLink(const QUrl &link);

private:
    void buildStrip(QWidget *rootFrame, int y);

    QString m_persianFamily;
    UrlOpener m_openUrl;
    // Guarded: a widget that is gone is skipped by the hooks.
    QPointer<QWidget> m_strip;
    std::array<QPointer<QLabel>, 4> m_figures;
    std::array<QPointer<QLabel>, 4> m_subtitles;
    std::array<QPointer<QFrame>, 3> m_dividers;
    std::array<QPointer<QWidget>, CardCount> m_cards;
    std::array<QPointer<QLabel>, CardCount> m_titles;
    std::array<QPointer<QLabel>, CardCount> m_bodies;
    std::array<QPointer<QPushButton>, CardCount> m_buttons;
    std::array<QPointer<QLabel>, CardCount> m_arrows;
    std::array<QPointer<QWidget>, ContainerCount> m_containers;
};

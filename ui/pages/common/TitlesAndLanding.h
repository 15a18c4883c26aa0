#pragma once
#include "ui/widgets/WindowArea.h"

#include <QLabel>
#include <QObject>
#include <QPointer>
#include <QString>

class AnimatedStrokeBorder;
class QFrame;
class QPushButton;
class QWidget;

// The large titles of the five sections and the Connections landing that a
// user's click on Network shows: a frosted banner with a running orange
// outline and an "Add" button, and an empty-state card. Only the Dashboard
// title follows the language (and mirrors for Persian); the other texts are
// translated once, when the area is built.
class TitlesAndLanding : public QObject, public WindowArea
{
    Q_OBJECT
public:
    static constexpr int kTitleX = 120;
    static constexpr int kDashboardTitleY = 95;
    static constexpr int kTitleY = 94;
    static constexpr int kBannerWidth = 1300;
    static constexpr int kBannerHeight = 83;
    static constexpr int kBannerRadius = 7;

    TitlesAndLanding(QWidget *rootFrame, const QString &persianFontFamily, QObject *parent);

    QLabel *dashboardTitle() const { return m_dashboardTitle; }
    QLabel *gamesTitle() const { return m_gamesTitle; }
    QLabel *settingsTitle() const { return m_settingsTitle; }
    QLabel *profileTitle() const { return m_profileTitle; }
    QLabel *landingTitle() const { return m_landingTitle; }
    QWidget *banner() const { return m_banner; }
    QLabel *bannerBackdrop() const { return m_blur; }
    AnimatedStrokeBorder *bannerBorder() const { return m_border; }
    QPushButton *addButton() const { return m_addButton; }
    QWidget *body() const { return m_body; }
    QFrame *emptyCircle() const { return m_emptyCircle; }
    QLabel *guide() const { return m_guide; }

    // The Dashboard title's text, look and place for the language: Persian
    // right-aligned against the root frame's right edge, 120 px in.
    void placeDashboardTitle(bool persian);
    void place(bool persian) override { placeDashboardTitle(persian); }

signals:
    // "Add" or the guide's link: the user wants the Games section.
    void gamesRequested();

public slots:
    // Takes what lies under the banner (the banner must be hidden meanwhile)
    // as its backdrop, which the blur turns frosted.
    void snapshotBannerBackground();

private:
    void buildTitles();
    void buildBanner();
    void buildBody();

    QWidget *m_rootFrame;
    QString m_persianFamily;
    QPointer<QLabel> m_dashboardTitle;
    QLabel *m_gamesTitle = nullptr;
    QLabel *m_settingsTitle = nullptr;
    QLabel *m_profileTitle = nullptr;
    QLabel *m_landingTitle = nullptr;
    QWidget *m_banner = nullptr;
    QPointer<QLabel> m_blur;
    AnimatedStrokeBorder *m_border = nullptr;
    QPushButton *m_addButton = nullptr;
    QWidget *m_body = nullptr;
    QFrame *m_emptyCircle = nullptr;
    QLabel *m_guide = nullptr;
};

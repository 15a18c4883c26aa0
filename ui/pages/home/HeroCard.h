#pragma once
// The home page's upper-right card: the brand mark (the drawn logo cut
// before its word), a headline, a large picture and a "Visit website" link.
// In Persian the card is mirrored by hand: picture left, mark right, link at
// the upper left.

#include "services/UrlOpener.h"
#include "ui/widgets/WindowArea.h"

#include <QImage>
#include <QObject>
#include <QString>
#include <QUrl>

class QLabel;
class QPushButton;
class QWidget;

class HeroCard : public QObject, public WindowArea
{
    Q_OBJECT
public:
    static constexpr int kWidth = 640;
    static constexpr int kHeight = 382;
    // A column counts as visible from this alpha up (exclusive).
    static constexpr int kAlphaThreshold = 5;
    // This many clear columns end the mark.
    static constexpr int kGapColumns = 20;

    // The card "ConnectionsSectionRight" at (780, y) with the mark and the
    // headline; the picture and the link join with addPictureAndLink(). The
    // link opens site through openUrl.
    HeroCard(QWidget *rootFrame, int y, const QString &persianFontFamily, UrlOpener openUrl, const QUrl &site,
             QObject *parent);

    void addPictureAndLink();

    QWidget *card() const { return m_card; }
    QLabel *logo() const { return m_logo; }
    QLabel *headline() const { return m_headline; }
    QLabel *picture() const { return m_picture; }
    QWidget *linkWrap() const { return m_linkWrap; }
    QPushButton *linkHit() const { return m_hit; }

    // True when a pixel of column x has an alpha above the threshold; false
    // for a column outside the image.
    static bool columnHasOpaquePixel(const QImage &image, int x);
    // From the first visible column up to the first gap of kGapColumns clear
    // columns; the whole picture when nothing in it is visible.
    static QImage trimLogo(const QImage &image);

    void retranslateConnectionsHero(const QString &languageCode);
    void place(bool persian) override;

public slots:
    void openWebsite();

private:
    QString m_persianFamily;
    UrlOpener m_openUrl;
    QUrl m_site;
    QWidget *m_card = nullptr;
    QLabel *m_logo = nullptr;
    QLabel *m_headline = nullptr;
    QLabel *m_picture = nullptr;
    QWidget *m_linkWrap = nullptr;
    QLabel *m_linkText = nullptr;
    QPushButton *m_hit = nullptr;
};

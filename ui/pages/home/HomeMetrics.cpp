#include "ui/pages/home/HomeMetrics.h"

#include "i18n/Language.h"
#include "ui/pages/common/PageWidgets.h"
#include "ui/widgets/Palette.h"

#include <QFontMetrics>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QRegion>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int kCardWidth = 420;
constexpr int kCardHeight = 294;
constexpr int kCardsBelowStrip = 180;
constexpr int kButtonWidth = 81;
constexpr int kButtonHeight = 32;
constexpr int kArrowSize = 14;
// A label that is only moved keeps a new child widget's width.
constexpr int kLabelWidth = 100;

using Language::windowText;

QFont hookFont(const QString &family, bool demiBold, int pixelSize, int weight)
{
    QFont font(family);
    if (demiBold)
        font.setStyleName(QStringLiteral("DemiBold"));
    font.setPixelSize(pixelSize);
    font.setWeight(QFont::Weight(weight));
    return font;
}

// A centred one-line label keeps the centre of its design width and grows to
// its text: the longer subtitles ("Total connections") are wider than the
// design width and would otherwise be cut at both ends.
void fitCentred(QLabel *label, int designX)
{
    const int centre = designX + kLabelWidth / 2;
    const int width = std::max(kLabelWidth, QFontMetrics(label->font()).horizontalAdvance(label->text()) + 8);
    label->setGeometry(centre - width / 2, label->y(), width, label->height());
}

struct CardSpec
{
    const char *name;
    int x;
    const char *icon;
    const char *title;
    const char *persianTitle;
};

const CardSpec kCards[HomeMetrics::CardCount] = {
    {"HelpCardTutorials", 120, ":/icons/clipboard-text-fill 1.png",
     QT_TRANSLATE_NOOP("MainWindow", "Tutorials"), "آموزشها"},
    {"HelpCardSupport", 560, ":/icons/headset-fill 1.png", QT_TRANSLATE_NOOP("MainWindow", "Support"),
     "پشتیبانی"},
    {"HelpCardDiscord", 1000, ":/icons/discord-logo-fill 1.png", QT_TRANSLATE_NOOP("MainWindow", "Discord"),
     "دیسکورد"},
};

struct MetricSpec
{
    int x;
    const char *figure;
    const char *subtitle;
    const char *persianSubtitle;
};

const MetricSpec kMetrics[4] = {
    {156, QT_TRANSLATE_NOOP("MainWindow", "16"), QT_TRANSLATE_NOOP("MainWindow", "Game added"),
     "بازی اضافهشده"},
    {481, QT_TRANSLATE_NOOP("MainWindow", "+2k"), QT_TRANSLATE_NOOP("MainWindow", "Active users"),
     "کاربران فعال"},
    {806, QT_TRANSLATE_NOOP("MainWindow", "+1k"), QT_TRANSLATE_NOOP("MainWindow", "Total connections"),
     "مجموع اتصالها"},
    {1131, QT_TRANSLATE_NOOP("MainWindow", "16"), QT_TRANSLATE_NOOP("MainWindow", "Servers"), "سرورها"},
};

const char kBody[] = QT_TRANSLATE_NOOP("MainWindow", "Discover tutorials to enhance your gaming experience");
const char kPersianBody[] = "برای بهبود تجربه بازی، راهنماها را مشاهده کنید.";

QString buttonStyle(int paddingLeft, int paddingRight)
{
    return QStringLiteral("QPushButton {  color: " QX_WHITE
                          ";  background: transparent;  border-radius: 16px;  "
                          "border: 1px solid " QX_BORDER ";  padding-left: %1px;  padding-right: %2px;}"
                          "QPushButton:hover {  background-color: rgba(65,66,69,0.25);}")
        .arg(paddingLeft)
        .arg(paddingRight);
}

} // namespace

int HomeMetrics::containerX(Container container, bool persian)
{
    static const int english[ContainerCount] = {120, 780, 120, 781, 120, 120, 560, 1000};
    if (container < 0 || container >= ContainerCount)
        return 0;
    return english[container] - (persian ? 100 : 0);
}

HomeMetrics::HomeMetrics(QWidget *rootFrame, const Setup &setup, QObject *parent)
    : QObject(parent), m_persianFamily(setup.persianFontFamily), m_openUrl(setup.openUrl)
{
    for (int i = 0; i < 4; ++i)
        m_containers[i] = setup.upperContainers[i];
    buildStrip(rootFrame, setup.y);

    const int cardsY = setup.y + kCardsBelowStrip;
    for (int i = 0; i < CardCount; ++i) {
        m_cards[i] = makeHelpCard(rootFrame, QString::fromLatin1(kCards[i].name), kCards[i].x, cardsY);
        m_containers[HelpCardTutorials + i] = m_cards[i];
    }
    m_containers[BottomBreakerSection] = m_strip;
    for (int i = 0; i < CardCount; ++i)
        makeRoundIconHolder(m_cards[i], QString::fromUtf8(kCards[i].icon));
    for (int i = 0; i < CardCount; ++i) {
        QLabel *title = nullptr;
        QLabel *body = nullptr;
        makeHelpCardTexts(m_cards[i], windowText(kCards[i].title), &title, &body);
        m_titles[i] = title;
        m_bodies[i] = body;
    }
    const QUrl links[CardCount] = {QUrl(), setup.supportLink, setup.discordLink};
    for (int i = 0; i < CardCount; ++i) {
        QLabel *arrow = nullptr;
        m_buttons[i] = makeHelpCardButton(m_cards[i], links[i], &arrow);
        m_arrows[i] = arrow;
    }
}

void HomeMetrics::buildStrip(QWidget *rootFrame, int y)
{
    m_strip = new QWidget(rootFrame);
    m_strip->setObjectName(QStringLiteral("BottomBreakerSection"));
    m_strip->setAttribute(Qt::WA_StyledBackground, true);
    m_strip->setStyleSheet(QStringLiteral("QWidget#BottomBreakerSection {  background-color: " QX_PANEL ";  "
                                          "border-radius: 20px;  border: 1px solid " QX_BORDER ";}"));
    m_strip->setFixedSize(1300, 160);
    m_strip->move(120, y);
    auto *row = new QHBoxLayout(m_strip);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);

    const int dividerXs[3] = {368, 693, 1018};
    for (int i = 0; i < 4; ++i) {
        auto *figure = new QLabel(windowText(kMetrics[i].figure), m_strip);
        figure->setFixedHeight(40);
        figure->setGeometry(kMetrics[i].x, 40, kLabelWidth, 40);
        figure->setAlignment(Qt::AlignCenter);
        figure->setFont(PageWidgets::interFont(32, QFont::DemiBold));
        figure->setStyleSheet(
            QStringLiteral("font-family: 'Inter';font-weight: 600;font-size: 32px;color: " QX_ACCENT
                           ";background: transparent;"));
        fitCentred(figure, kMetrics[i].x);
        m_figures[i] = figure;

        auto *subtitle = new QLabel(windowText(kMetrics[i].subtitle), m_strip);
        subtitle->setObjectName(QStringLiteral("HomeMetric%1Subtitle").arg(i + 1));
        subtitle->setFixedHeight(24);
        subtitle->setGeometry(kMetrics[i].x, 90, kLabelWidth, 24);
        subtitle->setAlignment(Qt::AlignCenter);
        subtitle->setFont(PageWidgets::interFont(16, QFont::DemiBold));
        subtitle->setStyleSheet(
            QStringLiteral("font-weight: 600;font-size: 16px;color: " QX_MUTED ";background: transparent;"));
        fitCentred(subtitle, kMetrics[i].x);
        m_subtitles[i] = subtitle;

        if (i < 3)
            m_dividers[i] = makeDashedDivider(m_strip, dividerXs[i]);
    }
}

QFrame *HomeMetrics::makeDashedDivider(QWidget *strip, int x)
{
    auto *divider = new QFrame(strip);
    divider->setGeometry(x, 40, 1, 80);
    divider->setFrameShape(QFrame::NoFrame);
    divider->setStyleSheet(
        QStringLiteral("QFrame {  border-left: 1px dashed " QX_BORDER ";  background: transparent;}"));
    return divider;
}

QWidget *HomeMetrics::makeHelpCard(QWidget *rootFrame, const QString &name, int x, int y)
{
    auto *card = new QWidget(rootFrame);
    card->setObjectName(name);
    card->setFixedSize(kCardWidth, kCardHeight);
    card->setAttribute(Qt::WA_StyledBackground, true);
    card->move(x, y);
    card->setStyleSheet(QStringLiteral("QWidget#%1 {  background-color: " QX_PANEL ";  border-radius: 20px;  "
                                       "border: 1px solid " QX_BORDER ";}")
                            .arg(name));
    // Kept empty: the card's children are placed by coordinates.
    auto *column = new QVBoxLayout(card);
    column->setContentsMargins(20, 30, 20, 30);
    column->setSpacing(30);
    return card;
}

QWidget *HomeMetrics::makeRoundIconHolder(QWidget *card, const QString &iconPath)
{
    auto *holder = new QWidget(card);
    holder->setFixedSize(68, 68);
    holder->move(176, 30);
    holder->setAttribute(Qt::WA_StyledBackground, true);
    holder->setStyleSheet(QStringLiteral("background-color: " QX_RAISED ";border-radius: 34px;"));
    holder->setMask(QRegion(0, 0, 68, 68, QRegion::Ellipse));
    auto *icon = new QLabel(holder);
    icon->setFixedSize(36, 36);
    icon->move(16, 16);
    icon->setStyleSheet(QStringLiteral("background: transparent;"));
    icon->setAlignment(Qt::AlignCenter);
    const QPixmap picture(iconPath);
    if (!picture.isNull())
        icon->setPixmap(picture.scaled(36, 36, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    return holder;
}

void HomeMetrics::makeHelpCardTexts(QWidget *card, const QString &title, QLabel **outTitle, QLabel **outBody)
{
    const int w = card->width();
    auto *heading = new QLabel(title, card);
    heading->setObjectName(card->objectName() + QStringLiteral("Title"));
    heading->setFont(PageWidgets::interFont(16, QFont::DemiBold));
    heading->setGeometry(0, 128, w, 24);
    heading->setAlignment(Qt::AlignCenter);
    heading->setStyleSheet(
        QStringLiteral("font-weight: 600;font-size: 16px;color: " QX_WHITE ";background: transparent;"));

    auto *body = new QLabel(windowText(kBody), card);
    body->setObjectName(card->objectName() + QStringLiteral("Body"));
    body->setFont(PageWidgets::interFont(14, QFont::Normal));
    body->setGeometry(20, 162, w - 40, 40);
    body->setWordWrap(true);
    body->setAlignment(Qt::AlignCenter);
    body->setStyleSheet(
        QStringLiteral("font-weight: 400;font-size: 14px;color: " QX_MUTED ";background: transparent;"));
    if (outTitle)
        *outTitle = heading;
    if (outBody)
        *outBody = body;
}

QPushButton *HomeMetrics::makeHelpCardButton(QWidget *card, const QUrl &link, QLabel **outArrow)
{
    auto *button = new QPushButton(windowText("Go to"), card);
    button->setObjectName(card->objectName() + QStringLiteral("Btn"));
    button->setCursor(Qt::PointingHandCursor);
    button->setGeometry((card->width() - kButtonWidth) / 2, card->height() - 62, kButtonWidth, kButtonHeight);
    button->setFlat(true);
    button->setFont(PageWidgets::interFont(14, QFont::DemiBold));
    button->setStyleSheet(buttonStyle(12, 24));

    QLabel *arrow = nullptr;
    const QPixmap arrowIcon(QStringLiteral(":/icons/arrow-up-right 1.png"));
    if (!arrowIcon.isNull()) {
        arrow = new QLabel(button);
        arrow->setObjectName(button->objectName() + QStringLiteral("Arrow"));
        arrow->setFixedSize(kArrowSize, kArrowSize);
        arrow->move(55, 9);
        arrow->setPixmap(
            arrowIcon.scaled(kArrowSize, kArrowSize, Qt::KeepAspectRatio, Qt::SmoothTransformation));
        arrow->setStyleSheet(QStringLiteral("background: transparent;"));
    }
    if (outArrow)
        *outArrow = arrow;
    if (link.isValid() && !link.isEmpty())
        connect(button, &QPushButton::clicked, this, [this, link] { openHelpCardLink(link); });
    return button;
}

void HomeMetrics::styleHelpCardButton(QPushButton *button, const QString &persianText,
                                      const QString &englishText, bool persian, const QString &family)
{
    if (!button)
        return;
    button->setText(persian ? persianText : englishText);
    button->setFont(hookFont(family, persian, 14, 600));
    button->setLayoutDirection(Qt::LeftToRight);
    // The wider padding lies on the arrow's side.
    button->setStyleSheet(persian ? buttonStyle(24, 12) : buttonStyle(12, 24));
}

void HomeMetrics::openHelpCardLink(const QUrl &link)
{
    if (m_openUrl)
        m_openUrl(link);
}

void HomeMetrics::layoutHomeMetrics(const QString &languageCode)
{
    const bool persian = Language::isPersian(languageCode);
    for (int i = 0; i < ContainerCount; ++i) {
        if (QWidget *w = m_containers[i])
            w->move(containerX(Container(i), persian), w->y());
    }
    for (const QPointer<QWidget> &w : m_containers) {
        if (w)
            w->raise();
    }
}

void HomeMetrics::retranslateHomeCards(const QString &languageCode)
{
    const bool persian = Language::isPersian(languageCode);
    const QString family = persian && !m_persianFamily.isEmpty() ? m_persianFamily : QStringLiteral("Inter");
    const Qt::LayoutDirection direction = persian ? Qt::RightToLeft : Qt::LeftToRight;
    const auto apply = [&](QLabel *label, const QString &text, bool demiBold, int px, int weight) {
        if (!label)
            return;
        label->setText(text);
        label->setFont(hookFont(family, demiBold, px, weight));
        label->setLayoutDirection(direction);
        label->setAlignment(Qt::AlignCenter);
    };
    for (int i = 0; i < 4; ++i) {
        apply(m_subtitles[i],
              persian ? QString::fromUtf8(kMetrics[i].persianSubtitle) : windowText(kMetrics[i].subtitle),
              persian, 16, 600);
        if (m_subtitles[i])
            fitCentred(m_subtitles[i], kMetrics[i].x);
    }
    for (int i = 0; i < CardCount; ++i) {
        apply(m_titles[i], persian ? QString::fromUtf8(kCards[i].persianTitle) : windowText(kCards[i].title),
              persian, 16, 600);
        apply(m_bodies[i], persian ? QString::fromUtf8(kPersianBody) : windowText(kBody), false, 14, 400);
    }
    for (int i = 0; i < CardCount; ++i) {
        QPushButton *button = m_buttons[i];
        styleHelpCardButton(button, QStringLiteral("مشاهده"), windowText("Go to"), persian, family);
        QLabel *arrow = m_arrows[i];
        if (!button || !arrow)
            continue;
        const int margin = persian ? 6 : 12;
        const int x = persian ? margin : button->width() - margin - arrow->width();
        arrow->move(x, (button->height() - arrow->width()) / 2);
        arrow->raise();
    }
}

void HomeMetrics::place(bool persian)
{
    const QString code = persian ? QStringLiteral("fa-IR") : QStringLiteral("en-US");
    layoutHomeMetrics(code);
    retranslateHomeCards(code);
}

#include "ui/pages/servers/ServerRegionPage.h"

#include "i18n/Language.h"
#include "ui/pages/common/PageLooks.h"
#include "ui/widgets/IconTint.h"
#include "ui/widgets/Palette.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QScrollArea>

#include <algorithm>

using PageLooks::flatButton;
using PageLooks::interFont;
using PageLooks::label;
using PageLooks::setScaledPixmap;
using PageLooks::styled;

namespace {

using Language::windowText;

// A small picture label at a fixed size, filled when the picture loads.
QLabel *iconLabel(QWidget *parent, const char *name, const char *path, int size, const QPoint &at)
{
    auto *l = new QLabel(parent);
    if (name)
        l->setObjectName(QLatin1String(name));
    l->setFixedSize(size, size);
    l->move(at);
    l->setStyleSheet(QStringLiteral("background: transparent;"));
    setScaledPixmap(l, QLatin1String(path), QSize(size, size));
    return l;
}

const char kGreyBody[] =
    "color: " QX_MUTED ";background: transparent;font-family: Inter;font-size: 14px;font-weight: 400;";
const char kWhiteTitle16[] =
    "color: " QX_WHITE ";background: transparent;font-family: Inter;font-size: 16px;font-weight: 600;";
const char kWhiteTitle14[] =
    "color: " QX_WHITE ";background: transparent;font-family: Inter;font-size: 14px;font-weight: 400;";
const char kPlaceholder[] =
    "Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod tempor incididunt ut labore et "
    "dolore "
    "magna aliqua. Ut enim ad minim veniam, quis nostrud exercitation ullamco laboris nisi ut aliquip ex ea "
    "commodo consequat.";

// The radios' check mark. The picture is drawn dark, so it shows on the
// orange of a selected radio; without it the label shows a text mark.
void setCheckMark(QLabel *check, const QPixmap &picture)
{
    if (!picture.isNull()) {
        check->setPixmap(tintPixmap(picture, QColor(QStringLiteral(QX_PANEL)))
                             .scaled(12, 12, Qt::KeepAspectRatio, Qt::SmoothTransformation));
        check->setStyleSheet(QStringLiteral("background: transparent;"));
    } else {
        check->setText(QString::fromUtf8("\u2713"));
        check->setAlignment(Qt::AlignCenter);
        check->setStyleSheet(QStringLiteral("color: " QX_PANEL "; background: transparent;"));
    }
}

} // namespace

const QStringList &ServerRegionPage::regionNames()
{
    static const QStringList names = {
        QStringLiteral("Auto"),          QStringLiteral("Asia"),        QStringLiteral("North America"),
        QStringLiteral("South America"), QStringLiteral("Europe"),      QStringLiteral("Oceania"),
        QStringLiteral("Middle East"),   QStringLiteral("Africa"),      QStringLiteral("Central Asia"),
        QStringLiteral("East Asia"),     QStringLiteral("West Europe"), QStringLiteral("East Europe")};
    return names;
}

ServerRegionPage::ServerRegionPage(QWidget *rootFrame, int windowWidth, QObject *parent) : QObject(parent)
{
    m_back =
        flatButton(rootFrame, "ServerRegionBack",
                   QStringLiteral("QPushButton#ServerRegionBack {  background: transparent;  border: "
                                  "none;}QPushButton#ServerRegionBack:hover {  background: transparent;}"));
    m_back->setGeometry(120, 113, 32, 32);
    const QPixmap backIcon(QStringLiteral(":/icons/nack-icon.png"));
    if (!backIcon.isNull()) {
        m_back->setIcon(backIcon);
        m_back->setIconSize(QSize(32, 32));
    }
    connect(m_back, &QPushButton::clicked, this, &ServerRegionPage::backClicked);

    m_title = label(
        rootFrame, "ServerRegionPageTitle", windowText("Server region"), interFont(24, 600),
        QStringLiteral("color: " QX_WHITE ";background: transparent;font-size: 24px;font-weight: 600;"));
    m_title->setGeometry(170, 111, windowWidth - 230, 32);
    // Left on the page in every language, also for a right-to-left text.
    m_title->setAlignment(Qt::AlignLeft | Qt::AlignAbsolute | Qt::AlignVCenter);

    buildRightPanel(rootFrame, windowWidth);
    buildLeftPanel(rootFrame, windowWidth);
    setShown(false);
}

void ServerRegionPage::setShown(bool shown)
{
    for (QWidget *w :
         {static_cast<QWidget *>(m_back), static_cast<QWidget *>(m_title), m_leftPanel, m_rightPanel})
        w->setVisible(shown);
}

void ServerRegionPage::buildRightPanel(QWidget *rootFrame, int windowWidth)
{
    m_rightPanel = styled(rootFrame, "ServerRegionRightPanel",
                          QStringLiteral("QWidget#ServerRegionRightPanel {  background-color: " QX_PANEL ";  "
                                         "border-radius: 20px;  border: 1px solid " QX_BORDER ";}"));
    m_rightPanel->setGeometry(windowWidth - 335, 180, 315, 610);

    QLabel *diff = label(m_rightPanel, "ServerRegionDiffTitle", windowText("The diffrence?"),
                         interFont(16, 600), QString::fromLatin1(kWhiteTitle16));
    diff->setGeometry(20, 26, 235, 24);
    diff->setAlignment(Qt::AlignLeft | Qt::AlignAbsolute | Qt::AlignVCenter);

    QWidget *questionBg =
        styled(m_rightPanel, "ServerRegionQuestionBg",
               QStringLiteral("QWidget#ServerRegionQuestionBg {  background-color: " QX_RAISED ";  "
                              "border-radius: 18px;}"));
    questionBg->setGeometry(249, 20, 36, 36);
    iconLabel(questionBg, "ServerRegionQuestionIcon", ":/icons/question 1.png", 16, QPoint(10, 10));

    const auto section = [this](const char *titleName, const char *bodyName, int titleY, int bodyY) {
        QLabel *title = label(m_rightPanel, titleName, windowText("Manual server"), interFont(14, 400),
                              QString::fromLatin1(kWhiteTitle14));
        title->setGeometry(20, titleY, 275, 20);
        title->setAlignment(Qt::AlignLeft | Qt::AlignAbsolute | Qt::AlignVCenter);
        QLabel *body = label(m_rightPanel, bodyName, windowText(kPlaceholder), interFont(14, 400),
                             QString::fromLatin1(kGreyBody));
        // Tall enough for the paragraph's seven lines (the 100 px of the
        // design cut the last one).
        body->setGeometry(20, bodyY, 275, 140);
        body->setWordWrap(true);
        body->setAlignment(Qt::AlignLeft | Qt::AlignAbsolute | Qt::AlignTop);
    };
    section("ServerRegionManualTitle", "ServerRegionManualBody", 86, 116);

    auto *separator = new QFrame(m_rightPanel);
    separator->setObjectName(QStringLiteral("ServerRegionSeparator"));
    separator->setFrameShape(QFrame::NoFrame);
    separator->setStyleSheet(QStringLiteral(
        "QFrame#ServerRegionSeparator {  border-top: 1px dashed " QX_BORDER ";  background: transparent;}"));
    separator->setGeometry(20, 266, 275, 1);

    section("ServerRegionManualTitle2", "ServerRegionManualBody2", 296, 321);

    QWidget *pill =
        styled(m_rightPanel, "ServerRegionReadMorePill",
               QStringLiteral("QWidget#ServerRegionReadMorePill {  background-color: " QX_RAISED ";  "
                              "border-radius: 16px;}"));
    pill->setGeometry(20, 530, 120, 32);
    QLabel *more =
        label(pill, "ServerRegionReadMoreText", windowText("Read more"), interFont(14, 400),
              QStringLiteral("color: " QX_SOFT ";background: transparent;font-family: Inter;font-size: "
                             "14px;font-weight: 400;"));
    more->setGeometry(14, 6, 92, 20);
    more->setAlignment(Qt::AlignLeft | Qt::AlignAbsolute | Qt::AlignVCenter);
    const QPixmap link(QStringLiteral(":/icons/linl.png"));
    if (!link.isNull()) {
        auto *linkIcon = new QLabel(pill);
        linkIcon->setFixedSize(9, 9);
        linkIcon->move(97, 11);
        linkIcon->setStyleSheet(QStringLiteral("background: transparent;"));
        setScaledPixmap(linkIcon, link, QSize(9, 9));
    }
    QPushButton *hit =
        flatButton(pill, "ServerRegionReadMoreHit",
                   QStringLiteral("QPushButton#ServerRegionReadMoreHit {  background: transparent;  border: "
                                  "none;}QPushButton#ServerRegionReadMoreHit:hover {  background: "
                                  "rgba(255,255,255,0.03);  border-radius: 16px;}"));
    hit->setGeometry(0, 0, 120, 32);
}

void ServerRegionPage::buildLeftPanel(QWidget *rootFrame, int windowWidth)
{
    m_leftPanel = styled(rootFrame, "ServerRegionLeftPanel",
                         QStringLiteral("QWidget#ServerRegionLeftPanel {  background-color: " QX_PANEL ";  "
                                        "border-radius: 20px;  border: 1px solid " QX_BORDER ";}"));
    m_leftPanel->setGeometry(windowWidth - 1320, 180, ServerPicker::kPanelWidth, ServerPicker::kPanelHeight);
    buildCards(m_leftPanel);
    buildSearch(m_leftPanel);
    buildRegionList(m_leftPanel);
}

void ServerRegionPage::buildCards(QWidget *panel)
{
    const QPixmap check(QStringLiteral(":/icons/check.png"));
    const QString description =
        QObject::tr("Choose the region you\u2019re going to play, and we will find your server.");
    struct Card
    {
        const char *card, *title, *desc, *radio, *check, *click;
        QString titleText;
        int x;
    };
    const Card cards[] = {
        {"SrvAutoCard", "SrvAutoTitle", "SrvAutoDesc", "SrvAutoRadio", "SrvAutoCheckIcon", "SrvAutoClick",
         QObject::tr("Automatic server"), 20},
        {"SrvManualCard", "SrvLeftManualTitle", "SrvManualDesc", "SrvManualRadio", "SrvManualCheckIcon",
         "SrvManualClick", QObject::tr("Manual server"), 493},
    };
    for (const Card &c : cards) {
        const bool manual = c.x != 20;
        QWidget *card = styled(panel, c.card, QString());
        card->setGeometry(c.x, 20, 452, 120);
        QLabel *title =
            label(card, c.title, c.titleText, interFont(16, 600), QString::fromLatin1(kWhiteTitle16));
        title->setGeometry(20, 20, 372, 24);
        title->setAlignment(Qt::AlignLeft | Qt::AlignAbsolute | Qt::AlignVCenter);
        QLabel *desc = label(card, c.desc, description, interFont(14, 400), QString::fromLatin1(kGreyBody));
        desc->setGeometry(20, 54, 412, 40);
        desc->setWordWrap(true);
        desc->setAlignment(Qt::AlignLeft | Qt::AlignAbsolute | Qt::AlignTop);
        QWidget *radio = styled(card, c.radio, QString());
        radio->setGeometry(412, 20, 20, 20);
        auto *checkLabel = new QLabel(radio);
        checkLabel->setObjectName(QLatin1String(c.check));
        checkLabel->setGeometry(4, 4, 12, 12);
        setCheckMark(checkLabel, check);
        QPushButton *click =
            flatButton(card, c.click, QStringLiteral("background: transparent; border: none;"));
        click->setGeometry(0, 0, 452, 120);
        if (manual) {
            m_picker.manualCard = card;
            m_picker.manualTitle = title;
            m_picker.manualRadio = radio;
            m_picker.manualCheck = checkLabel;
            m_picker.manualClick = click;
        } else {
            m_picker.autoCard = card;
            m_picker.autoTitle = title;
            m_picker.autoRadio = radio;
            m_picker.autoCheck = checkLabel;
            m_picker.autoClick = click;
        }
    }
}

void ServerRegionPage::buildSearch(QWidget *panel)
{
    QWidget *bar = styled(panel, "SrvSearchBar",
                          QStringLiteral("QWidget#SrvSearchBar{background-color:" QX_PANEL
                                         ";border:1px solid " QX_BORDER ";border-radius:27px;}"));
    bar->setGeometry(20, 160, 925, 54);
    iconLabel(bar, "SrvSearchIcon", ":/icons/serc.png", 18, QPoint(20, 18));
    QWidget *button =
        styled(bar, "SrvSearchBtn",
               QStringLiteral("QWidget#SrvSearchBtn{background-color:" QX_RAISED ";border-radius:18px;}"));
    button->setGeometry(879, 9, 36, 36);
    iconLabel(button, "SrvSearchBtnIcon", ":/icons/caret-right 1.png", 16, QPoint(10, 10));

    auto *edit = new QLineEdit(bar);
    edit->setObjectName(QStringLiteral("SrvSearchEdit"));
    edit->setGeometry(48, 17, 821, 20);
    edit->setFont(interFont(14, 400));
    edit->setTextMargins(0, 0, 0, 0);
    edit->setStyleSheet(
        QStringLiteral("QLineEdit#SrvSearchEdit{background: transparent;border: none;padding: "
                       "0px;color: " QX_WHITE ";font-family: Inter;font-size: 14px;font-weight: 400;}"));
    QPalette palette = edit->palette();
    palette.setColor(QPalette::PlaceholderText, QColor(QStringLiteral(QX_BORDER)));
    edit->setPalette(palette);
    edit->setPlaceholderText(QObject::tr("Search for a server"));
    m_picker.searchEdit = edit;

    QPushButton *hit =
        flatButton(button, "SrvSearchBtnHit",
                   QStringLiteral("QPushButton#SrvSearchBtnHit{background:transparent;border:none;}"
                                  "QPushButton#SrvSearchBtnHit:hover{background:rgba(255,255,255,0."
                                  "03);border-radius:18px;}"));
    hit->setGeometry(0, 0, 36, 36);
}

void ServerRegionPage::buildRegionList(QWidget *panel)
{
    QLabel *recommended = label(panel, "SrvRecommendedLabel", QObject::tr("Recommended"), interFont(14, 400),
                                QString::fromLatin1(kGreyBody));
    recommended->setGeometry(20, 234, 200, 20);
    recommended->setAlignment(Qt::AlignLeft | Qt::AlignAbsolute | Qt::AlignVCenter);
    m_picker.recommendedLabel = recommended;

    auto *scroll = new QScrollArea(panel);
    scroll->setObjectName(QStringLiteral("SrvRegionScroll"));
    scroll->setGeometry(0, ServerPicker::kListTopManual, ServerPicker::kPanelWidth, 316);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll->setStyleSheet(QStringLiteral(
        "QScrollArea#SrvRegionScroll{background: transparent;}QScrollArea#SrvRegionScroll "
        "QWidget{background: "
        "transparent;}QScrollBar:vertical{  background: transparent;  width: 6px;  margin: "
        "0px;}QScrollBar::handle:vertical{  background: rgba(255,255,255,0.12);  border-radius: 3px;  "
        "min-height: "
        "24px;}QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical{height:0px;}QScrollBar::add-page:"
        "vertical, QScrollBar::sub-page:vertical{background: transparent;}"));
    m_picker.scroll = scroll;

    const QStringList &names = regionNames();
    auto *content = new QWidget;
    content->setObjectName(QStringLiteral("SrvRegionContent"));
    content->setAttribute(Qt::WA_StyledBackground, true);
    content->setStyleSheet(QStringLiteral("background: transparent;"));
    content->setMinimumSize(ServerPicker::kPanelWidth,
                            std::max(int(names.size()) * ServerPicker::kRowPitch - 10, 316));
    m_picker.content = content;

    QWidget *serversPage = styled(content, "SrvServersPage", ServerPicker::serversPageLook());
    serversPage->setGeometry(0, 0, ServerPicker::kPanelWidth, 316);
    // The relay rows' labels take the page's font.
    serversPage->setFont(interFont(14, 400));
    serversPage->hide();
    m_picker.serversPage = serversPage;

    const QString rowLook =
        QStringLiteral("QPushButton#SrvRegionRowBtn{background: transparent;border: none;border-radius: "
                       "10px;color: " QX_WHITE
                       ";font-family: Inter;font-size: 14px;font-weight: 400;text-align: left;padding-left: "
                       "%1px;padding-right: 44px;}QPushButton#SrvRegionRowBtn:hover{background: " QX_RAISED
                       ";}")
            .arg(10);
    const QString autoText = QObject::tr("Auto");
    for (int i = 0; i < names.size(); ++i) {
        const QString text = QObject::tr(names.at(i).toUtf8().constData());
        auto *row = new QPushButton(text, content);
        row->setObjectName(QStringLiteral("SrvRegionRowBtn"));
        row->setCursor(Qt::PointingHandCursor);
        row->setFlat(true);
        row->setFont(interFont(14, 400));
        row->setStyleSheet(rowLook);
        row->setGeometry(ServerPicker::kRowX, ServerPicker::kRowPitch * i, ServerPicker::kRowWidth,
                         ServerPicker::kRowHeight);
        // The English name: the relays' regions are English whatever the
        // row reads.
        row->setProperty("srvRegionName", names.at(i));
        QLabel *chevron =
            iconLabel(row, "SrvRegionRowChevron", ":/icons/caret-right 1.png", 16, QPoint(911, 14));
        if (text == autoText || i == 0) {
            row->setProperty("srvIsAutoRegion", true);
            auto *tag = new QLabel(QObject::tr("Recommended"), row);
            tag->setObjectName(QStringLiteral("SrvAutoRecommendedTag"));
            tag->setFont(interFont(14, 400));
            tag->setStyleSheet(QStringLiteral("color:" QX_MUTED "; background: transparent;"));
            tag->setGeometry(767, 12, 160, 20);
            tag->setAlignment(Qt::AlignRight | Qt::AlignAbsolute | Qt::AlignVCenter);
            tag->hide();
            m_picker.autoTag = tag;
        }
        m_picker.regionRows.append(row);
        m_picker.chevrons.append(chevron);
        m_picker.regionNames.append(names.at(i));
    }
    scroll->setWidget(content);
}

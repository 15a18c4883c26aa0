#include "ui/pages/games/GamesSection.h"

#include "i18n/Language.h"
#include "ui/pages/common/PageWidgets.h"
#include "ui/pages/common/ThinScrollBar.h"
#include "ui/pages/games/GamesBoardState.h"
#include "ui/pages/games/GamesGrid.h"
#include "ui/pages/games/GamesGridRules.h"
#include "ui/widgets/Palette.h"

#include <QButtonGroup>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>

#include <algorithm>

namespace {

const char kActiveLook[] = "background: qlineargradient(x1:0, y1:0, x2:1, y2:1,  stop:0.2315 " QX_SILVER_TOP
                           ", stop:0.9793 " QX_MUTED ");border-radius:20px;border:none;color:" QX_BACKGROUND
                           ";font-family: Inter;font-size: "
                           "16px;font-weight: 600;";
const char kInactiveLook[] =
    "background: transparent;border-radius:20px;border:none;color:" QX_MUTED ";font-family: "
    "Inter;font-size: 16px;font-weight: 600;text-align:left;padding-left:14px;"
    "padding-top:4px;";

using Language::objectText;

QPushButton *platformButton(QWidget *toggle, const QString &name, const QString &text, const QRect &geometry)
{
    auto *button = new QPushButton(text, toggle);
    button->setObjectName(name);
    button->setGeometry(geometry);
    button->setFont(PageWidgets::interFont(16, QFont::DemiBold));
    button->setCursor(Qt::PointingHandCursor);
    button->setFlat(true);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

} // namespace

GamesSection::GamesSection(QWidget *rootFrame, const Setup &setup, QObject *parent)
    : QObject(parent), m_catalogue(setup.catalogue), m_board(setup.board)
{
    const int top = setup.gamesTitleHeight + 114;
    const int height = std::min(750, setup.windowHeight - top - 20);
    m_wrap = new QWidget(rootFrame);
    m_wrap->setObjectName(QStringLiteral("GamesSectionWrap"));
    m_wrap->setAttribute(Qt::WA_StyledBackground, true);
    m_wrap->setStyleSheet(
        QStringLiteral("QWidget#GamesSectionWrap {  background: qlineargradient(x1:0, y1:0, "
                       "x2:1, y2:1,                               stop:0.0217 " QX_BORDER ",         "
                       "                      stop:0.4205 " QX_PANEL ");  border-radius: 20px;}"));
    m_wrap->setFixedSize(1300, std::max(0, height));
    m_wrap->move(120, top);
    m_wrap->hide();
    m_wrap->raise();

    m_section = new QWidget(m_wrap);
    m_section->setObjectName(QStringLiteral("GamesSection"));
    m_section->setAttribute(Qt::WA_StyledBackground, true);
    m_section->setStyleSheet(QStringLiteral("QWidget#GamesSection {  background-color: " QX_PANEL
                                            ";  border-radius: "
                                            "19px;  padding: 20px;  border: none;}"));
    m_section->setGeometry(1, 1, 1298, std::max(0, m_wrap->height() - 2));

    auto *toggle = new QWidget(m_section);
    toggle->setObjectName(QStringLiteral("GamesPlatformToggle"));
    toggle->setAttribute(Qt::WA_StyledBackground, true);
    toggle->setStyleSheet(QStringLiteral("QWidget#GamesPlatformToggle{background-color:" QX_RAISED
                                         ";border: none;border-radius:18px;}"));
    toggle->setGeometry(20, 20, 212, 48);
    m_consoleButton = platformButton(toggle, QStringLiteral("GamesConsoleBtn"), objectText("Console"),
                                     QRect(4, 4, 100, 40));
    m_pcButton =
        platformButton(toggle, QStringLiteral("GamesPcBtn"), objectText("PC"), QRect(108, 4, 100, 40));
    styleGamesPlatformToggle(true);

    buildChips();

    m_scroll = new QScrollArea(m_section);
    m_scroll->setObjectName(QStringLiteral("GamesTilesScroll"));
    m_scroll->setGeometry(0, 90, m_section->width(), std::max(0, m_section->height() - 110));
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidgetResizable(true);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_scroll->setStyleSheet(thinScrollAreaStyle(QStringLiteral("GamesTilesScroll")));
    auto *content = new QWidget;
    content->setObjectName(QStringLiteral("GamesTilesContent"));
    content->setAttribute(Qt::WA_StyledBackground, true);
    content->setStyleSheet(QStringLiteral("background: transparent;"));
    m_scroll->setWidget(content);
    m_loading = new QLabel(objectText("Loading..."), content);
    m_loading->setObjectName(QStringLiteral("GamesLoadingLabel"));
    m_loading->setGeometry(0, 20, m_section->width(), 40);
    m_loading->setStyleSheet(QStringLiteral("color: " QX_MUTED ";background: transparent;font-family: Inter;"
                                            "font-size: 14px;font-weight: 500;"));
    m_loading->setAlignment(Qt::AlignCenter);
    m_loading->hide();

    GamesGrid::Hosts hosts;
    hosts.section = m_section;
    hosts.scroll = m_scroll;
    hosts.content = content;
    hosts.message = m_loading;
    m_grid =
        new GamesGrid(hosts, m_catalogue, setup.board, setup.images, setup.timings, setup.hoverFilter, this);
    connect(m_grid, &GamesGrid::gameOpened, this, &GamesSection::gameOpened);

    connect(m_consoleButton, &QPushButton::clicked, this, [this] {
        styleGamesPlatformToggle(false);
        m_grid->reloadGamesGrid();
    });
    connect(m_pcButton, &QPushButton::clicked, this, [this] {
        styleGamesPlatformToggle(true);
        m_grid->reloadGamesGrid();
    });
    connect(m_chips, &QButtonGroup::idClicked, m_grid, &GamesGrid::selectGamesCategory);
}

QList<int> GamesSection::chipWidths(const QStringList &texts, const QString &allText)
{
    const QFontMetrics metrics(PageWidgets::interFont(14, QFont::DemiBold));
    QList<int> widths;
    for (const QString &text : texts) {
        int w = metrics.horizontalAdvance(text) + 40;
        if (text == allText)
            w = std::max(w, 58);
        widths << w;
    }
    return widths;
}

int GamesSection::chipsX(int sectionWidth, int totalWidth)
{
    if (kChipsX + totalWidth > sectionWidth)
        return sectionWidth - 264 - totalWidth + 80;
    return kChipsX;
}

void GamesSection::buildChips()
{
    QStringList texts;
    for (int id = 0; id < GamesGridRules::kChipCount; ++id)
        texts << objectText(GamesGridRules::chipText(id));
    const QList<int> widths = chipWidths(texts, objectText("All"));
    int total = kChipGap * (int(widths.size()) - 1);
    for (int w : widths)
        total += w;

    m_chipsWrap = new QWidget(m_section);
    m_chipsWrap->setObjectName(QStringLiteral("GamesChipsWrap"));
    m_chipsWrap->setAttribute(Qt::WA_StyledBackground, true);
    m_chipsWrap->setStyleSheet(QStringLiteral("background: transparent;"));
    m_chipsWrap->setGeometry(chipsX(m_section->width(), total), 25, total, 38);
    m_chips = new QButtonGroup(m_chipsWrap);
    m_chips->setExclusive(true);
    const QString look =
        QStringLiteral("QPushButton#GamesChipBtn{background: transparent;border: 1px solid " QX_BORDER
                       ";border-radius: %1px;color: " QX_MUTED
                       ";font-family: Inter;font-size: 14px;font-weight: "
                       "600;padding-left: 20px;padding-right: 20px;}"
                       "QPushButton#GamesChipBtn:checked{background: " QX_RAISED ";border: 1px "
                       "solid " QX_BORDER ";border-radius: %1px;"
                       "color: " QX_WHITE ";}QPushButton#GamesChipBtn:hover{background: "
                       "rgba(26,30,36,0.80);border-radius: %1px;}")
            .arg(19);
    int x = 0;
    for (int id = 0; id < texts.size(); ++id) {
        auto *chip = new QPushButton(texts[id], m_chipsWrap);
        chip->setObjectName(QStringLiteral("GamesChipBtn"));
        chip->setGeometry(x, 0, widths[id], 38);
        chip->setFont(PageWidgets::interFont(14, QFont::DemiBold));
        chip->setCursor(Qt::PointingHandCursor);
        chip->setCheckable(true);
        chip->setChecked(id == 0);
        chip->setAutoExclusive(false);
        chip->setFlat(true);
        chip->setFocusPolicy(Qt::NoFocus);
        chip->setAttribute(Qt::WA_StyledBackground, true);
        chip->setStyleSheet(look);
        m_chips->addButton(chip, id);
        x += widths[id] + kChipGap;
    }
}

void GamesSection::styleGamesPlatformToggle(bool pcActive)
{
    if (m_board)
        m_board->setPcMode(pcActive);
    const QString active = QString::fromLatin1(kActiveLook);
    const QString inactive = QString::fromLatin1(kInactiveLook);
    m_pcButton->setStyleSheet(QStringLiteral("QPushButton#GamesPcBtn{%1}").arg(pcActive ? active : inactive));
    m_consoleButton->setStyleSheet(
        QStringLiteral("QPushButton#GamesConsoleBtn{%1}").arg(pcActive ? inactive : active));
}

bool GamesSection::isShown() const
{
    return m_wrap->isVisible();
}

void GamesSection::renderGamesGrid()
{
    if (m_catalogue && m_catalogue->items)
        m_grid->renderGamesGrid(*m_catalogue->items);
}

void GamesSection::reloadGamesGrid()
{
    m_grid->reloadGamesGrid();
}

void GamesSection::showLoadingText(const QString &text)
{
    m_loading->setText(text);
    m_loading->show();
    m_loading->raise();
}

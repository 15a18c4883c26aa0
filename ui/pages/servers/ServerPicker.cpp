#include "ui/pages/servers/ServerPicker.h"

#include "connection/RelayChoice.h"
#include "storage/DatabaseManager.h"
#include "ui/pages/common/PageLooks.h"
#include "ui/pages/servers/CountryFlags.h"
#include "ui/widgets/Palette.h"

#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>

#include <algorithm>

using PageLooks::interFont;

namespace {

const char kIdleCardLook[] =
    "background-color: " QX_RAISED ";border-radius: 14px;border: 1px solid " QX_RAISED ";";
const char kSelectedCardLook[] =
    "background-color: rgba(" QX_ACCENT_RGB ", 0.10);border-radius: 14px;border: 1px "
    "solid rgba(" QX_ACCENT_RGB ", 0.30);";
const char kCardTitleLook[] =
    "color: %1;background: transparent;font-family: Inter;font-size: 16px;font-weight: 600;";

bool isAutoRow(const QPushButton *row, const QString &name)
{
    return row->property("srvIsAutoRegion").toBool() || name == QLatin1String("Auto");
}

// The servers page's left chevron, drawn rather than loaded.
QPixmap backChevron()
{
    QPixmap pixmap(18, 18);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(QPen(QColor(QStringLiteral(QX_MUTED)), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    QPainterPath path;
    path.moveTo(11.7, 3.6);
    path.lineTo(6.3, 9);
    path.lineTo(11.7, 14.4);
    painter.drawPath(path);
    return pixmap;
}

} // namespace

ServerPicker::Sources ServerPicker::Sources::defaults()
{
    Sources sources;
    sources.regions = [] { return DatabaseManager::instance()->getServerRegions(); };
    sources.activeServers = [] { return DatabaseManager::instance()->getActiveServers(); };
    sources.serversInRegion = [](const QString &region) {
        return DatabaseManager::instance()->getActiveServersInRegion(region);
    };
    sources.pings = [] { return RelayChoice::loadServerPings(RelayChoice::serverPingsPath()); };
    sources.store = RelayChoice::settingsStore();
    sources.loadFlag = [](QLabel *label, const QString &countryCode, const QString &) {
        CountryFlags::showResourceFlag(label, countryCode);
    };
    return sources;
}

ServerPicker::ServerPicker(const Widgets &widgets, Sources sources, QObject *parent)
    : QObject(parent), m_w(widgets), m_sources(std::move(sources))
{
    if (m_w.autoClick)
        connect(m_w.autoClick, &QPushButton::clicked, this, [this] { applyServerModeStyle(false); });
    if (m_w.manualClick)
        connect(m_w.manualClick, &QPushButton::clicked, this, [this] { applyServerModeStyle(true); });
    for (const QPointer<QPushButton> &row : std::as_const(m_w.regionRows)) {
        if (!row)
            continue;
        QPushButton *button = row;
        connect(button, &QPushButton::clicked, this, [this, button] { onRegionButtonClicked(button); });
    }
    if (m_w.searchEdit)
        connect(m_w.searchEdit, &QLineEdit::textChanged, this, &ServerPicker::searchServers);
    applyServerModeStyle(true);
    reloadServerPicker();
}

QString ServerPicker::regionName(const QPushButton *row)
{
    if (!row)
        return {};
    const QString name = row->property("srvRegionName").toString();
    return name.isEmpty() ? row->text().trimmed() : name;
}

QString ServerPicker::searchText(const QVariantMap &relay)
{
    return (relay.value(QStringLiteral("name")).toString() + QLatin1Char(' ') +
            relay.value(QStringLiteral("city")).toString() + QLatin1Char(' ') +
            relay.value(QStringLiteral("region")).toString() + QLatin1Char(' ') +
            relay.value(QStringLiteral("country")).toString())
        .trimmed()
        .toLower();
}

QList<QVariantMap> ServerPicker::matchingRelays(const QList<QVariantMap> &relays, const QString &term)
{
    QList<QVariantMap> kept;
    for (const QVariantMap &relay : relays) {
        if (searchText(relay).contains(term))
            kept.append(relay);
    }
    return kept;
}

QString ServerPicker::cardText(const PickedRow &row)
{
    if (!row.name.trimmed().isEmpty())
        return row.name;
    if (!row.region.trimmed().isEmpty())
        return row.region;
    return row.title;
}

int ServerPicker::listTop() const
{
    return m_manual ? kListTopManual : kListTopAutomatic;
}

int ServerPicker::listHeight() const
{
    return m_w.scroll ? m_w.scroll->height() : kPanelHeight - listTop() - kBottomMargin;
}

void ServerPicker::placeList(int top)
{
    if (m_w.scroll)
        m_w.scroll->setGeometry(0, top, kPanelWidth, kPanelHeight - top - kBottomMargin);
}

void ServerPicker::setContentHeight(int height)
{
    if (m_w.content)
        m_w.content->setMinimumSize(kPanelWidth, std::max(height, listHeight()));
}

void ServerPicker::scrollToTop()
{
    if (m_w.scroll && m_w.scroll->verticalScrollBar())
        m_w.scroll->verticalScrollBar()->setValue(0);
}

void ServerPicker::repaintList()
{
    if (m_w.scroll && m_w.scroll->viewport())
        m_w.scroll->viewport()->update();
}

void ServerPicker::applyServerModeStyle(bool manual)
{
    m_manual = manual;
    const QString chosen = QString::fromLatin1(kSelectedCardLook);
    const QString idle = QString::fromLatin1(kIdleCardLook);
    if (m_w.manualCard)
        m_w.manualCard->setStyleSheet(
            QStringLiteral("QWidget#SrvManualCard{%1}").arg(manual ? chosen : idle));
    if (m_w.autoCard)
        m_w.autoCard->setStyleSheet(QStringLiteral("QWidget#SrvAutoCard{%1}").arg(manual ? idle : chosen));

    const QString selectedRadio =
        QStringLiteral("QWidget#%1{background-color: " QX_ACCENT ";border-radius: 10px;border: none;}");
    const QString idleRadio = QStringLiteral(
        "QWidget#%1{background-color: transparent;border-radius: 10px;border: 1px solid " QX_MUTED ";}");
    if (m_w.manualRadio)
        m_w.manualRadio->setStyleSheet(
            (manual ? selectedRadio : idleRadio).arg(QLatin1String("SrvManualRadio")));
    if (m_w.autoRadio)
        m_w.autoRadio->setStyleSheet((manual ? idleRadio : selectedRadio).arg(QLatin1String("SrvAutoRadio")));
    if (m_w.manualCheck)
        m_w.manualCheck->setVisible(manual);
    if (m_w.autoCheck)
        m_w.autoCheck->setVisible(!manual);

    const QString titleLook = QString::fromLatin1(kCardTitleLook);
    if (m_w.manualTitle)
        m_w.manualTitle->setStyleSheet(
            titleLook.arg(manual ? QLatin1String(QX_ACCENT) : QLatin1String(QX_WHITE)));
    if (m_w.autoTitle)
        m_w.autoTitle->setStyleSheet(
            titleLook.arg(manual ? QLatin1String(QX_WHITE) : QLatin1String(QX_ACCENT)));

    showRegionHeader(manual);
    scrollServerList();
    if (m_w.searchEdit) {
        m_w.searchEdit->setPlaceholderText(manual ? QObject::tr("Search for a server")
                                                  : QObject::tr("Search for a region"));
        m_w.searchEdit->clear();
    }
    searchServers();
}

int ServerPicker::layoutRegionRows(bool manual, const QString &term, bool tagFollowsRow)
{
    const bool filtered = !m_regions.isEmpty();
    int visibleRows = 0;
    for (int i = 0; i < m_w.regionRows.size(); ++i) {
        QPushButton *row = m_w.regionRows.at(i);
        if (!row)
            continue;
        const QString name = i < m_w.regionNames.size() ? m_w.regionNames.at(i) : regionName(row);
        const bool autoRow = isAutoRow(row, name);
        bool visible = !(manual && autoRow);
        if (filtered && !autoRow)
            visible = m_regions.contains(regionName(row));
        if (visible && !term.isEmpty()) {
            visible =
                row->text().trimmed().toLower().contains(term) || regionName(row).toLower().contains(term);
        }
        row->setVisible(visible);
        if (i < m_w.chevrons.size() && m_w.chevrons.at(i))
            m_w.chevrons.at(i)->setVisible(manual);
        if (autoRow && tagFollowsRow && m_w.autoTag)
            m_w.autoTag->setVisible(visible && !manual);
        if (visible) {
            row->setGeometry(kRowX, kRowPitch * visibleRows, kRowWidth, kRowHeight);
            ++visibleRows;
        }
    }
    return visibleRows;
}

void ServerPicker::showRegionHeader(bool manual)
{
    if (m_w.recommendedLabel)
        m_w.recommendedLabel->setVisible(manual);
    if (m_w.autoTag)
        m_w.autoTag->setVisible(!manual);
    const int visibleRows = layoutRegionRows(manual, QString(), false);
    placeList(manual ? kListTopManual : kListTopAutomatic);
    setContentHeight(visibleRows > 0 ? kRowPitch * visibleRows - 10 : 0);
}

void ServerPicker::reloadServerPicker()
{
    m_regions.clear();
    if (m_sources.regions) {
        const QStringList regions = m_sources.regions();
        for (const QString &region : regions) {
            const QString trimmed = region.trimmed();
            if (!trimmed.isEmpty())
                m_regions.insert(trimmed);
        }
    }
    showRegionHeader(m_manual);
}

void ServerPicker::onRegionButtonClicked(QPushButton *row)
{
    if (!m_manual || !row || row->property("srvIsAutoRegion").toBool())
        return;
    showRegionServers(regionName(row));
}

void ServerPicker::showRegionServers(const QString &region)
{
    if (!m_manual || !m_w.serversPage)
        return;
    const QString trimmed = region.trimmed();
    if (trimmed.isEmpty())
        return;
    const QList<QVariantMap> relays =
        m_sources.serversInRegion ? m_sources.serversInRegion(trimmed) : QList<QVariantMap>();
    showServerSearchResults(relays, trimmed);
}

void ServerPicker::searchServers()
{
    const QString term = m_w.searchEdit ? m_w.searchEdit->text().trimmed().toLower() : QString();
    QWidget *page = m_w.serversPage;
    const bool pageShown = page && !page->isHidden();
    if (m_manual) {
        if (term.isEmpty() && pageShown && page->property("srvSearchResults").toBool()) {
            scrollServerList();
            return;
        }
        if (!term.isEmpty()) {
            const QList<QVariantMap> all =
                m_sources.activeServers ? m_sources.activeServers() : QList<QVariantMap>();
            showServerSearchResults(matchingRelays(all, term), QObject::tr("Search results"));
            return;
        }
        if (pageShown) {
            // A region's relays stay as they are, laid out again.
            const QList<QPushButton *> rows =
                page->findChildren<QPushButton *>(QStringLiteral("SrvServerRow"), Qt::FindDirectChildrenOnly);
            if (auto *back = page->findChild<QPushButton *>(QStringLiteral("SrvServersBackRow"),
                                                            Qt::FindDirectChildrenOnly)) {
                back->setGeometry(0, 0, kPanelWidth, kRowHeight);
                back->show();
            }
            for (int k = 0; k < rows.size(); ++k) {
                rows.at(k)->setGeometry(0, kRowPitch + kRowPitch * k, kPanelWidth, kRowHeight);
                rows.at(k)->show();
            }
            if (auto *empty = page->findChild<QLabel *>(QStringLiteral("SrvServerListEmpty"),
                                                        Qt::FindDirectChildrenOnly))
                empty->hide();
            const int height = kRowHeight + kRowPitch * int(rows.size());
            page->setGeometry(0, 0, kPanelWidth, height);
            setContentHeight(height);
            repaintList();
            return;
        }
    }

    if (m_w.recommendedLabel)
        m_w.recommendedLabel->setVisible(m_manual);
    const int visibleRows = layoutRegionRows(m_manual, term, true);
    placeList(listTop());
    setContentHeight(visibleRows > 0 ? kRowPitch * visibleRows - 10 : 0);
    repaintList();
}

QPushButton *ServerPicker::backRow(QWidget *page)
{
    if (m_backRow)
        return m_backRow;
    auto *back = new QPushButton(page);
    back->setObjectName(QStringLiteral("SrvServersBackRow"));
    back->setFlat(true);
    back->setCursor(Qt::PointingHandCursor);
    back->setAttribute(Qt::WA_StyledBackground, true);
    back->setStyleSheet(QStringLiteral(
        "QPushButton#SrvServersBackRow{background:transparent;border:none;border-radius:10px;}QPushButton#"
        "SrvServersBackRow:hover{background:" QX_RAISED ";}QPushButton#SrvServersBackRow:pressed{background:"
        "transparent;}"));

    auto *icon = new QLabel(back);
    icon->setObjectName(QStringLiteral("SrvServersBackIcon"));
    icon->setGeometry(20, 13, 18, 18);
    icon->setStyleSheet(QStringLiteral("background: transparent;"));
    icon->setPixmap(backChevron());
    icon->setAttribute(Qt::WA_TransparentForMouseEvents, true);

    auto *text = new QLabel(QStringLiteral("Back"), back);
    text->setObjectName(QStringLiteral("SrvServersBackText"));
    text->setFont(interFont(14, 400));
    text->setStyleSheet(QStringLiteral("color: " QX_MUTED "; background: transparent;"));
    text->setGeometry(48, 12, 220, 20);
    text->setAlignment(Qt::AlignLeft | Qt::AlignAbsolute | Qt::AlignVCenter);
    text->setAttribute(Qt::WA_TransparentForMouseEvents, true);

    connect(back, &QPushButton::clicked, this, &ServerPicker::leaveServerSearch);
    m_backRow = back;
    return back;
}

// The looks of the servers page's rows, set once on the page: a style sheet
// of each row's own would be parsed again for each of hundreds of rows.
QString ServerPicker::serversPageLook()
{
    return QStringLiteral("QWidget#SrvServersPage{background: transparent;}"
                          "QPushButton#SrvServerRow{background:transparent;border:none;border-radius:10px;}"
                          "QPushButton#SrvServerRow:hover{background:" QX_RAISED ";}"
                          "QLabel#SrvServerFlag{background: transparent; border-radius: 3px;}"
                          "QLabel#SrvServerName{color: " QX_WHITE "; background: transparent;}"
                          "QLabel#SrvServerPing{color:" QX_WHITE "; background: transparent;}"
                          "QLabel#SrvServerPing[pingUnknown=\"true\"]{color:" QX_PING_UNKNOWN
                          "; background: transparent;}");
}

ServerPicker::RelayRow ServerPicker::createRelayRow(QWidget *page)
{
    RelayRow r;
    auto *row = new QPushButton(page);
    row->setObjectName(QStringLiteral("SrvServerRow"));
    row->setFlat(true);
    row->setCursor(Qt::PointingHandCursor);
    r.row = row;

    r.flag = new QLabel(row);
    r.flag->setObjectName(QStringLiteral("SrvServerFlag"));
    r.flag->setGeometry(30, 14, 16, 16);
    r.flag->setScaledContents(true);
    r.flag->setAttribute(Qt::WA_TransparentForMouseEvents, true);

    r.name = new QLabel(row);
    r.name->setObjectName(QStringLiteral("SrvServerName"));
    r.name->setGeometry(56, -2, kPanelWidth - 220, 44);
    r.name->setAlignment(Qt::AlignLeft | Qt::AlignAbsolute | Qt::AlignVCenter);
    r.name->setAttribute(Qt::WA_TransparentForMouseEvents, true);

    r.ping = new QLabel(row);
    r.ping->setObjectName(QStringLiteral("SrvServerPing"));
    r.ping->setGeometry(kPanelWidth - 120, 0, 100, 44);
    r.ping->setAlignment(Qt::AlignRight | Qt::AlignAbsolute | Qt::AlignVCenter);
    r.ping->setAttribute(Qt::WA_TransparentForMouseEvents, true);

    // What the row holds is looked up by its place in the list on click.
    connect(row, &QPushButton::clicked, this, [this, row] {
        for (int k = 0; k < m_relayRows.size() && k < m_picks.size(); ++k) {
            if (m_relayRows.at(k).row == row) {
                onServerRowClicked(m_picks.at(k));
                return;
            }
        }
    });
    return r;
}

// A row the list no longer needs waits hidden and nameless, so that nothing
// looking for the page's rows or ping labels by name finds it.
void ServerPicker::parkRelayRow(const RelayRow &r)
{
    r.row->hide();
    r.row->setObjectName(QString());
    r.flag->setObjectName(QString());
    r.name->setObjectName(QString());
    r.ping->setObjectName(QString());
    r.ping->setProperty("server_id", QVariant());
}

void ServerPicker::unparkRelayRow(const RelayRow &r)
{
    r.row->setObjectName(QStringLiteral("SrvServerRow"));
    r.flag->setObjectName(QStringLiteral("SrvServerFlag"));
    r.name->setObjectName(QStringLiteral("SrvServerName"));
    r.ping->setObjectName(QStringLiteral("SrvServerPing"));
}

void ServerPicker::showSweepPings(const QHash<QString, int> &pings)
{
    for (const RelayRow &r : std::as_const(m_relayRows)) {
        const QString id = r.ping->property("server_id").toString();
        if (id.isEmpty())
            continue;
        const auto ping = pings.constFind(id);
        if (ping == pings.constEnd())
            continue;
        r.ping->setText(*ping < 0 ? QStringLiteral("--") : QStringLiteral("%1 ms").arg(*ping));
    }
}

void ServerPicker::fillRelayRow(const RelayRow &r, int index, const QVariantMap &relay, int ping)
{
    const auto text = [&relay](const char *key) { return relay.value(QLatin1String(key)).toString(); };
    r.row->setGeometry(0, kRowPitch + kRowPitch * index, kPanelWidth, kRowHeight);

    // Flags drawn from the bundled pictures are kept by country, so a long
    // list draws each country once.
    const QString code = text("country_code").trimmed().toUpper();
    r.flag->clear();
    const auto cached = m_flagCache.constFind(code);
    if (cached != m_flagCache.constEnd()) {
        r.flag->setPixmap(*cached);
    } else if (m_sources.loadFlag) {
        m_sources.loadFlag(r.flag, text("country_code"), text("flag"));
        if (!code.isEmpty() && !r.flag->pixmap().isNull())
            m_flagCache.insert(code, r.flag->pixmap());
    }

    r.name->setText(text("name"));
    r.ping->setProperty("server_id", text("id"));
    // Someone else (the ping sweep) may have restyled the label since.
    if (!r.ping->styleSheet().isEmpty())
        r.ping->setStyleSheet(QString());
    const bool unknown = ping < 0;
    r.ping->setText(unknown ? QStringLiteral("-1") : QString::number(ping) + QStringLiteral(" ms"));
    if (r.ping->property("pingUnknown").toBool() != unknown) {
        r.ping->setProperty("pingUnknown", unknown);
        r.ping->style()->unpolish(r.ping);
        r.ping->style()->polish(r.ping);
    }
    r.row->show();
}

void ServerPicker::showServerSearchResults(const QList<QVariantMap> &servers, const QString &title)
{
    QWidget *page = m_w.serversPage;
    if (!page)
        return;
    page->setProperty("srvSearchResults",
                      title.trimmed().compare(QObject::tr("Search results"), Qt::CaseInsensitive) == 0);
    placeList(kListTopAutomatic);
    if (m_w.recommendedLabel)
        m_w.recommendedLabel->hide();
    for (const QPointer<QPushButton> &row : std::as_const(m_w.regionRows)) {
        if (row)
            row->hide();
    }

    QPushButton *back = backRow(page);
    back->setGeometry(0, 0, kPanelWidth, kRowHeight);
    back->show();

    const QHash<QString, int> pings = m_sources.pings ? m_sources.pings() : QHash<QString, int>();
    QList<QPair<QVariantMap, int>> pairs;
    pairs.reserve(servers.size());
    for (const QVariantMap &relay : servers)
        pairs.append({relay, pings.value(relay.value(QStringLiteral("id")).toString(), -1)});
    std::stable_sort(pairs.begin(), pairs.end(), RelayChoice::lessByPing);

    if (pairs.isEmpty() && !m_emptyLabel) {
        m_emptyLabel = new QLabel(QStringLiteral("No servers found."), page);
        m_emptyLabel->setObjectName(QStringLiteral("SrvServerListEmpty"));
        m_emptyLabel->setFont(interFont(14, 400));
        m_emptyLabel->setStyleSheet(QStringLiteral("color: " QX_MUTED "; background: transparent;"));
        m_emptyLabel->setGeometry(20, 62, kPanelWidth - 40, 20);
        m_emptyLabel->show();
    } else if (!pairs.isEmpty() && m_emptyLabel) {
        delete m_emptyLabel;
    }

    // The page's rows are refilled in place: rows beyond the new list are
    // parked, and missing ones come back from the parked ones before new
    // ones are made. Making and styling a row costs far more than filling it.
    const int n = int(pairs.size());
    while (m_relayRows.size() > n) {
        m_spareRows.append(m_relayRows.takeLast());
        parkRelayRow(m_spareRows.last());
    }
    // Rows still showing the previous list wait hidden for their new relay.
    for (qsizetype k = kRowsPerSlice; k < m_relayRows.size(); ++k)
        m_relayRows.at(k).row->hide();
    m_picks.clear();
    m_picks.reserve(n);
    for (int k = 0; k < n; ++k) {
        const QVariantMap &relay = pairs.at(k).first;
        const auto text = [&relay](const char *key) { return relay.value(QLatin1String(key)).toString(); };
        PickedRow picked;
        picked.record = relay;
        picked.id = text("id");
        picked.ipAddress = text("ip_address");
        picked.name = text("name");
        picked.countryCode = text("country_code");
        picked.region = text("region").trimmed();
        picked.flag = text("flag");
        picked.title = title;
        m_picks.append(picked);
    }
    m_fill = std::move(pairs);
    m_fillNext = 0;
    fillRows(++m_fillRun, page);

    const int height = n == 0 ? kEmptyPageHeight : kRowHeight + kRowPitch * n;
    page->setGeometry(0, 0, kPanelWidth, height);
    page->show();
    page->raise();
    setContentHeight(height);
    scrollToTop();
    repaintList();
}

void ServerPicker::fillRows(quint64 run, QWidget *page)
{
    if (run != m_fillRun || !page || page != m_w.serversPage)
        return;
    const qsizetype end = std::min<qsizetype>(m_fill.size(), m_fillNext + kRowsPerSlice);
    for (; m_fillNext < end; ++m_fillNext) {
        const int k = int(m_fillNext);
        if (k >= m_relayRows.size()) {
            if (m_spareRows.isEmpty()) {
                m_relayRows.append(createRelayRow(page));
            } else {
                m_relayRows.append(m_spareRows.takeLast());
                unparkRelayRow(m_relayRows.last());
            }
        }
        fillRelayRow(m_relayRows.at(k), k, m_fill.at(k).first, m_fill.at(k).second);
    }
    if (m_fillNext < m_fill.size()) {
        QTimer::singleShot(0, this, [this, run, guard = QPointer<QWidget>(page)]() { fillRows(run, guard); });
        return;
    }
    m_fill.clear();
    m_fillNext = 0;
}

void ServerPicker::scrollServerList()
{
    if (m_w.serversPage)
        m_w.serversPage->hide();
    if (m_w.recommendedLabel)
        m_w.recommendedLabel->setVisible(m_manual);
    placeList(listTop());
    showRegionHeader(m_manual);
    scrollToTop();
    searchServers();
}

void ServerPicker::leaveServerSearch()
{
    if (m_w.searchEdit)
        m_w.searchEdit->clear();
    scrollServerList();
}

void ServerPicker::onServerRowClicked(const PickedRow &row)
{
    bool numeric = false;
    int port = row.record.value(QStringLiteral("port")).toInt(&numeric);
    if (!numeric)
        port = 0;
    if (m_sources.store) {
        m_sources.store->setServer(row.id, row.ipAddress, row.name, row.countryCode);
        m_sources.store->setServerPort(port <= 0 ? kDefaultRelayPort : port);
        m_sources.store->setConnectionMode(false);
    }
    emit relayPicked(cardText(row), row.countryCode, row.flag);
}

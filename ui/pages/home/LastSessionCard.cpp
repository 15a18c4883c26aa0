#include "ui/pages/home/LastSessionCard.h"

#include "i18n/Language.h"
#include "services/ServiceApi.h"
#include "ui/pages/common/PageWidgets.h"
#include "ui/pages/games/ImageCache.h"
#include "ui/widgets/Palette.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPixmap>
#include <QPushButton>
#include <QRegularExpression>

#include <cmath>

namespace {

using Language::objectText;
using Language::windowText;

QString roundedText(double value, const char *unit)
{
    return QString::number(std::llround(value)) + QLatin1String(unit);
}

QLabel *textLabel(QWidget *parent, const QString &name, const QRect &geometry, const QString &style,
                  const QFont &font, Qt::Alignment alignment)
{
    auto *label = new QLabel(parent);
    if (!name.isEmpty())
        label->setObjectName(name);
    label->setGeometry(geometry);
    label->setStyleSheet(style);
    label->setFont(font);
    label->setAlignment(alignment);
    return label;
}

} // namespace

LastSessionCard::LastSessionCard(QWidget *rootFrame, int y, const ServiceConfig &config,
                                 const QString &dataFolder, QNetworkAccessManager *manager, int inactivityMs,
                                 const QString &persianFontFamily, QObject *parent)
    : QObject(parent), m_config(config), m_logoFolder(dataFolder + QStringLiteral("/session_logos")),
      m_manager(manager), m_inactivityMs(inactivityMs), m_persianFamily(persianFontFamily)
{
    const QString white = QStringLiteral("color: " QX_WHITE "; background: transparent;");
    const QString grey = QStringLiteral("color: " QX_SECONDARY "; background: transparent;");
    const Qt::Alignment leftMiddle = Qt::AlignLeft | Qt::AlignVCenter;

    m_card = new QWidget(rootFrame);
    m_card->setObjectName(QStringLiteral("DashboardLowerLeft"));
    m_card->setAttribute(Qt::WA_StyledBackground, true);
    m_card->setStyleSheet(QStringLiteral("QWidget#DashboardLowerLeft {  background-color: " QX_PANEL ";  "
                                         "border-radius: 20px;  padding: 20px 20px 10px 20px;  border: 1px "
                                         "solid " QX_BORDER ";}"));
    m_card->setFixedSize(kWidth, kHeight);
    m_card->move(120, y);
    m_card->raise();

    m_empty = new QWidget(m_card);
    m_empty->setObjectName(QStringLiteral("LastSessionEmpty"));
    m_empty->setAttribute(Qt::WA_StyledBackground, true);
    m_empty->setStyleSheet(QStringLiteral("background: transparent;"));
    m_empty->setGeometry(0, 0, kWidth, kHeight);
    auto *icon = new QLabel(m_empty);
    icon->setObjectName(QStringLiteral("LastSessionEmptyIcon"));
    icon->setStyleSheet(QStringLiteral("background: transparent; border: none;"));
    icon->setFixedSize(72, 72);
    icon->move((kWidth - 72) / 2, 76);
    const QPixmap group(QStringLiteral(":/icons/connections-empty-group.png"));
    if (!group.isNull())
        icon->setPixmap(group.scaled(icon->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
    m_emptyTitle = textLabel(m_empty, QStringLiteral("LastSessionEmptyTitle"), QRect(0, 166, kWidth, 28),
                             white, PageWidgets::interFont(20, QFont::DemiBold), Qt::AlignCenter);
    m_emptyTitle->setText(windowText("No connections yet!"));
    m_emptyDesc = textLabel(m_empty, QStringLiteral("LastSessionEmptyDesc"), QRect(0, 198, kWidth, 20), grey,
                            PageWidgets::interFont(14, QFont::Normal), Qt::AlignCenter);
    m_emptyDesc->setText(windowText("View data from your last session here and rate its quality."));
    m_addButton = new QPushButton(windowText("Add connection"), m_empty);
    m_addButton->setObjectName(QStringLiteral("LastSessionEmptyAddBtn"));
    m_addButton->setFont(PageWidgets::interFont(14, QFont::DemiBold));
    m_addButton->setCursor(Qt::PointingHandCursor);
    m_addButton->setFixedSize(148, 48);
    m_addButton->move((kWidth - 148) / 2, 258);
    m_addButton->setStyleSheet(QStringLiteral(
        "QPushButton#LastSessionEmptyAddBtn {  background-color: " QX_ACCENT ";  color: " QX_BACKGROUND
        ";  border: none;  "
        "border-radius: 18px;  padding-left: 20px;  padding-right: 20px;}"
        "QPushButton#LastSessionEmptyAddBtn:hover { background-color: " QX_EMPTY_ADD_HOVER "; }"
        "QPushButton#LastSessionEmptyAddBtn:pressed { background-color: " QX_EMPTY_ADD_PRESSED "; }"));
    connect(m_addButton, &QPushButton::clicked, this, &LastSessionCard::addConnectionClicked);

    m_title = textLabel(m_card, QStringLiteral("LastSessionTitle"), QRect(20, 20, 260, 24), white,
                        PageWidgets::interFont(16, QFont::DemiBold), leftMiddle);
    m_title->setText(windowText("Last session data"));

    m_row = new QWidget(m_card);
    m_row->setObjectName(QStringLiteral("LastSessionRow"));
    m_row->setAttribute(Qt::WA_StyledBackground, true);
    m_row->setStyleSheet(
        QStringLiteral("QWidget#LastSessionRow {  background-color: " QX_RAISED ";  border-radius: 10px;}"));
    m_row->setGeometry(20, 117, 599, 82);
    m_logo = new QLabel(m_row);
    m_logo->setStyleSheet(QStringLiteral("background: transparent; border-radius: 8px;"));
    m_logo->setFixedSize(54, 54);
    m_logo->move(14, 14);
    showLogo(m_logo, QPixmap(QStringLiteral(":/icons/last-session-game.png")));
    m_gameName = textLabel(m_row, QString(), QRect(80, 31, 260, 20), white,
                           PageWidgets::interFont(14, QFont::DemiBold), leftMiddle);
    m_gameName->setText(windowText("League of legend"));
    m_durationLabel = textLabel(m_row, QStringLiteral("LastSessionDurationLabel"), QRect(308, 21, 200, 16),
                                grey, PageWidgets::interFont(12, QFont::Normal), leftMiddle);
    m_durationLabel->setText(windowText("Duration"));
    m_durationValue = textLabel(m_row, QStringLiteral("LastSessionDurationValue"), QRect(308, 41, 200, 20),
                                white, PageWidgets::interFont(14, QFont::DemiBold), leftMiddle);
    m_durationValue->setText(windowText("03:03"));

    const int xs[] = {30, 171, 332, 482};
    m_captions << makeStatCaption(xs[0], windowText("Lower ping"), QStringLiteral("LastSessionStatLowerPing"))
               << makeStatCaption(xs[1], windowText("Average ping"), QStringLiteral("LastSessionStatAvgPing"))
               << makeStatCaption(xs[2], windowText("Average Jitter"),
                                  QStringLiteral("LastSessionStatAvgJitter"))
               << makeStatCaption(xs[3], windowText("Packet loss"),
                                  QStringLiteral("LastSessionStatPacketLoss"));
    for (int x : xs) {
        QLabel *value = nullptr;
        m_valueBoxes << makeStatValueBox(x, &value);
        m_values << value;
    }
    m_values[2]->setText(QStringLiteral("5 ms"));
    m_values[3]->setText(QStringLiteral("0 %"));

    m_stats << m_title << m_row << m_logo << m_gameName << m_durationLabel << m_durationValue;
    for (QWidget *box : std::as_const(m_valueBoxes))
        m_stats << box;
    for (QLabel *caption : std::as_const(m_captions))
        m_stats << caption;
    setLastSessionFilled(false);
}

QLabel *LastSessionCard::makeStatCaption(int x, const QString &text, const QString &name)
{
    QLabel *label = textLabel(m_card, name, QRect(x, 235, 150, 20),
                              QStringLiteral("color: " QX_SECONDARY "; background: transparent;"),
                              PageWidgets::interFont(14, QFont::Normal), Qt::AlignLeft | Qt::AlignVCenter);
    label->setText(text);
    return label;
}

QWidget *LastSessionCard::makeStatValueBox(int x, QLabel **outLabel)
{
    auto *box = new QWidget(m_card);
    box->setFixedSize(80, 34);
    box->move(x, 265);
    box->setStyleSheet(QStringLiteral("QWidget {  background-color: " QX_RAISED ";  border-radius: 6px;}"));
    QLabel *label = textLabel(box, QString(), QRect(0, 0, 80, 34),
                              QStringLiteral("color: " QX_WHITE "; background: transparent;"),
                              PageWidgets::interFont(14, QFont::Normal), Qt::AlignCenter);
    if (outLabel)
        *outLabel = label;
    return box;
}

QString LastSessionCard::formatDuration(qint64 seconds)
{
    if (seconds < 0)
        seconds = 0;
    const qint64 h = seconds / 3600;
    const qint64 m = (seconds % 3600) / 60;
    const qint64 s = seconds % 60;
    const auto two = [](qint64 v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); };
    if (h == 0)
        return two(m) + QLatin1Char(':') + two(s);
    return two(h) + QLatin1Char(':') + two(m) + QLatin1Char(':') + two(s);
}

QString LastSessionCard::logoCacheFileName(const QString &folder, const QUrl &url)
{
    const QByteArray hash =
        QCryptographicHash::hash(url.toString(QUrl::FullyEncoded).toUtf8(), QCryptographicHash::Md5).toHex();
    // The suffix only picks the saved format; anything odd falls back to PNG.
    static const QRegularExpression plainSuffix(QStringLiteral("^[A-Za-z0-9]{1,5}$"));
    QString suffix = QFileInfo(url.path(QUrl::FullyDecoded)).suffix();
    if (!plainSuffix.match(suffix).hasMatch())
        suffix = QStringLiteral("png");
    return folder + QLatin1Char('/') + QString::fromLatin1(hash) + QLatin1Char('.') + suffix.toLower();
}

void LastSessionCard::setLastSessionFilled(bool filled)
{
    m_empty->setVisible(!filled);
    for (QWidget *w : std::as_const(m_stats))
        w->setVisible(filled);
}

void LastSessionCard::showLastSession(const SessionData &session)
{
    if (session.gameTitle.trimmed().isEmpty()) {
        setLastSessionFilled(false);
        return;
    }
    setLastSessionFilled(true);
    m_gameName->setText(session.gameTitle);
    m_durationValue->setText(formatDuration(session.duration));
    if (!session.gameLogoPath.trimmed().isEmpty())
        loadSessionGameLogo(session.gameLogoPath);

    const bool sampled = session.sampleCount > 0;
    const QString none = QStringLiteral("--");
    m_values[0]->setText(sampled && session.minimumPing < 999 ? roundedText(session.minimumPing, " ms")
                                                              : none);
    m_values[1]->setText(sampled && session.averagePing > 0 ? roundedText(session.averagePing, " ms") : none);
    m_values[2]->setText(sampled && session.averageJitter > 0 ? roundedText(session.averageJitter, " ms")
                                                              : none);
    m_values[3]->setText(roundedText(session.packetLoss, " %"));
}

void LastSessionCard::showLogo(QLabel *label, const QPixmap &pixmap)
{
    if (!label || pixmap.isNull())
        return;
    label->setPixmap(pixmap.scaled(label->size(), Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation));
}

void LastSessionCard::loadSessionGameLogo(const QString &rawPath)
{
    QString path = rawPath.trimmed();
    if (path.isEmpty())
        return;
    if (path.startsWith(QLatin1String("/uploads/")))
        path = m_config.resolveUploadsUrl(path);

    if (path.startsWith(QLatin1String(":/")) || QFileInfo(path).isFile()) {
        showLogo(m_logo, QPixmap(path));
        return;
    }
    if (!path.startsWith(QLatin1String("http://")) && !path.startsWith(QLatin1String("https://")))
        return;
    const QUrl url(path);
    if (!url.isValid() || url.host().isEmpty())
        return;

    QDir().mkpath(m_logoFolder);
    const QString cacheFile = logoCacheFileName(m_logoFolder, url);
    if (QFileInfo::exists(cacheFile)) {
        const QPixmap cached(cacheFile);
        if (!cached.isNull()) {
            showLogo(m_logo, cached);
            return;
        }
        // A file that no longer decodes is fetched again.
        QFile::remove(cacheFile);
    }
    if (!m_manager)
        return;
    QNetworkReply *reply = m_manager->get(QNetworkRequest(url));
    ServiceApi::watchInactivity(reply, m_inactivityMs);
    QPointer<QLabel> label(m_logo);
    connect(reply, &QNetworkReply::finished, this,
            [this, reply, cacheFile, label] { onSessionLogoReply(reply, cacheFile, label); });
}

void LastSessionCard::onSessionLogoReply(QNetworkReply *reply, const QString &cacheFile,
                                         QPointer<QLabel> label)
{
    const bool ok = reply->error() == QNetworkReply::NoError;
    const QByteArray body = ok ? reply->readAll() : QByteArray();
    const QString url = reply->url().toString();
    reply->deleteLater();
    const QImage image = ok ? ImageCache::decodeImage(body) : QImage();
    if (!image.isNull()) {
        image.save(cacheFile);
        showLogo(label, QPixmap::fromImage(image));
    }
    emit logoSettled(url);
}

void LastSessionCard::retranslateLastSessionCard(const QString &languageCode)
{
    const bool persian = Language::isPersian(languageCode);
    const QString family = persian ? m_persianFamily : QStringLiteral("Inter");
    const Qt::LayoutDirection direction = persian ? Qt::RightToLeft : Qt::LeftToRight;
    // Absolute: the labels are right-to-left in Persian, where a plain
    // "right" would be mirrored to the left.
    const Qt::Alignment side =
        (persian ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignAbsolute | Qt::AlignVCenter;

    struct Line
    {
        QWidget *widget;
        const char *english;
        const char *persian;
        int px;
        QFont::Weight weight;
        bool align;
    };
    const Line lines[] = {
        {m_title, "Last session data", "اطلاعات آخرین نشست", 16, QFont::DemiBold, true},
        {m_durationLabel, "Duration", "مدت زمان", 12, QFont::Normal, true},
        {m_captions[0], "Lower ping", "کمترین پینگ", 14, QFont::Normal, true},
        {m_captions[1], "Average ping", "میانگین پینگ", 14, QFont::Normal, true},
        {m_captions[2], "Average Jitter", "میانگین جیتر", 14, QFont::Normal, true},
        {m_captions[3], "Packet loss", "پکت لاس", 14, QFont::Normal, true},
        {m_emptyTitle, "No connections yet!", "هنوز اتصالی ندارید!", 20, QFont::DemiBold, false},
        {m_emptyDesc, "View data from your last session here and rate its quality.",
         "اینجا میتوانید اطلاعات آخرین نشست خود را ببینید و کیفیت آن را ارزیابی کنید.", 14, QFont::Normal,
         false},
        {m_addButton, "Add connection", "افزودن اتصال", 14, QFont::DemiBold, false},
    };
    for (const Line &line : lines) {
        const QString text = persian ? QString::fromUtf8(line.persian) : objectText(line.english);
        if (auto *label = qobject_cast<QLabel *>(line.widget)) {
            label->setText(text);
            if (line.align)
                label->setAlignment(side);
        } else if (auto *button = qobject_cast<QPushButton *>(line.widget)) {
            button->setText(text);
        }
        line.widget->setFont(PageWidgets::familyFont(family, line.px, line.weight));
        line.widget->setLayoutDirection(direction);
    }
}

void LastSessionCard::place(bool persian)
{
    retranslateLastSessionCard(persian ? QStringLiteral("fa-IR") : QStringLiteral("en-US"));
}

#include "ui/mainwindow/HeaderSearch.h"

#include "services/GamesCatalogue.h"
#include "services/ReplyBounds.h"
#include "services/ServiceClient.h"
#include "services/ServiceConfig.h"
#include "ui/widgets/Palette.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QIcon>
#include <QImageWriter>
#include <QJsonDocument>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmapCache>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpacerItem>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QTransform>
#include <QVBoxLayout>

namespace {

const char kClosedBarStyle[] =
    "QWidget#HeaderSearchBar {  background-color: " QX_PANEL ";  border-radius: 27px;}";
const char kOpenBarStyle[] =
    "QWidget#HeaderSearchBar {  background-color: " QX_PANEL ";  border-top-left-radius: "
    "12px;  border-top-right-radius: 12px;  border-bottom-left-radius: 0px;  "
    "border-bottom-right-radius: 0px;}";
const char kEditStyle[] = "QLineEdit { background: transparent; border: none; color: " QX_MUTED "; "
                          "}QLineEdit::placeholder { color: " QX_MUTED "; }";
const char kPersianEditStyle[] =
    "QLineEdit { background: transparent; border: none; color: " QX_MUTED "; "
    "padding-right: %1px; padding-left: 0px; }QLineEdit::placeholder { color: " QX_MUTED "; }";
const char kButtonStyle[] = "QPushButton { background: transparent; border: none; margin-top: -2px; }";
const char kEnglishClearStyle[] = "QPushButton { background: transparent; border: none; margin-top: -4px; }";
// In Persian the bar's right margin grows to this. The edit keeps no right
// padding: the bar leaves it about 200 px, so any larger padding (a 211 px
// one was once asked for) would hide both the placeholder and what is typed.
const int kPersianEditPadding = 0;
const int kPersianRightMargin = 20;
// Room for every row the search shows (six of 32 px) inside the margins.
const int kPopupHeight = 10 + HeaderSearch::kMaxRows * 32 + 10;
const QSize kLogoSize(24, 24);

// Fills the 24 x 24 box: scaled until both sides cover it, the overhang cut
// evenly, so both caches hold exactly the size the rows draw.
QPixmap scaledLogo(const QPixmap &pixmap)
{
    const QPixmap scaled = pixmap.scaled(kLogoSize, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
    return scaled.copy((scaled.width() - kLogoSize.width()) / 2, (scaled.height() - kLogoSize.height()) / 2,
                       kLogoSize.width(), kLogoSize.height());
}

// The arrow and the clear button: flat, 36 x 36, never taking the focus.
QPushButton *barButton(QWidget *bar, const QString &name)
{
    auto *button = new QPushButton(bar);
    button->setObjectName(name);
    button->setFixedSize(36, 36);
    button->setFlat(true);
    button->setCursor(Qt::PointingHandCursor);
    button->setFocusPolicy(Qt::NoFocus);
    button->setStyleSheet(QLatin1String(kButtonStyle));
    return button;
}

} // namespace

// Closes the drop-down on Escape or on a press outside the bar and the
// drop-down, wherever in the application it lands. Installed on the
// application object.
class HeaderSearchDismissFilter : public QObject
{
public:
    HeaderSearchDismissFilter(HeaderSearch *search, QObject *parent)
        : QObject(parent), m_search(search), m_popup(search->popup()), m_bar(search->bar()),
          m_edit(search->edit())
    {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (!m_popup || !m_bar || !m_search || !m_popup->isVisible())
            return QObject::eventFilter(watched, event);
        if (event->type() == QEvent::KeyPress) {
            if (static_cast<QKeyEvent *>(event)->key() != Qt::Key_Escape)
                return QObject::eventFilter(watched, event);
            m_search->closePopup();
            if (m_edit)
                m_edit->setFocus(Qt::OtherFocusReason);
            return true;
        }
        if (event->type() == QEvent::MouseButtonPress) {
            const QPoint global = static_cast<QMouseEvent *>(event)->globalPosition().toPoint();
            const QRect barRect(m_bar->mapToGlobal(QPoint(0, 0)), m_bar->size());
            if (!m_popup->frameGeometry().contains(global) && !barRect.contains(global))
                m_search->closePopup();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QPointer<HeaderSearch> m_search;
    QPointer<QFrame> m_popup;
    QPointer<QWidget> m_bar;
    QPointer<QLineEdit> m_edit;
};

// Gives the bar back its closed look whenever the drop-down hides, by
// whatever path. Installed on the drop-down.
class HeaderSearchPopupSync : public QObject
{
public:
    HeaderSearchPopupSync(QWidget *bar, QObject *parent) : QObject(parent), m_bar(bar) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Hide && m_bar)
            m_bar->setStyleSheet(QLatin1String(kClosedBarStyle));
        return QObject::eventFilter(watched, event);
    }

private:
    QPointer<QWidget> m_bar;
};

// One result row: the logo at 24 x 24 and the game's name.
class HeaderSearchGameDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem &, const QModelIndex &) const override
    {
        return QSize(342, 32);
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing, true);
        const QRect row = option.rect;
        if (option.state & (QStyle::State_Selected | QStyle::State_MouseOver))
            painter->fillRect(row, QColor(QStringLiteral(QX_PANEL_HOVER)));
        const QVariant decoration = index.data(Qt::DecorationRole);
        QPixmap pixmap;
        if (decoration.canConvert<QIcon>() && decoration.userType() == QMetaType::QIcon)
            pixmap = decoration.value<QIcon>().pixmap(kLogoSize);
        else if (decoration.userType() == QMetaType::QPixmap)
            pixmap = decoration.value<QPixmap>();
        if (!pixmap.isNull()) {
            const QPixmap logo = pixmap.scaled(kLogoSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
            painter->drawPixmap(row.left() + 20, row.top() + (row.height() - 24) / 2, logo);
        }
        QFont font(QStringLiteral("Inter"));
        font.setPixelSize(12);
        font.setWeight(QFont::Medium);
        painter->setFont(font);
        painter->setPen(QColor(QStringLiteral(QX_WHITE)));
        painter->drawText(QRect(row.left() + 54, row.top(), row.width() - 66, row.height()),
                          Qt::AlignLeft | Qt::AlignVCenter, index.data(Qt::DisplayRole).toString());
        painter->restore();
    }
};

HeaderSearch::HeaderSearch(QWidget *header, QWidget *window, ServiceClient *client,
                           const QString &cacheFolder, int debounceMs, QObject *parent)
    : QObject(parent), m_client(client), m_cacheFolder(cacheFolder)
{
    m_bar = new QWidget(header);
    m_bar->setObjectName(QStringLiteral("HeaderSearchBar"));
    m_bar->setAttribute(Qt::WA_StyledBackground, true);
    m_bar->setFixedSize(362, 54);
    setBarStyle(false);
    m_barLayout = new QHBoxLayout(m_bar);
    m_barLayout->setContentsMargins(20, 12, 10, 12);
    m_barLayout->setSpacing(10);
    m_spacer = new QSpacerItem(0, 0, QSizePolicy::Expanding, QSizePolicy::Minimum);

    m_glass = new QLabel(m_bar);
    m_glass->setFixedSize(18, 18);
    m_glass->setStyleSheet(QStringLiteral("background: transparent;"));
    const QPixmap glass(QStringLiteral(":/icons/search-glass.png"));
    if (!glass.isNull())
        m_glass->setPixmap(glass.scaled(18, 18, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    m_barLayout->addWidget(m_glass);

    m_edit = new QLineEdit(m_bar);
    m_edit->setPlaceholderText(QStringLiteral("Search"));
    m_edit->setFrame(false);
    QFont font(QStringLiteral("Inter"));
    font.setPointSize(14);
    m_edit->setFont(font);
    m_edit->setStyleSheet(QLatin1String(kEditStyle));
    m_barLayout->addWidget(m_edit, 1);

    m_arrow = barButton(m_bar, QStringLiteral("HeaderSearchArrow"));
    const QPixmap arrow(QStringLiteral(":/icons/search-right.png"));
    if (!arrow.isNull()) {
        m_arrowPixmap = arrow.scaled(36, 36, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        m_arrowMirrored = m_arrowPixmap.transformed(QTransform().rotate(180), Qt::SmoothTransformation);
        m_arrow->setIcon(QIcon(m_arrowPixmap));
    }
    m_arrow->setIconSize(QSize(36, 36));

    m_clear = barButton(m_bar, QStringLiteral("HeaderSearchClear"));
    QPixmap clear(QStringLiteral(":/icons/window-close-circle.png"));
    if (clear.isNull())
        clear = QPixmap(QStringLiteral(":/icons/window-close.png"));
    m_clear->setIcon(QIcon(clear));
    m_clear->setIconSize(QSize(36, 36));
    m_clear->hide();
    m_barLayout->addWidget(m_clear);
    m_barLayout->addWidget(m_arrow);
    connect(m_clear, &QPushButton::clicked, this, &HeaderSearch::clearText);
    connect(m_arrow, &QPushButton::clicked, this, &HeaderSearch::focusEdit);

    m_popup = new QFrame(window, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus);
    m_popup->setObjectName(QStringLiteral("HeaderSearchPopup"));
    m_popup->setAttribute(Qt::WA_StyledBackground, true);
    // The edit keeps the focus (and the window stays active) while it shows.
    m_popup->setAttribute(Qt::WA_ShowWithoutActivating, true);
    m_popup->setFocusPolicy(Qt::NoFocus);
    m_popup->setFixedSize(362, kPopupHeight);
    m_popup->setStyleSheet(QStringLiteral(
        "QFrame#HeaderSearchPopup {  background: " QX_PANEL ";  border-bottom-left-radius: 10px;  "
        "border-bottom-right-radius: 10px;  border-top-left-radius: 0px;  border-top-right-radius: 0px;}"));
    auto *popupLayout = new QVBoxLayout(m_popup);
    popupLayout->setContentsMargins(10, 10, 10, 10);
    popupLayout->setSpacing(0);
    m_results = new QListWidget(m_popup);
    m_results->setObjectName(QStringLiteral("HeaderSearchResults"));
    m_results->setFrameShape(QFrame::NoFrame);
    m_results->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_results->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_results->setMouseTracking(true);
    m_results->setSelectionMode(QAbstractItemView::SingleSelection);
    m_results->setUniformItemSizes(true);
    m_results->setCursor(Qt::PointingHandCursor);
    m_results->viewport()->setCursor(Qt::PointingHandCursor);
    m_results->setFocusPolicy(Qt::NoFocus);
    m_results->setItemDelegate(new HeaderSearchGameDelegate(m_results));
    m_results->setStyleSheet(QStringLiteral(
        "QListWidget#HeaderSearchResults {  background: transparent;  border: none;  "
        "outline: none;}QListWidget#HeaderSearchResults::item {  padding: 0px;  margin: 0px;}"));
    popupLayout->addWidget(m_results, 1);

    m_debounce = new QTimer(m_bar);
    m_debounce->setSingleShot(true);
    m_debounce->setInterval(debounceMs);
    connect(m_edit, &QLineEdit::textChanged, this, &HeaderSearch::onTextChanged);
    connect(m_debounce, &QTimer::timeout, this, &HeaderSearch::runSearch);
    m_popup->installEventFilter(new HeaderSearchPopupSync(m_bar, m_popup));
    qApp->installEventFilter(new HeaderSearchDismissFilter(this, this));
    connect(m_results, &QListWidget::itemClicked, this, &HeaderSearch::openResult);
    connect(m_results, &QListWidget::itemActivated, this, &HeaderSearch::openResult);
    connect(m_edit, &QLineEdit::returnPressed, this, &HeaderSearch::openCurrentResult);
}

HeaderSearch::~HeaderSearch()
{
    // In English the spacer lies outside the bar's layout, so nothing else frees it.
    if (!m_spacerInLayout)
        delete m_spacer;
}

QString HeaderSearch::gameLogoUrl(const QJsonObject &game, const ServiceConfig &config)
{
    QString logo = game.value(QStringLiteral("logo")).toString();
    if (logo.isEmpty())
        logo = game.value(QStringLiteral("coverImage")).toString();
    if (logo.isEmpty())
        logo = game.value(QStringLiteral("icon")).toString();
    if (logo.startsWith(QLatin1String("/uploads/")))
        return config.resolveUploadsUrl(logo);
    return logo;
}

QString HeaderSearch::logoCacheKey(const QString &url)
{
    return QStringLiteral("hdr_search_logo_") +
           QString::fromLatin1(QCryptographicHash::hash(url.toUtf8(), QCryptographicHash::Md5).toHex());
}

QString HeaderSearch::logoFileName(const QString &url)
{
    // Named by the address rather than its last component: two games whose
    // logos share a file name ("/a/logo.png", "/b/logo.png") keep two files,
    // and no name from the service can reach outside the folder.
    QString suffix = QFileInfo(QUrl(url).path(QUrl::FullyDecoded)).suffix().toLower();
    static const QRegularExpression plain(QStringLiteral("^[a-z0-9]{1,5}$"));
    if (!plain.match(suffix).hasMatch())
        suffix = QStringLiteral("png");
    return QString::fromLatin1(QCryptographicHash::hash(url.toUtf8(), QCryptographicHash::Md5).toHex()) +
           QLatin1Char('.') + suffix;
}

void HeaderSearch::setBarStyle(bool open)
{
    if (m_bar)
        m_bar->setStyleSheet(QLatin1String(open ? kOpenBarStyle : kClosedBarStyle));
}

void HeaderSearch::place(bool persian)
{
    m_edit->setPlaceholderText(persian ? QStringLiteral("جستجو") : QStringLiteral("Search"));
    // Absolute: in a right-to-left edit a plain right alignment is mirrored
    // to the left, away from the glass the text belongs next to.
    m_edit->setAlignment((persian ? Qt::AlignRight | Qt::AlignAbsolute : Qt::AlignLeft) | Qt::AlignVCenter);
    m_edit->setLayoutDirection(persian ? Qt::RightToLeft : Qt::LeftToRight);
    m_edit->setTextMargins(0, 0, 0, 0);
    m_edit->setStyleSheet(persian ? QString::fromLatin1(kPersianEditStyle).arg(kPersianEditPadding)
                                  : QString::fromLatin1(kEditStyle));
    m_barLayout->setSpacing(10);
    if (!m_arrowPixmap.isNull())
        m_arrow->setIcon(QIcon(persian ? m_arrowMirrored : m_arrowPixmap));
    m_arrow->setIconSize(QSize(36, 36));

    m_barLayout->removeWidget(m_arrow);
    m_barLayout->removeWidget(m_clear);
    m_barLayout->removeWidget(m_edit);
    m_barLayout->removeWidget(m_glass);
    if (m_spacerInLayout) {
        m_barLayout->removeItem(m_spacer);
        m_spacerInLayout = false;
    }
    if (persian)
        m_barLayout->setContentsMargins(10, 12, kPersianRightMargin, 12);
    else
        m_barLayout->setContentsMargins(20, 12, 10, 12);
    m_edit->setMinimumWidth(0);
    m_edit->setMaximumWidth(QWIDGETSIZE_MAX);
    m_edit->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    m_clear->setStyleSheet(QLatin1String(persian ? kButtonStyle : kEnglishClearStyle));
    if (persian) {
        m_barLayout->addWidget(m_arrow, 0);
        m_barLayout->addWidget(m_clear, 0);
        m_barLayout->addItem(m_spacer);
        m_spacerInLayout = true;
        m_barLayout->addWidget(m_edit, 1);
        m_barLayout->addWidget(m_glass, 0);
    } else {
        m_barLayout->addWidget(m_glass, 0);
        m_barLayout->addWidget(m_edit, 1);
        m_barLayout->addWidget(m_clear, 0);
        m_barLayout->addWidget(m_arrow, 0);
    }
}

void HeaderSearch::onTextChanged(const QString &text)
{
    const QString trimmed = text.trimmed();
    m_clear->setVisible(!trimmed.isEmpty());
    if (trimmed.isEmpty()) {
        closePopup();
        return;
    }
    setBarStyle(true);
    m_popup->move(m_bar->mapToGlobal(QPoint(0, m_bar->height())));
    m_popup->show();
    m_popup->raise();
    m_edit->setFocus(Qt::OtherFocusReason);
    m_debounce->start();
}

void HeaderSearch::runSearch()
{
    const QString query = m_edit->text().trimmed();
    if (query.isEmpty())
        return;
    if (m_loaded && !m_games.isEmpty()) {
        fillResults(query);
        return;
    }
    // One catalogue request at a time; its reply fills for whatever is typed then.
    if (m_gamesPending || !m_client)
        return;
    m_gamesPending = true;
    QPointer<HeaderSearch> self(this);
    m_client->send(ServiceApi::Endpoint::Games, [self](const ServiceApi::Reply &reply) {
        if (self)
            self->onGamesReply(reply);
    });
}

void HeaderSearch::onGamesReply(const ServiceApi::Reply &reply)
{
    m_gamesPending = false;
    // A body that does not parse gives a null document, which holds no list.
    QJsonArray games;
    if (!selectGamesArray(reply.document(), &games))
        return;
    // Every keystroke walks the list: it is held to the catalogue's bounds.
    m_games = ReplyBounds::bound(games, ReplyBounds::gameRules(), nullptr);
    m_loaded = true;
    fillResults(m_edit->text().trimmed());
}

QPixmap HeaderSearch::defaultIcon() const
{
    QPixmap icon(QStringLiteral(":/icons/game.svg"));
    if (icon.isNull()) {
        icon = QPixmap(kLogoSize);
        icon.fill(Qt::transparent);
    }
    return icon.scaled(kLogoSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

void HeaderSearch::fillResults(const QString &query)
{
    if (!m_results)
        return;
    m_results->clear();
    if (query.isEmpty())
        return;
    const QIcon fallback(defaultIcon());
    const ServiceConfig config = m_client ? m_client->config() : ServiceConfig();
    int rows = 0;
    for (const QJsonValue &value : std::as_const(m_games)) {
        const QJsonObject game = value.toObject();
        const QString name = game.value(QStringLiteral("name")).toString();
        if (name.isEmpty() || !name.contains(query, Qt::CaseInsensitive))
            continue;
        auto *item = new QListWidgetItem(name);
        item->setData(Qt::DecorationRole, fallback);
        item->setData(kTitleRole, name);
        const QString logo = gameLogoUrl(game, config);
        item->setData(kLogoRole, logo);
        m_results->addItem(item);
        if (ServiceConfig::isWebAddress(QUrl(logo))) {
            const QString key = logoCacheKey(logo);
            QPixmap cached;
            const QString file = m_cacheFolder + QLatin1Char('/') + logoFileName(logo);
            if (QPixmapCache::find(key, &cached) && !cached.isNull()) {
                item->setData(Qt::DecorationRole, QIcon(cached));
            } else if (QFileInfo::exists(file) && cached.load(file) && !cached.isNull()) {
                cached = scaledLogo(cached);
                QPixmapCache::insert(key, cached);
                item->setData(Qt::DecorationRole, QIcon(cached));
            } else {
                requestLogo(logo);
            }
        }
        if (++rows == kMaxRows)
            break;
    }
    if (m_results->count() > 0)
        m_results->setCurrentRow(0);
}

void HeaderSearch::requestLogo(const QString &url)
{
    if (!m_client || m_logosPending.contains(url))
        return;
    m_logosPending.insert(url);
    QPointer<HeaderSearch> self(this);
    m_client->get(ServiceApi::imageRequest(QUrl(url)), [self, url](const ServiceApi::Reply &reply) {
        if (self)
            self->onLogoReply(reply, url);
    });
}

void HeaderSearch::onLogoReply(const ServiceApi::Reply &reply, const QString &url)
{
    m_logosPending.remove(url);
    if (!m_results || reply.body.isEmpty())
        return;
    QPixmap pixmap;
    if (!pixmap.loadFromData(reply.body) || pixmap.isNull())
        return;
    pixmap = scaledLogo(pixmap);
    QPixmapCache::insert(logoCacheKey(url), pixmap);
    if (QDir().mkpath(m_cacheFolder)) {
        const QString name = logoFileName(url);
        const QByteArray format = QFileInfo(name).suffix().toLatin1();
        const bool known = QImageWriter::supportedImageFormats().contains(format);
        pixmap.save(m_cacheFolder + QLatin1Char('/') + name, known ? format.constData() : "PNG");
    }
    const QIcon icon(pixmap);
    for (int i = 0; i < m_results->count(); ++i) {
        QListWidgetItem *item = m_results->item(i);
        if (item->data(kLogoRole).toString() == url)
            item->setData(Qt::DecorationRole, icon);
    }
    m_results->viewport()->update();
}

void HeaderSearch::openResult(QListWidgetItem *item)
{
    if (!item)
        return;
    const QString title = item->data(kTitleRole).toString();
    const QString logo = item->data(kLogoRole).toString();
    if (title.trimmed().isEmpty())
        return;
    m_edit->clear();
    closePopup();
    emit gameOpened(title, logo);
}

void HeaderSearch::openCurrentResult()
{
    if (m_results && m_results->count() > 0)
        openResult(m_results->currentItem());
}

void HeaderSearch::clearText()
{
    m_edit->clear();
    m_edit->setFocus(Qt::OtherFocusReason);
}

void HeaderSearch::focusEdit()
{
    m_edit->setFocus(Qt::OtherFocusReason);
}

void HeaderSearch::closePopup()
{
    if (m_popup && m_popup->isVisible())
        m_popup->hide();
    setBarStyle(false);
}

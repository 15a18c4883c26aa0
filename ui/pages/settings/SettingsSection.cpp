#include "ui/pages/settings/SettingsSection.h"

#include "i18n/Language.h"
#include "i18n/TranslationManager.h"
#include "ui/pages/common/PageWidgets.h"
#include "ui/pages/settings/SettingsControls.h"
#include "ui/pages/settings/SettingsStore.h"
#include "ui/widgets/DecorativeWidgets.h"
#include "ui/widgets/Palette.h"
#include "ui/widgets/QxSelectPopup.h"

#include <QFont>
#include <QGraphicsDropShadowEffect>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

using namespace SettingsControls;
using namespace SettingsSelectField;
using PageWidgets::interFont;

namespace {

const QString kLanguageKey = QStringLiteral("settings/ui_language");
const QString kWindowSizeKey = QStringLiteral("settings/window_size");
const QString kEnglish = QStringLiteral("en-US");
const QString kDesignSize = QStringLiteral("(1440 x 810)");
const QString kEnglishLabel = QStringLiteral("English(EN-US)");
const QString kDesignSizeLabel = QStringLiteral("1440*810");
const QString kRowTextSheet = QStringLiteral("color: " QX_WHITE ";background: transparent;font-family: Inter;"
                                             "font-size: 14px;font-weight: 400;line-height: 20px;");

using Language::windowText;

void setupCard(GradientBorderCard *card)
{
    card->setRadius(20);
    card->setBorderWidth(1);
    card->setFillColor(QColor(QStringLiteral(QX_PANEL)));
    card->setBorderGradient(QColor(QStringLiteral(QX_BORDER)), QColor(QStringLiteral(QX_PANEL)), 0.4205);
}

QLabel *rowText(QWidget *card, const QString &name, const QString &text)
{
    auto *label = new QLabel(text, card);
    label->setObjectName(name);
    label->setFont(interFont(14, QFont::Normal));
    label->setStyleSheet(kRowTextSheet);
    label->setLayoutDirection(Qt::LeftToRight);
    label->setAlignment(Qt::AlignLeft | Qt::AlignAbsolute | Qt::AlignVCenter);
    return label;
}

// A switch row's text: the given width first, then fitted to the text.
QLabel *switchRowText(QWidget *card, const QString &name, const QString &text, int y, int width)
{
    QLabel *label = rowText(card, name, text);
    label->setGeometry(80, y, width, 22);
    label->adjustSize();
    return label;
}

// A select or button row's text at the card's left, 22 high.
QLabel *plainRowText(QWidget *card, const QString &name, const QString &text, int y)
{
    QLabel *label = rowText(card, name, text);
    label->move(20, y);
    label->setFixedHeight(22);
    label->adjustSize();
    return label;
}

void divider(QWidget *card, const char *name, int y)
{
    auto *line = new QWidget(card);
    line->setObjectName(QLatin1String(name));
    line->setAttribute(Qt::WA_StyledBackground, true);
    line->setStyleSheet(
        QStringLiteral("QWidget#%1 { background: " QX_GREY_PRESSED "; }").arg(QLatin1String(name)));
    line->setGeometry(20, y, card->width() - 40, 1);
}

// The row's info icon after its text (at a fixed y when one is given).
QLabel *infoAfter(QWidget *card, const QString &name, QLabel *text, const QString &tooltip, int fixedY = -1)
{
    const int y = fixedY >= 0 ? fixedY : text->y() + (text->height() - 21) / 2;
    QLabel *icon = makeInfoIcon(card, name, text->x() + text->width() + 8, y);
    setInfoTooltip(icon, tooltip);
    return icon;
}

} // namespace

// The rows of the cards' switches, as they are laid out.
struct SwitchRowSpec
{
    const char *stem;
    const char *key;
    bool defaultOn;
    int y;
    const char *text;
    int textWidth;
    const char *tooltip;
    int iconY; // -1: centred on the text
};

namespace {

const SwitchRowSpec kBehaviorRows[] = {
    {"SettingsStartup", "settings/toggle_launch_on_windows_startup", true, 85,
     QT_TRANSLATE_NOOP("MainWindow", "Launch on Window startup"), 180,
     QT_TRANSLATE_NOOP("MainWindow", "Quorlyx starts automatically when you boot up\nyour PC"), 87},
    {"SettingsTray", "settings/toggle_minimize_to_tray_on_close", true, 149,
     QT_TRANSLATE_NOOP("MainWindow", "Minimize to tray on close"), 180,
     QT_TRANSLATE_NOOP("MainWindow", "Closing the window keeps Quorlyx running\nin the background."), 151},
};

const SwitchRowSpec kNotificationRows[] = {
    {"SettingsNotifConn", "settings/toggle_notify_connection_start", false, 85,
     QT_TRANSLATE_NOOP("MainWindow", "Receive an alert when a connection start"), 420,
     QT_TRANSLATE_NOOP("MainWindow", "Get notified when an Quorlyx connection starts."), -1},
    {"SettingsNotifServer", "settings/toggle_notify_server_unavailable", true, 149,
     QT_TRANSLATE_NOOP("MainWindow", "Receive server unavailable alerts"), 320,
     QT_TRANSLATE_NOOP("MainWindow", "Get notified if your server goes down."), -1},
};

const SwitchRowSpec kOptimizationRows[] = {
    {"SettingsOptRealtime", "settings/toggle_realtime_optimization", false, 85,
     QT_TRANSLATE_NOOP("MainWindow", "Real-time Optimization"), 260,
     QT_TRANSLATE_NOOP("MainWindow",
                       "Monitors your network in real time and automatically switches routes when a "
                       "better path is detected."),
     -1},
    {"SettingsOptSmart", "settings/toggle_smart_optimization", true, 149,
     QT_TRANSLATE_NOOP("MainWindow", "Smart optimization"), 260,
     QT_TRANSLATE_NOOP("MainWindow",
                       "Ignores routes with low performance potential, focusing only on those that can "
                       "truly improve your connection. This makes optimization faster and more "
                       "efficient."),
     -1},
    {"SettingsOptDualRoutes", "settings/toggle_use_dual_routes", true, 213,
     QT_TRANSLATE_NOOP("MainWindow", "Use dual routes"), 260,
     QT_TRANSLATE_NOOP("MainWindow",
                       "Your connection gains an extra bridge along the way, allowing you to reach "
                       "your destination faster and reduce ping, but this additional hop may increase "
                       "the chance of packet loss."),
     -1},
};

const SwitchRowSpec kAdvancedRows[] = {
    {"SettingsAdvHardware", "settings/toggle_hardware_data_monitoring", true, 85,
     QT_TRANSLATE_NOOP("MainWindow", "Hardwera data monitoring"), 420,
     QT_TRANSLATE_NOOP("MainWindow", "Show the PC performance on the home page (CPU, GPU, RAM)."), -1},
    {"SettingsAdvShortcut", "settings/toggle_shortcut_restart_all_connections", false, 149,
     QT_TRANSLATE_NOOP("MainWindow", "Shortcut to restart all connecttion"), 420,
     QT_TRANSLATE_NOOP("MainWindow", "When you press the shortcut, the connecttion\nwill quickly restart."),
     -1},
};

// The four select fields: where they sit, their icon rule and their choices.
struct SelectRow
{
    const char *stem;
    const char *key;
    const char *defaultValue;
    QRect box;
    const char *icon;
    int iconSize, iconLeft, iconGap;
    const char *initialText;
    QStringList names;
};

const SelectRow &selectRow(SettingsSection::Select which)
{
    static const SelectRow rows[] = {
        {"SettingsOptAccuracy",
         "settings/route_accuracy_level",
         "High",
         QRect(480, 267, 140, 43),
         "",
         22,
         0,
         0,
         QT_TRANSLATE_NOOP("MainWindow", "High"),
         {QStringLiteral("Low"), QStringLiteral("Medium"), QStringLiteral("High")}},
        {"SettingsOptRouteProtocol",
         "settings/route_analysis_protocol",
         "Automatic",
         QRect(420, 331, 200, 43),
         ":/icons/icons8_hierarchy_96px_1.png",
         22,
         0,
         0,
         QT_TRANSLATE_NOOP("MainWindow", "Automatic"),
         {QStringLiteral("Automatic"), QStringLiteral("ICMP"), QStringLiteral("TCP"), QStringLiteral("UDP"),
          QStringLiteral("UDP/TCP")}},
        {"SettingsOptIpVersion",
         "settings/ip_version_for_route_analysis",
         "Automatic",
         QRect(420, 395, 200, 43),
         ":/icons/icons8_hierarchy_96px_1_1.png",
         44,
         44,
         6,
         QT_TRANSLATE_NOOP("MainWindow", "Automatic"),
         {QStringLiteral("Automatic"), QStringLiteral("IPv4"), QStringLiteral("IPv6")}},
        {"SettingsAdvRedirect",
         "settings/packet_redirection_method",
         "Automatic",
         QRect(420, 203, 200, 43),
         ":/icons/marpixh_1.png",
         44,
         0,
         0,
         QT_TRANSLATE_NOOP("MainWindow", "Automatic"),
         {QStringLiteral("Automatic"), QStringLiteral("WinDivert")}},
    };
    return rows[which];
}

} // namespace

SettingsSection::SettingsSection(QWidget *rootFrame, QWidget *popupParent, SettingsStore *store,
                                 TranslationManager *translations, int windowWidth, QObject *parent)
    : QObject(parent), m_rootFrame(rootFrame), m_popupParent(popupParent), m_store(store),
      m_translations(translations)
{
    const auto build = [this, windowWidth] {
        buildResetButton(windowWidth);
        buildPreferencesCard();
        reconcilePreferences();
        buildBehaviorCard();
        buildNotificationsCard();
        buildOptimizationCard();
        buildAdvancedCard();
    };
    // On a first start the cards store every option's default as they read
    // it: one commit for all of them.
    if (m_store)
        m_store->inOneBatch(build);
    else
        build();
}

void SettingsSection::buildResetButton(int windowWidth)
{
    m_resetButton = new QPushButton(QStringLiteral("Reset  default"), m_rootFrame);
    m_resetButton->setObjectName(QStringLiteral("SettingsResetDefaultButton"));
    m_resetButton->setFont(interFont(12, QFont::Medium));
    // The text keeps 10 px to the right edge; the left padding is left out
    // because the text would otherwise not fit the 98 px and lose its "R".
    m_resetButton->setStyleSheet(QStringLiteral(
        "QPushButton#SettingsResetDefaultButton { background: transparent; color: " QX_WHITE
        "; border: 1px solid " QX_BORDER
        "; border-radius: 8px; padding-left: 0px; padding-right: 10px; text-align: right; }"
        "QPushButton#SettingsResetDefaultButton:hover, QPushButton#SettingsResetDefaultButton:pressed { "
        "border-color: " QX_GREY_HOVER "; }"));
    m_resetButton->setCursor(Qt::PointingHandCursor);
    m_resetButton->setFocusPolicy(Qt::NoFocus);
    m_resetButton->setDefault(false);
    m_resetButton->setAutoDefault(false);
    m_resetButton->setGeometry(windowWidth - 20 - 98, 97, 98, 34);
    m_resetButton->hide();
    m_resetButton->raise();
    connect(m_resetButton, &QPushButton::clicked, this, &SettingsSection::resetPreferences);
}

void SettingsSection::buildPreferencesCard()
{
    m_preferencesCard = new GradientBorderCard(m_rootFrame);
    m_preferencesCard->setObjectName(QStringLiteral("SettingsPreferencesCard"));
    setupCard(m_preferencesCard);
    m_preferencesCard->setGeometry(120, 154, 1300, 102);
    m_preferencesCard->hide();

    auto *title = new QLabel(QStringLiteral("Preferences"), m_preferencesCard);
    title->setObjectName(QStringLiteral("SettingsPreferencesTitle"));
    title->setFont(interFont(20, QFont::DemiBold));
    title->setStyleSheet(
        QStringLiteral("QLabel#SettingsPreferencesTitle { background: transparent; color: " QX_WHITE "; }"));
    title->adjustSize();
    title->setGeometry(20, 40, title->width(), 28);

    const QFont boxFont = interFont(14, QFont::Normal);
    auto box = [&](const char *name, const QRect &geometry) {
        auto *w = new QWidget(m_preferencesCard);
        w->setObjectName(QLatin1String(name));
        w->setAttribute(Qt::WA_StyledBackground, true);
        w->setGeometry(geometry);
        w->setProperty("qxClosedStyle",
                       QStringLiteral("QWidget#%1 {  background: " QX_RAISED ";  border-radius: 6px;}")
                           .arg(QLatin1String(name)));
        w->setProperty("qxOpenStyle",
                       QStringLiteral("QWidget#%1 {  background: " QX_RAISED
                                      ";  border-top-left-radius: 6px;  "
                                      "border-top-right-radius: 6px;  border-bottom-left-radius: 0px;  "
                                      "border-bottom-right-radius: 0px;}")
                           .arg(QLatin1String(name)));
        w->setStyleSheet(w->property("qxClosedStyle").toString());
        return w;
    };
    auto boxText = [&](QWidget *parent, const char *name, const QString &text, const QRect &geometry) {
        auto *label = new QLabel(text, parent);
        label->setObjectName(QLatin1String(name));
        label->setFont(boxFont);
        label->setStyleSheet(QStringLiteral("QLabel#%1 { background: transparent; color: " QX_WHITE "; }")
                                 .arg(QLatin1String(name)));
        label->setAlignment(Qt::AlignLeft | Qt::AlignAbsolute | Qt::AlignVCenter);
        label->setGeometry(geometry);
        return label;
    };

    m_languageBox = box("SettingsLangBox", QRect(862, 31, 200, 43));
    PageWidgets::pictureLabel(m_languageBox, QStringLiteral("SettingsLangIcon"),
                              QStringLiteral(":/icons/language.png"), QSize(48, 48))
        ->move(8, -2);
    m_languageText =
        boxText(m_languageBox, "SettingsLangText", kEnglishLabel, QRect(58, 0, 200 - 58 - 38, 43));
    PageWidgets::pictureLabel(m_languageBox, QStringLiteral("SettingsLangCaret"),
                              QStringLiteral(":/icons/caret-down.png"), QSize(16, 16))
        ->move(200 - 12 - 16, 13);

    auto *line = new QWidget(m_preferencesCard);
    line->setObjectName(QStringLiteral("SettingsPrefsDivider"));
    line->setAttribute(Qt::WA_StyledBackground, true);
    line->setStyleSheet(QStringLiteral("QWidget#SettingsPrefsDivider { background: " QX_GREY_PRESSED "; }"));
    line->setGeometry(1090, 35, 1, 33);
    auto *shadow = new QGraphicsDropShadowEffect(line);
    shadow->setOffset(0, 4);
    shadow->setBlurRadius(4);
    shadow->setColor(QColor(0, 0, 0, 64));
    line->setGraphicsEffect(shadow);

    m_screenBox = box("SettingsScreenBox", QRect(1300 - 20 - 162, 31, 162, 43));
    PageWidgets::pictureLabel(m_screenBox, QStringLiteral("SettingsScreenIcon"),
                              QStringLiteral(":/icons/screnn.png"), QSize(80, 41))
        ->move(-12, 1);
    PageWidgets::pictureLabel(m_screenBox, QStringLiteral("SettingsScreenCaret"),
                              QStringLiteral(":/icons/caret-down.png"), QSize(16, 16))
        ->move(134, 13);
    m_screenText =
        boxText(m_screenBox, "SettingsScreenText", kDesignSizeLabel, QRect(50, 0, 162 - 50 - 28, 43));

    m_languagePopup = new QxSelectPopup(m_popupParent);
    m_screenPopup = new QxSelectPopup(m_popupParent);
    for (QxSelectPopup *popup : {m_languagePopup, m_screenPopup})
        applyDefaultSelectStyle(popup, 58);
    m_languagePopup->setItems({{QString(), kEnglishLabel}});
    m_screenPopup->setItems({{QStringLiteral("Max."), kDesignSizeLabel}});
    m_languagePopup->setOnSelected([this](int index) { selectLanguage(index); });
    m_screenPopup->setOnSelected([this](int index) { selectWindowSize(index); });
    for (auto [popup, boxWidget] :
         {std::pair{m_languagePopup, m_languageBox}, std::pair{m_screenPopup, m_screenBox}}) {
        QPointer<QWidget> guarded(boxWidget);
        const QString closed = boxWidget->property("qxClosedStyle").toString();
        popup->setOnHidden([guarded, closed] { restoreSelectFieldStyle(guarded, closed); });
    }
    addOptionHitArea(this, m_languageBox,
                     [this] { togglePreferenceSelectPopup(m_languagePopup, m_screenPopup, m_languageBox); });
    addOptionHitArea(this, m_screenBox,
                     [this] { togglePreferenceSelectPopup(m_screenPopup, m_languagePopup, m_screenBox); });
}

void SettingsSection::reconcilePreferences()
{
    // The window size for this run was chosen from the stored option before
    // anything was built; from here on the design size is what is stored.
    m_screenPopup->setCheckedIndex(0);
    // Written only when it differs: the stored text ends up the same, and a
    // start spares itself a synchronous disk write.
    if (m_store && m_store->readOrInit(kWindowSizeKey, kDesignSize) != kDesignSize)
        m_store->write(kWindowSizeKey, kDesignSize);
    m_screenText->setText(kDesignSizeLabel);

    // A stored Persian language is put back to English for the next start;
    // the running language stays as the start-up applied it.
    const QString language = readDbSetting(m_store, kLanguageKey, kEnglish);
    if (language.contains(QLatin1String("fa"), Qt::CaseInsensitive) && m_store)
        m_store->write(kLanguageKey, kEnglish);
    m_languagePopup->setCheckedIndex(0);
    m_languageText->setText(kEnglishLabel);
}

void SettingsSection::selectLanguage(int)
{
    if (m_store)
        m_store->write(kLanguageKey, kEnglish);
    if (m_translations)
        m_translations->setLanguage(kEnglish, false);
    m_languageText->setText(kEnglishLabel);
    m_languagePopup->setCheckedIndex(0);
}

void SettingsSection::selectWindowSize(int)
{
    if (m_store)
        m_store->write(kWindowSizeKey, kDesignSize);
    m_screenText->setText(kDesignSizeLabel);
    m_screenPopup->setCheckedIndex(0);
}

void SettingsSection::resetPreferences()
{
    if (m_store) {
        m_store->write(kLanguageKey, kEnglish);
        m_store->write(kWindowSizeKey, kDesignSize);
    }
    if (m_translations)
        m_translations->setLanguage(kEnglish, false);
    m_languageText->setText(kEnglishLabel);
    m_screenText->setText(kDesignSizeLabel);
    m_languagePopup->setCheckedIndex(0);
    m_screenPopup->setCheckedIndex(0);
}

void SettingsSection::togglePreferenceSelectPopup(QxSelectPopup *popup, QxSelectPopup *other, QWidget *box)
{
    if (other && other->isVisible())
        other->hide();
    if (popup->isVisible()) {
        popup->hide();
        return;
    }
    box->setStyleSheet(box->property("qxOpenStyle").toString());
    popup->showBelow(box, 0);
}

GradientBorderCard *SettingsSection::makeCard(const char *name, const char *titleName, const QString &title,
                                              const QRect &geometry)
{
    auto *card = new GradientBorderCard(m_rootFrame);
    card->setObjectName(QLatin1String(name));
    setupCard(card);
    card->setGeometry(geometry);
    card->hide();
    auto *label = new QLabel(title, card);
    label->setObjectName(QLatin1String(titleName));
    label->setFont(interFont(16, QFont::DemiBold));
    label->setStyleSheet(QStringLiteral("color: " QX_WHITE
                                        ";background: transparent;font-family: Inter;font-size: 16px;"
                                        "font-weight: 600;line-height: 24px;"));
    label->setGeometry(20, 20, geometry.width() - 40, 24);
    label->setLayoutDirection(Qt::LeftToRight);
    label->setAlignment(Qt::AlignLeft | Qt::AlignAbsolute | Qt::AlignVCenter);
    return card;
}

void SettingsSection::buildBehaviorCard()
{
    m_behaviorCard = makeCard("SettingsLeftSectionCard", "SettingsLeftSectionTitle",
                              windowText("Application behavior"), QRect(120, 279, 640, 209));
    const NamedToggle toggles[] = {toggleStartupSwitch, toggleTraySwitch};
    for (int i = 0; i < 2; ++i) {
        const SwitchRowSpec &row = kBehaviorRows[i];
        const QString stem = QLatin1String(row.stem);
        m_switches.insert(stem, makeNamedSwitch(m_behaviorCard, stem, QLatin1String(row.key), row.defaultOn,
                                                20, row.y, m_store, this, toggles[i]));
        QLabel *text = switchRowText(m_behaviorCard, stem + QLatin1String("Text"), windowText(row.text),
                                     row.y, row.textWidth);
        infoAfter(m_behaviorCard, stem + QLatin1String("HelpIcon"), text, windowText(row.tooltip), row.iconY);
        if (i == 0)
            divider(m_behaviorCard, "SettingsLeftRowDivider", 127);
    }
}

void SettingsSection::buildNotificationsCard()
{
    m_notificationsCard = makeCard("SettingsRightSectionCard", "SettingsRightSectionTitle",
                                   windowText("Notifications"), QRect(780, 279, 640, 209));
    const NamedToggle toggles[] = {toggleNotifConnSwitch, toggleNotifServerSwitch};
    for (int i = 0; i < 2; ++i) {
        const SwitchRowSpec &row = kNotificationRows[i];
        const QString stem = QLatin1String(row.stem);
        m_switches.insert(stem, makeNamedSwitch(m_notificationsCard, stem, QLatin1String(row.key),
                                                row.defaultOn, 20, row.y, m_store, this, toggles[i]));
        QLabel *text = switchRowText(m_notificationsCard, stem + QLatin1String("Text"), windowText(row.text),
                                     row.y, row.textWidth);
        QLabel *icon =
            infoAfter(m_notificationsCard, stem + QLatin1String("HelpIcon"), text, windowText(row.tooltip));
        if (i == 0) {
            divider(m_notificationsCard, "SettingsRightRowDivider", 127);
        } else {
            QLabel *badge = makeRecommendedBadge(
                m_notificationsCard, QStringLiteral("SettingsNotifRecommendedBadge"), "MainWindow");
            placeBadge(m_notificationsCard, icon, badge, text->y() + text->height() / 2);
            // Inline rule: the badge's top at the text's centre less half its height.
            badge->move(badge->x(), text->y() + (text->height() - badge->height()) / 2);
        }
    }
}

void SettingsSection::buildOptimizationCard()
{
    m_optimizationCard = makeCard("SettingsBottomLeftSectionCard", "SettingsBottomLeftSectionTitle",
                                  windowText("Optimization"), QRect(120, 508, 640, 451));
    QWidget *card = m_optimizationCard;
    const char *dividers[] = {"SettingsOptDivider1", "SettingsOptDivider2", "SettingsOptDivider3"};
    for (int i = 0; i < 3; ++i) {
        const SwitchRowSpec &row = kOptimizationRows[i];
        const QString stem = QLatin1String(row.stem);
        QLabel *text = addFactorySwitchRow(card, row);
        QLabel *icon = infoAfter(card, stem + QLatin1String("HelpIcon"), text, windowText(row.tooltip));
        if (i > 0) {
            QLabel *badge = makeRecommendedBadge(card, stem + QLatin1String("RecommendedBadge"));
            placeBadge(card, icon, badge, text->y() + text->height() / 2);
        }
        divider(card, dividers[i], 127 + 64 * i);
    }

    QLabel *accuracy = plainRowText(card, QStringLiteral("SettingsOptAccuracyText"),
                                    windowText("Optimization accuracy level"), 277);
    infoAfter(
        card, QStringLiteral("SettingsOptAccuracyHelpIcon"), accuracy,
        windowText("Higher precision optimization checks more paths to lock in the best route but can take a "
                   "bit longer."));
    divider(card, "SettingsOptDivider4", 319);
    plainRowText(card, QStringLiteral("SettingsOptRouteProtocolText"), windowText("Route analysis protocol"),
                 341);
    divider(card, "SettingsOptDivider5", 383);
    plainRowText(card, QStringLiteral("SettingsOptIpVersionText"),
                 windowText("IP version for route analysis"), 405);

    for (Select which : {Accuracy, RouteProtocol, IpVersion})
        buildSelect(which, card);
    for (Select which : {Accuracy, RouteProtocol, IpVersion})
        wireSelect(which);
}

void SettingsSection::buildAdvancedCard()
{
    m_advancedCard = makeCard("SettingsBottomRightSectionCard", "SettingsBottomRightSectionTitle",
                              windowText("Advanced option"), QRect(780, 508, 640, 327));
    QWidget *card = m_advancedCard;
    for (int i = 0; i < 2; ++i) {
        const SwitchRowSpec &row = kAdvancedRows[i];
        const QString stem = QLatin1String(row.stem);
        QLabel *text = addFactorySwitchRow(card, row);
        infoAfter(card, stem + QLatin1String("HelpIcon"), text, windowText(row.tooltip));
        divider(card, i == 0 ? "SettingsAdvDivider1" : "SettingsAdvDivider2", 127 + 64 * i);
    }

    QLabel *redirect =
        plainRowText(card, QStringLiteral("SettingsAdvRedirectText"), windowText("Redirection method"), 213);
    infoAfter(
        card, QStringLiteral("SettingsAdvRedirectHelpIcon"), redirect,
        windowText(
            "Defines how Quorlyx redirects and optimizes your\nnetwork data.\n\nAutomatic: Quorlyx chooses "
            "the "
            "most suitable method.\n\nWFP: Current method compatible with all features.\n\nWinDivert: Packet "
            "interception/redirect method."));
    buildSelect(Redirect, card);
    wireSelect(Redirect);
    divider(card, "SettingsAdvDivider3", 255);

    QLabel *network = plainRowText(card, QStringLiteral("SettingsAdvWindowsNetText"),
                                   windowText("Windows network settings"), 277);
    infoAfter(card, QStringLiteral("SettingsAdvWindowsNetHelpIcon"), network,
              windowText("Resets your system's network settings\nto default."));
    // Kept as designed: the button has no action.
    m_resetNetworkButton = new QPushButton(windowText("Reset network settings"), card);
    m_resetNetworkButton->setObjectName(QStringLiteral("SettingsAdvResetNetworkButton"));
    m_resetNetworkButton->setFont(interFont(14, QFont::Normal));
    m_resetNetworkButton->setStyleSheet(
        QStringLiteral("QPushButton#SettingsAdvResetNetworkButton { color: " QX_WHITE
                       "; background: transparent; border: 1px "
                       "solid " QX_BORDER "; border-radius: 8px; padding-left: 12px; padding-right: 12px; }"
                       "QPushButton#SettingsAdvResetNetworkButton:hover { border-color: " QX_GREY_HOVER
                       "; background: transparent; }"
                       "QPushButton#SettingsAdvResetNetworkButton:pressed { background: transparent; }"));
    m_resetNetworkButton->setFixedSize(200, 43);
    m_resetNetworkButton->move(card->width() - 20 - 200, 267);
    m_resetNetworkButton->setCursor(Qt::PointingHandCursor);
}

QLabel *SettingsSection::addFactorySwitchRow(QWidget *card, const SwitchRowSpec &row)
{
    const QString stem = QLatin1String(row.stem);
    m_switches.insert(stem, makeSettingsSwitch(card, stem + QLatin1String("SwitchTrack"),
                                               stem + QLatin1String("SwitchKnob"),
                                               stem + QLatin1String("SwitchHit"), QLatin1String(row.key),
                                               row.defaultOn, 20, row.y, m_store));
    return switchRowText(card, stem + QLatin1String("Text"), windowText(row.text), row.y, row.textWidth);
}

void SettingsSection::buildSelect(Select which, QWidget *card)
{
    const SelectRow &row = selectRow(which);
    const QString stem = QLatin1String(row.stem);
    m_fields[which] = makeSelectField(
        interFont(14, QFont::Normal), kRowTextSheet, card, stem + QLatin1String("SelectBox"), row.box.x(),
        row.box.y(), row.box.width(), row.box.height(), QLatin1String(row.icon), windowText(row.initialText),
        stem + QLatin1String("SelectIcon"), stem + QLatin1String("SelectText"),
        stem + QLatin1String("SelectCaret"), row.iconSize, row.iconLeft, row.iconGap);
    m_popups[which] = new QxSelectPopup(m_popupParent);
    // The rows' text lines up with the value in the box.
    applyDefaultSelectStyle(m_popups[which], std::max(14, m_fields[which].text->x()));
    QList<QxPopupRow::Texts> items;
    for (const QString &name : row.names)
        items.append({QString(), name});
    m_popups[which]->setItems(items);
    showStoredSelect(which);
}

void SettingsSection::showStoredSelect(Select which)
{
    const SelectRow &row = selectRow(which);
    const QString value = readDbSetting(m_store, QLatin1String(row.key), QLatin1String(row.defaultValue));
    int index = 0;
    switch (which) {
    case Accuracy:
        index = indexAmongThree(value, row.names.at(0), row.names.at(1), row.names.at(2));
        break;
    case RouteProtocol:
        index = routeProtocolIndex(value);
        break;
    case IpVersion:
        index = indexAmongThree(value, row.names.at(0), row.names.at(1), row.names.at(2));
        break;
    case Redirect:
        index = value.compare(QLatin1String("WinDivert"), Qt::CaseInsensitive) == 0 ? 1 : 0;
        // The legacy method is no longer offered; it becomes "Automatic".
        if (index == 0 && value.compare(QLatin1String("NDIS (legacy)"), Qt::CaseInsensitive) == 0 && m_store)
            m_store->write(QLatin1String(row.key), QStringLiteral("Automatic"));
        break;
    }
    m_popups[which]->setCheckedIndex(index);
    m_fields[which].text->setText(choiceName(row.names, index));
}

void SettingsSection::wireSelect(Select which)
{
    QxSelectPopup *popup = m_popups[which];
    QPointer<QWidget> box(m_fields[which].box);
    const QString closed = box->property("qxClosedStyle").toString();
    popup->setOnHidden([box, closed] { restoreSelectFieldStyle(box, closed); });
    popup->setOnSelected([this, which](int index) { chooseSelect(which, index); });
    addOptionHitArea(this, box, [this, which] { toggleSelect(which); });
}

void SettingsSection::chooseSelect(Select which, int index)
{
    const SelectRow &row = selectRow(which);
    choose({QLatin1String(row.key), row.names}, index, m_fields[which], m_popups[which], m_store);
}

void SettingsSection::toggleSelect(Select which)
{
    // The Optimization card's three close together; the redirection popup is
    // not among them, so its own toggle closes it when it is open.
    toggleSelectPopup(m_popups[which], m_fields[which].box,
                      {m_popups[Accuracy], m_popups[RouteProtocol], m_popups[IpVersion]});
}

void SettingsSection::hideOptionPopups()
{
    SettingsSelectField::hideOptionPopups({m_popups[Accuracy], m_popups[RouteProtocol], m_popups[IpVersion]});
}

// The Setting section on a plain root frame over the real cache database:
// switches and what they store, info icons and badges, the select fields'
// stored values, popups and looks, and the Preferences card.

#include "i18n/TranslationManager.h"
#include "resources/BundledFonts.h"
#include "storage/DatabaseManager.h"
#include "support/WindowFixture.h"
#include "ui/pages/settings/SettingsControls.h"
#include "ui/pages/settings/SettingsSection.h"
#include "ui/pages/settings/SettingsStore.h"
#include "ui/widgets/HoverFilters.h"
#include "ui/widgets/PaintedWidgetTest.h"
#include "ui/widgets/QxSelectPopup.h"

#include <QDir>
#include <QEnterEvent>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTranslator>

#include <memory>

namespace {

struct SwitchKey
{
    const char *stem;
    const char *key;
    bool defaultOn;
};

// The nine switches in the order of the cards, with their defaults.
const SwitchKey kSwitches[] = {
    {"SettingsStartup", "settings/toggle_launch_on_windows_startup", true},
    {"SettingsTray", "settings/toggle_minimize_to_tray_on_close", true},
    {"SettingsNotifConn", "settings/toggle_notify_connection_start", false},
    {"SettingsNotifServer", "settings/toggle_notify_server_unavailable", true},
    {"SettingsOptRealtime", "settings/toggle_realtime_optimization", false},
    {"SettingsOptSmart", "settings/toggle_smart_optimization", true},
    {"SettingsOptDualRoutes", "settings/toggle_use_dual_routes", true},
    {"SettingsAdvHardware", "settings/toggle_hardware_data_monitoring", true},
    {"SettingsAdvShortcut", "settings/toggle_shortcut_restart_all_connections", false},
};

QString stored(const QString &key)
{
    QString value;
    if (!DatabaseManager::instance()->tryGetMetadata(key, &value))
        return QStringLiteral("<none>");
    return value;
}

void store(const QString &key, const QString &value)
{
    QVERIFY(DatabaseManager::instance()->setMetadata(key, value));
}

// Writes that fail, as a full disk would make them.
class FailingStore : public MetadataSettingsStore
{
public:
    bool write(const QString &, const QString &) override { return false; }
    bool writeBool(const QString &, bool) override { return false; }
};

// The database's store, noting how the section reads and stores through it.
class BatchWatchingStore : public MetadataSettingsStore
{
public:
    int batches = 0;
    int outsideBatch = 0; // reads and writes made outside a batch

    void inOneBatch(const std::function<void()> &work) override
    {
        ++batches;
        m_inBatch = true;
        MetadataSettingsStore::inOneBatch(work);
        m_inBatch = false;
    }
    QString readOrInit(const QString &key, const QString &defaultValue) override
    {
        outsideBatch += !m_inBatch;
        return MetadataSettingsStore::readOrInit(key, defaultValue);
    }
    bool readBool(const QString &key, bool defaultValue) override
    {
        outsideBatch += !m_inBatch;
        return MetadataSettingsStore::readBool(key, defaultValue);
    }
    bool write(const QString &key, const QString &value) override
    {
        outsideBatch += !m_inBatch;
        return MetadataSettingsStore::write(key, value);
    }

private:
    bool m_inBatch = false;
};

// The section on a root frame in a shown window of the design size.
struct Page
{
    std::unique_ptr<QWidget> window;
    QWidget *frame = nullptr;
    SettingsSection *section = nullptr;

    Page(SettingsStore *store, TranslationManager *translations = nullptr, int width = 1440)
    {
        window = std::make_unique<QWidget>();
        window->resize(width, 810);
        frame = new QWidget(window.get());
        frame->setObjectName(QStringLiteral("WindowFrame"));
        frame->setGeometry(0, 0, width, 1100);
        section = new SettingsSection(frame, window.get(), store, translations, width, window.get());
        for (QWidget *w : {static_cast<QWidget *>(section->resetButton()),
                           static_cast<QWidget *>(section->preferencesCard()),
                           static_cast<QWidget *>(section->behaviorCard()),
                           static_cast<QWidget *>(section->notificationsCard()),
                           static_cast<QWidget *>(section->optimizationCard()),
                           static_cast<QWidget *>(section->advancedCard())})
            w->show();
    }
    void show()
    {
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }
    template <typename T = QWidget> T *named(const QString &name) const
    {
        return frame->findChild<T *>(name);
    }
    QPushButton *hitOf(const char *stem) const { return section->switchHit(QLatin1String(stem)); }
};

} // namespace

class TestSettingsSection : public QObject
{
    Q_OBJECT

private:
    int m_folder = 0;
    MetadataSettingsStore m_store;

private slots:
    void initTestCase() { registerBundledFonts(); }

    void init()
    {
        PaintedWidgetTest::failOnPainterWarnings();
        QVERIFY(WindowFixture::openDatabase(QStringLiteral("settings%1").arg(++m_folder)));
    }

    void firstStartStoresEveryOption()
    {
        // Every default is read and stored within one batch: one commit.
        BatchWatchingStore watching;
        Page page(&watching);
        QCOMPARE(watching.batches, 1);
        QCOMPARE(watching.outsideBatch, 0);
        for (const SwitchKey &s : kSwitches) {
            QCOMPARE(stored(QLatin1String(s.key)), s.defaultOn ? QStringLiteral("1") : QStringLiteral("0"));
            QCOMPARE(page.hitOf(s.stem)->property("on").toBool(), s.defaultOn);
            QCOMPARE(page.named(QLatin1String(s.stem) + QLatin1String("SwitchKnob"))->pos(),
                     s.defaultOn ? QPoint(21, 3) : QPoint(3, 3));
        }
        QCOMPARE(stored(QStringLiteral("settings/route_accuracy_level")), QStringLiteral("High"));
        QCOMPARE(stored(QStringLiteral("settings/route_analysis_protocol")), QStringLiteral("Automatic"));
        QCOMPARE(stored(QStringLiteral("settings/ip_version_for_route_analysis")),
                 QStringLiteral("Automatic"));
        QCOMPARE(stored(QStringLiteral("settings/packet_redirection_method")), QStringLiteral("Automatic"));
        QCOMPARE(page.section->selectField(SettingsSection::Accuracy).text->text(), QStringLiteral("High"));
        QCOMPARE(page.section->selectPopup(SettingsSection::Accuracy)->checkedIndex(), 2);
        // Both Preferences keys are written too: thirteen option keys in all
        // (the two Preferences keys besides).
        QCOMPARE(stored(QStringLiteral("settings/ui_language")), QStringLiteral("en-US"));
        QCOMPARE(stored(QStringLiteral("settings/window_size")), QStringLiteral("(1440 x 810)"));
    }

    void storedSwitchText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("shown");
        QTest::addColumn<QString>("after");
        // The real-time switch defaults to off, so "on" can only come from the text.
        QTest::newRow("TRUE with blanks") << " TRUE " << true << " TRUE ";
        QTest::newRow("Yes") << "Yes" << true << "Yes";
        QTest::newRow("no") << "no" << false << "no";
        QTest::newRow("maybe reads as the default") << "maybe" << false << "0";
        QTest::newRow("empty reads as the default") << "" << false << "0";
    }
    void storedSwitchText()
    {
        QFETCH(QString, text);
        QFETCH(bool, shown);
        QFETCH(QString, after);
        store(QStringLiteral("settings/toggle_realtime_optimization"), text);
        Page page(&m_store);
        QCOMPARE(page.hitOf("SettingsOptRealtime")->property("on").toBool(), shown);
        QCOMPARE(stored(QStringLiteral("settings/toggle_realtime_optimization")), after);
    }

    void clickFlipsItsOwnKey_data()
    {
        QTest::addColumn<int>("row");
        for (int i = 0; i < int(std::size(kSwitches)); ++i)
            QTest::newRow(kSwitches[i].stem) << i;
    }
    void clickFlipsItsOwnKey()
    {
        QFETCH(int, row);
        const SwitchKey &s = kSwitches[row];
        Page page(&m_store);
        page.show();
        QPushButton *hit = page.hitOf(s.stem);
        QWidget *knob = page.named(QLatin1String(s.stem) + QLatin1String("SwitchKnob"));
        QCOMPARE(hit->geometry(), QRect(0, 0, 40, 22));
        // The corner of the track beside the knob: the hit button lies above all.
        QWidget *track = page.named(QLatin1String(s.stem) + QLatin1String("SwitchTrack"));
        QCOMPARE(track->size(), QSize(40, 22));
        QCOMPARE(track->childAt(38, 20), hit);
        QCOMPARE(track->childAt(25, 10), hit);
        QTest::mouseClick(hit, Qt::LeftButton, Qt::NoModifier, QPoint(38, 20));
        const bool on = !s.defaultOn;
        QCOMPARE(hit->property("on").toBool(), on);
        QCOMPARE(knob->pos(), on ? QPoint(21, 3) : QPoint(3, 3));
        QCOMPARE(stored(QLatin1String(s.key)), on ? QStringLiteral("1") : QStringLiteral("0"));
        // Only its own key changed.
        for (const SwitchKey &other : kSwitches) {
            if (&other != &s)
                QCOMPARE(stored(QLatin1String(other.key)),
                         other.defaultOn ? QStringLiteral("1") : QStringLiteral("0"));
        }
    }

    void rowTextDoesNotToggle()
    {
        Page page(&m_store);
        page.show();
        auto *text = page.named<QLabel>(QStringLiteral("SettingsOptSmartText"));
        QTest::mouseClick(text, Qt::LeftButton, Qt::NoModifier, QPoint(5, text->height() / 2));
        QVERIFY(page.hitOf("SettingsOptSmart")->property("on").toBool());
        QCOMPARE(stored(QStringLiteral("settings/toggle_smart_optimization")), QStringLiteral("1"));
    }

    void quickClicksEndStoredAsShown()
    {
        Page page(&m_store);
        page.show();
        QPushButton *hit = page.hitOf("SettingsTray");
        QTest::mouseClick(hit, Qt::LeftButton);
        QTest::mouseClick(hit, Qt::LeftButton);
        QTest::mouseClick(hit, Qt::LeftButton);
        QCOMPARE(hit->property("on").toBool(), false);
        QCOMPARE(stored(QStringLiteral("settings/toggle_minimize_to_tray_on_close")), QStringLiteral("0"));
    }

    void withoutOrFailingStoreClicksStillFlip_data()
    {
        QTest::addColumn<bool>("failing");
        QTest::newRow("no database") << false;
        QTest::newRow("writes fail") << true;
    }
    void withoutOrFailingStoreClicksStillFlip()
    {
        QFETCH(bool, failing);
        FailingStore failingStore;
        Page page(failing ? static_cast<SettingsStore *>(&failingStore) : nullptr);
        page.show();
        QPushButton *hit = page.hitOf("SettingsOptSmart");
        QVERIFY(hit->property("on").toBool());
        QTest::mouseClick(hit, Qt::LeftButton);
        QVERIFY(!hit->property("on").toBool());
        QCOMPARE(page.named(QStringLiteral("SettingsOptSmartSwitchKnob"))->pos(), QPoint(3, 3));
        // Only a missing key is stored with its default on the way in (when
        // there is a database); the click stored nothing.
        QCOMPARE(stored(QStringLiteral("settings/toggle_smart_optimization")),
                 failing ? QStringLiteral("1") : QStringLiteral("<none>"));
        // The choice of a select field shows, but is not stored either.
        page.section->chooseSelect(SettingsSection::RouteProtocol, 3);
        QCOMPARE(page.section->selectField(SettingsSection::RouteProtocol).text->text(),
                 QStringLiteral("UDP"));
        QVERIFY(stored(QStringLiteral("settings/route_analysis_protocol")) != QStringLiteral("UDP"));
    }

    void infoIconTurnsWhiteAndShowsTheCard()
    {
        Page page(&m_store);
        page.show();
        auto *icon = page.named<QLabel>(QStringLiteral("SettingsOptSmartHelpIcon"));
        QVERIFY(icon->toolTip().isEmpty());
        QCOMPARE(icon->size(), QSize(21, 21));
        const QImage normal = icon->pixmap().toImage();
        QVERIFY(!normal.isNull());
        QEnterEvent enter(QPointF(10, 10), QPointF(10, 10), icon->mapToGlobal(QPointF(10, 10)));
        QApplication::sendEvent(icon, &enter);
        const QImage hovered = icon->pixmap().toImage();
        // The brightest pixel of the hover picture is white; of the normal one dark.
        auto brightest = [](const QImage &image) {
            int best = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    if (qAlpha(image.pixel(x, y)) > 200)
                        best = std::max(best, qGray(image.pixel(x, y)));
            return best;
        };
        QVERIFY(brightest(hovered) > 240);
        QVERIFY(brightest(normal) < 60);
        TooltipHoverFilter *tooltip = nullptr;
        for (QObject *child : icon->children()) {
            if (auto *filter = dynamic_cast<TooltipHoverFilter *>(child))
                tooltip = filter;
        }
        QVERIFY(tooltip);
        QTRY_VERIFY(tooltip->popup() && tooltip->popup()->isVisible());
        QVERIFY(tooltip->popup()->label()->text().contains(QStringLiteral("Ignores routes")));
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(icon, &leave);
        QCOMPARE(icon->pixmap().toImage(), normal);
    }

    void badgesBesideTheirIcons()
    {
        Page page(&m_store);
        for (const char *stem : {"SettingsOptSmart", "SettingsOptDualRoutes"}) {
            auto *icon = page.named(QLatin1String(stem) + QLatin1String("HelpIcon"));
            auto *badge = page.named<QLabel>(QLatin1String(stem) + QLatin1String("RecommendedBadge"));
            QVERIFY(badge);
            QCOMPARE(badge->x(), icon->x() + icon->width() + 8);
            QCOMPARE(badge->height(), 24);
        }
        auto *badge = page.named<QLabel>(QStringLiteral("SettingsNotifRecommendedBadge"));
        auto *icon = page.named(QStringLiteral("SettingsNotifServerHelpIcon"));
        QCOMPARE(badge->x(), icon->x() + icon->width() + 8);
    }

    void badgePlacement_data()
    {
        QTest::addColumn<int>("anchorX");
        QTest::addColumn<int>("badgeWidth");
        QTest::addColumn<int>("x");
        // Card 640 wide (limit 620), anchor 21 wide.
        QTest::newRow("room after the anchor") << 300 << 100 << 329;
        QTest::newRow("just fits after") << 491 << 100 << 520;
        QTest::newRow("near the right edge: before it") << 560 << 100 << 452;
        QTest::newRow("before would start left of 20") << 60 << 600 << 20;
    }
    void badgePlacement()
    {
        QFETCH(int, anchorX);
        QFETCH(int, badgeWidth);
        QFETCH(int, x);
        QWidget card;
        card.resize(640, 200);
        QWidget anchor(&card);
        anchor.setGeometry(anchorX, 100, 21, 21);
        QWidget badge(&card);
        badge.resize(badgeWidth, 24);
        SettingsControls::placeBadge(&card, &anchor, &badge, 110);
        QCOMPARE(badge.pos(), QPoint(x, 98));
    }

    void storedSelectValue_data()
    {
        QTest::addColumn<int>("field");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("after");
        QTest::newRow("IPv6 in lower case")
            << int(SettingsSection::IpVersion) << "settings/ip_version_for_route_analysis"
            << "ipv6"
            << "IPv6" << 2 << "ipv6";
        QTest::newRow("accuracy unknown") << int(SettingsSection::Accuracy) << "settings/route_accuracy_level"
                                          << "bogus"
                                          << "Low" << 0 << "bogus";
        QTest::newRow("accuracy medium") << int(SettingsSection::Accuracy) << "settings/route_accuracy_level"
                                         << "MEDIUM"
                                         << "Medium" << 1 << "MEDIUM";
        QTest::newRow("protocol udp/tcp")
            << int(SettingsSection::RouteProtocol) << "settings/route_analysis_protocol"
            << "udp/tcp"
            << "UDP/TCP" << 4 << "udp/tcp";
        QTest::newRow("legacy redirection")
            << int(SettingsSection::Redirect) << "settings/packet_redirection_method"
            << "ndis (LEGACY)"
            << "Automatic" << 0 << "Automatic";
        QTest::newRow("WFP redirection kept")
            << int(SettingsSection::Redirect) << "settings/packet_redirection_method"
            << "WFP"
            << "Automatic" << 0 << "WFP";
        QTest::newRow("windivert") << int(SettingsSection::Redirect) << "settings/packet_redirection_method"
                                   << "windivert"
                                   << "WinDivert" << 1 << "windivert";
    }
    void storedSelectValue()
    {
        QFETCH(int, field);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QString, shown);
        QFETCH(int, row);
        QFETCH(QString, after);
        store(key, value);
        Page page(&m_store);
        const auto which = SettingsSection::Select(field);
        QCOMPARE(page.section->selectField(which).text->text(), shown);
        QCOMPARE(page.section->selectPopup(which)->checkedIndex(), row);
        QCOMPARE(stored(key), after);
    }

    void fieldIconRule_data()
    {
        QTest::addColumn<int>("field");
        QTest::addColumn<QRect>("icon");
        QTest::addColumn<int>("textX");
        QTest::newRow("accuracy: no icon") << int(SettingsSection::Accuracy) << QRect() << 14;
        QTest::newRow("protocol (22, 0, 0)")
            << int(SettingsSection::RouteProtocol) << QRect(12, 10, 22, 22) << 44;
        QTest::newRow("IP version (44, 44, 6)")
            << int(SettingsSection::IpVersion) << QRect(3, 3, 37, 37) << 44;
        QTest::newRow("redirection (44, 0, 0)")
            << int(SettingsSection::Redirect) << QRect(12, 3, 37, 37) << 59;
    }
    void fieldIconRule()
    {
        QFETCH(int, field);
        QFETCH(QRect, icon);
        QFETCH(int, textX);
        Page page(&m_store);
        const auto which = SettingsSection::Select(field);
        const SettingsSelectField::Widgets &widgets = page.section->selectField(which);
        QCOMPARE(widgets.icon ? widgets.icon->geometry() : QRect(), icon);
        QCOMPARE(widgets.text->x(), textX);
        QCOMPARE(widgets.caret->geometry(), QRect(widgets.box->width() - 28, 13, 16, 16));
        const QxSelectPopupStyle &style = page.section->selectPopup(which)->popupStyle();
        QCOMPARE(style.rowHeight, 43);
        QCOMPARE(style.rowPaddingLeft, textX);
        QVERIFY(style.attached);
        QVERIFY(!page.section->selectPopup(which)->isVisible());
    }

    void choiceStoresTheEnglishName()
    {
        // A catalogue that marks every text: the field's initial text is
        // translated, the stored and shown choice is not.
        struct Marking : QTranslator
        {
            QString translate(const char *, const char *source, const char *, int) const override
            {
                return QStringLiteral("~") + source;
            }
        } marking;
        QCoreApplication::installTranslator(&marking);
        Page page(&m_store);
        QCoreApplication::removeTranslator(&marking);
        QCOMPARE(page.named<QLabel>(QStringLiteral("SettingsOptRealtimeText"))->text(),
                 QStringLiteral("~Real-time Optimization"));
        page.show();
        page.section->toggleSelect(SettingsSection::RouteProtocol);
        QxSelectPopup *popup = page.section->selectPopup(SettingsSection::RouteProtocol);
        QVERIFY(popup->isVisible());
        QTest::mouseClick(popup->rows().at(3), Qt::LeftButton);
        QVERIFY(!popup->isVisible());
        QCOMPARE(stored(QStringLiteral("settings/route_analysis_protocol")), QStringLiteral("UDP"));
        const SettingsSelectField::Widgets &widgets =
            page.section->selectField(SettingsSection::RouteProtocol);
        QCOMPARE(widgets.text->text(), QStringLiteral("UDP"));
        QCOMPARE(popup->checkedIndex(), 3);
        QCOMPARE(widgets.box->styleSheet(), widgets.box->property("qxClosedStyle").toString());
    }

    void openingOneFieldClosesTheOthers()
    {
        Page page(&m_store);
        page.show();
        SettingsSection *s = page.section;
        s->toggleSelect(SettingsSection::Accuracy);
        QVERIFY(s->selectPopup(SettingsSection::Accuracy)->isVisible());
        s->toggleSelect(SettingsSection::RouteProtocol);
        QVERIFY(!s->selectPopup(SettingsSection::Accuracy)->isVisible());
        QVERIFY(s->selectPopup(SettingsSection::RouteProtocol)->isVisible());
        QWidget *accuracyBox = s->selectField(SettingsSection::Accuracy).box;
        QCOMPARE(accuracyBox->styleSheet(), accuracyBox->property("qxClosedStyle").toString());
        // An Optimization field's toggle always ends with its own popup open.
        s->toggleSelect(SettingsSection::RouteProtocol);
        QVERIFY(s->selectPopup(SettingsSection::RouteProtocol)->isVisible());
        // The redirection popup is not among them: its toggle closes it.
        s->toggleSelect(SettingsSection::Redirect);
        QVERIFY(s->selectPopup(SettingsSection::Redirect)->isVisible());
        QVERIFY(!s->selectPopup(SettingsSection::RouteProtocol)->isVisible());
        s->toggleSelect(SettingsSection::Redirect);
        QVERIFY(!s->selectPopup(SettingsSection::Redirect)->isVisible());
        QWidget *box = s->selectField(SettingsSection::Redirect).box;
        QCOMPARE(box->styleSheet(), box->property("qxClosedStyle").toString());
    }

    void openSheetFollowsTheSide_data()
    {
        QTest::addColumn<int>("windowY");
        QTest::addColumn<bool>("up");
        QTest::newRow("room below") << 0 << false;
        QTest::newRow("near the screen's bottom") << 1080 - 1100 + 200 << true;
    }
    void openSheetFollowsTheSide()
    {
        QFETCH(int, windowY);
        QFETCH(bool, up);
        Page page(&m_store);
        // The IP version box sits at frame y 903: move the window so it lands
        // near the bottom of the 1080-high screen, or well above it.
        page.window->move(0, up ? 1080 - 903 - 60 : windowY);
        page.show();
        SettingsSection *s = page.section;
        s->toggleSelect(SettingsSection::IpVersion);
        QxSelectPopup *popup = s->selectPopup(SettingsSection::IpVersion);
        QVERIFY(popup->isVisible());
        QCOMPARE(popup->popupStyle().openUp, up);
        QWidget *box = s->selectField(SettingsSection::IpVersion).box;
        QCOMPARE(box->styleSheet(), box->property(up ? "qxOpenUpStyle" : "qxOpenStyle").toString());
        popup->hide();
        QCOMPARE(box->styleSheet(), box->property("qxClosedStyle").toString());
    }

    void preferencesReconciledAtEveryStart_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("languageAfter");
        QTest::newRow("FA") << "FA"
                            << "en-US";
        QTest::newRow("fa-IR") << "fa-IR"
                               << "en-US";
        QTest::newRow("en-US") << "en-US"
                               << "en-US";
        QTest::newRow("something else kept") << "de-DE"
                                             << "de-DE";
    }
    void preferencesReconciledAtEveryStart()
    {
        QFETCH(QString, language);
        QFETCH(QString, languageAfter);
        store(QStringLiteral("settings/ui_language"), language);
        store(QStringLiteral("settings/window_size"), QStringLiteral("(1080 x 608)"));
        TranslationManager translations;
        translations.setLanguage(QStringLiteral("fa-IR"), false);
        Page page(&m_store, &translations);
        QCOMPARE(stored(QStringLiteral("settings/ui_language")), languageAfter);
        QCOMPARE(stored(QStringLiteral("settings/window_size")), QStringLiteral("(1440 x 810)"));
        QCOMPARE(translations.currentLanguage(), QStringLiteral("fa-IR"));
        QCOMPARE(page.section->languageText()->text(), QStringLiteral("English(EN-US)"));
        QCOMPARE(page.section->screenText()->text(), QStringLiteral("1440*810"));
        QCOMPARE(page.section->languagePopup()->checkedIndex(), 0);
        QCOMPARE(page.section->screenPopup()->checkedIndex(), 0);
    }

    void languageRowSwitchesToEnglishOnce()
    {
        TranslationManager translations;
        translations.setLanguage(QStringLiteral("fa-IR"), false);
        Page page(&m_store, &translations);
        page.show();
        QSignalSpy changes(&translations, &TranslationManager::languageChanged);
        page.section->togglePreferenceSelectPopup(page.section->languagePopup(), page.section->screenPopup(),
                                                  page.section->languageBox());
        QVERIFY(page.section->languagePopup()->isVisible());
        QTest::mouseClick(page.section->languagePopup()->rows().at(0), Qt::LeftButton);
        QCOMPARE(changes.count(), 1);
        QCOMPARE(changes.at(0).at(0).toString(), QStringLiteral("en-US"));
        QCOMPARE(stored(QStringLiteral("settings/ui_language")), QStringLiteral("en-US"));
        QVERIFY(!page.section->languagePopup()->isVisible());
    }

    void onePreferencePopupClosesTheOther()
    {
        Page page(&m_store);
        page.show();
        SettingsSection *s = page.section;
        QTest::mouseClick(s->languageBox()->findChild<QPushButton *>(QStringLiteral("SettingsLangBoxHit")),
                          Qt::LeftButton);
        QVERIFY(s->languagePopup()->isVisible());
        QCOMPARE(s->languageBox()->styleSheet(), s->languageBox()->property("qxOpenStyle").toString());
        QTest::mouseClick(s->screenBox()->findChild<QPushButton *>(QStringLiteral("SettingsScreenBoxHit")),
                          Qt::LeftButton);
        QVERIFY(!s->languagePopup()->isVisible());
        QVERIFY(s->screenPopup()->isVisible());
        QCOMPARE(s->languageBox()->styleSheet(), s->languageBox()->property("qxClosedStyle").toString());
        QCOMPARE(s->screenBox()->styleSheet(), s->screenBox()->property("qxOpenStyle").toString());
        // The same box again closes its popup.
        s->togglePreferenceSelectPopup(s->screenPopup(), s->languagePopup(), s->screenBox());
        QVERIFY(!s->screenPopup()->isVisible());
    }

    void resetWritesBothAndSwitchesToEnglish_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("buttonX");
        QTest::newRow("design window") << 1440 << 1322;
        QTest::newRow("small window") << 1080 << 962;
    }
    void resetWritesBothAndSwitchesToEnglish()
    {
        QFETCH(int, width);
        QFETCH(int, buttonX);
        TranslationManager translations;
        Page page(&m_store, &translations, width);
        page.show();
        QCOMPARE(page.section->resetButton()->geometry(), QRect(buttonX, 97, 98, 34));
        // The text fits inside the border and the right padding.
        QPushButton *reset = page.section->resetButton();
        QVERIFY(reset->fontMetrics().horizontalAdvance(reset->text()) <= 98 - 2 - 10);
        translations.setLanguage(QStringLiteral("fa-IR"), false);
        store(QStringLiteral("settings/ui_language"), QStringLiteral("fa-IR"));
        store(QStringLiteral("settings/window_size"), QStringLiteral("(1080 x 608)"));
        page.section->languageText()->setText(QString());
        QTest::mouseClick(page.section->resetButton(), Qt::LeftButton);
        QCOMPARE(stored(QStringLiteral("settings/ui_language")), QStringLiteral("en-US"));
        QCOMPARE(stored(QStringLiteral("settings/window_size")), QStringLiteral("(1440 x 810)"));
        QCOMPARE(translations.currentLanguage(), QStringLiteral("en-US"));
        QCOMPARE(page.section->languageText()->text(), QStringLiteral("English(EN-US)"));
    }

    void resetNetworkButtonChangesNothing()
    {
        Page page(&m_store);
        page.show();
        const QString before = stored(QStringLiteral("settings/packet_redirection_method"));
        QTest::mouseClick(page.section->resetNetworkButton(), Qt::LeftButton);
        QCOMPARE(stored(QStringLiteral("settings/packet_redirection_method")), before);
        for (const SwitchKey &s : kSwitches)
            QCOMPARE(page.hitOf(s.stem)->property("on").toBool(), s.defaultOn);
        QCOMPARE(page.section->resetNetworkButton()->geometry(), QRect(420, 267, 200, 43));
    }

    void paintsWithoutComplaint()
    {
        Page page(&m_store);
        page.show();
        PaintedWidgetTest::paint(*page.frame);
    }
};

QTEST_MAIN(TestSettingsSection)
#include "tst_settingssection.moc"

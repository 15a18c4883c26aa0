// The header's game search on a plain window against the fake service: the
// debounce, matching, result rows and logos, opening a result, dismissing the
// drop-down, and the bar's two language layouts.

#include "WindowAgainstFake.h"
#include "services/ServiceClient.h"
#include "support/PainterWarnings.h"
#include "support/fakeservice/FakeService.h"
#include "support/fakeservice/LoopbackGuard.h"
#include "ui/mainwindow/HeaderSearch.h"

#include <QApplication>
#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QHBoxLayout>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPixmapCache>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpacerItem>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>

namespace {

QJsonArray gamesNamed(const QStringList &names, const QString &logoFolder = QStringLiteral("/uploads/logos/"))
{
    QJsonArray games;
    for (const QString &name : names)
        games.append(QJsonObject{{"name", name}, {"logo", logoFolder + name.toLower() + ".png"}});
    return games;
}

QStringList rowTitles(QListWidget *list)
{
    QStringList titles;
    for (int i = 0; i < list->count(); ++i)
        titles << list->item(i)->data(HeaderSearch::kTitleRole).toString();
    return titles;
}

// Counts the key presses that reach a widget.
class KeyCounter : public QObject
{
public:
    int presses = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress)
            ++presses;
        return false;
    }
};

void press(QWidget *target, const QPoint &local)
{
    const QPoint global = target->mapToGlobal(local);
    QMouseEvent event(QEvent::MouseButtonPress, QPointF(local), QPointF(global), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

} // namespace

class TestHeaderSearch : public QObject
{
    Q_OBJECT

private:
    FakeService m_fake;
    QTemporaryDir m_cache;
    std::unique_ptr<QWidget> m_window;
    QWidget *m_elsewhere = nullptr;
    ServiceClient *m_client = nullptr;
    HeaderSearch *m_search = nullptr;

    void build(bool persian = false)
    {
        m_window = std::make_unique<QWidget>();
        m_window->resize(900, 400);
        auto *header = new QWidget(m_window.get());
        auto *row = new QHBoxLayout(header);
        m_elsewhere = new QWidget(m_window.get());
        m_elsewhere->setGeometry(600, 300, 100, 50);
        const QUrl origin = m_fake.origin();
        m_client = new ServiceClient(
            ServiceConfig(origin, origin, origin, origin), [] { return ServiceApi::Credentials{}; },
            m_window.get());
        m_search = new HeaderSearch(header, m_window.get(), m_client, m_cache.path(), 20, m_window.get());
        m_search->place(persian);
        row->addWidget(m_search->bar());
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    void type(const QString &text) { m_search->edit()->setText(text); }
    int gamesRequests() const { return m_fake.requestCount(QStringLiteral("/api/games")); }

private slots:
    void initTestCase()
    {
        LoopbackGuard::install();
        QVERIFY(m_fake.listen());
        QVERIFY(m_cache.isValid());
    }
    void init()
    {
        TestSupport::failOnPainterWarnings();
        m_fake.clearRequests();
        m_fake.clearScripts();
        m_fake.setGames(gamesNamed({"Abc", "xAB", "Zed"}));
        QPixmapCache::clear();
        QDir(m_cache.path()).removeRecursively();
    }
    // A download a test set going reaches the fake during that test, not
    // after the next one cleared the record.
    void cleanup()
    {
        if (m_client)
            QTRY_VERIFY(WindowAgainstFake::nothingInFlight(m_client));
        m_window.reset();
        m_client = nullptr;
    }
    void cleanupTestCase() { QCOMPARE(LoopbackGuard::violations(), QList<QUrl>()); }

    void searchesAfterTheDebounceOnly()
    {
        build();
        type(QStringLiteral("ab"));
        QVERIFY(m_search->popup()->isVisible());
        QVERIFY(m_search->clearButton()->isVisible());
        QVERIFY(m_search->bar()->styleSheet().contains("border-bottom-left-radius: 0px"));
        QCOMPARE(gamesRequests(), 0);
        QTRY_COMPARE(rowTitles(m_search->results()), (QStringList{"Abc", "xAB"}));
        QCOMPARE(gamesRequests(), 1);
        QCOMPARE(m_search->results()->currentRow(), 0);
    }

    void blankTextStaysClosed()
    {
        build();
        type(QStringLiteral("   "));
        QVERIFY(!m_search->popup()->isVisible());
        QVERIFY(!m_search->clearButton()->isVisible());
        QTest::qWait(80);
        QCOMPARE(gamesRequests(), 0);
    }

    void atMostSixRowsAndEnterOpensTheFirst()
    {
        QStringList names;
        for (int i = 0; i < 10; ++i)
            names << QStringLiteral("Match %1").arg(i);
        m_fake.setGames(gamesNamed(names));
        build();
        QSignalSpy opened(m_search, &HeaderSearch::gameOpened);
        type(QStringLiteral("match"));
        QTRY_COMPARE(m_search->results()->count(), 6);
        QCOMPARE(m_search->results()->currentRow(), 0);
        // All six rows fit the drop-down: no scroll bar would reach a hidden one.
        m_search->popup()->layout()->activate();
        QVERIFY(m_search->results()->visualItemRect(m_search->results()->item(5)).bottom() <
                m_search->results()->viewport()->height());
        QTest::keyClick(m_search->edit(), Qt::Key_Return);
        QCOMPARE(opened.count(), 1);
        QCOMPARE(opened.first().value(0).toString(), QStringLiteral("Match 0"));
        QCOMPARE(opened.first().value(1).toString(),
                 m_fake.origin().toString() + "/uploads/logos/match 0.png");
        // A result clears the text and closes the drop-down.
        QCOMPARE(m_search->edit()->text(), QString());
        QVERIFY(!m_search->popup()->isVisible());
        QVERIFY(!m_search->bar()->styleSheet().contains("border-bottom-left-radius"));
    }

    void enterWithoutRowsOpensNothing()
    {
        build();
        QSignalSpy opened(m_search, &HeaderSearch::gameOpened);
        type(QStringLiteral("nothing like it"));
        QTRY_COMPARE(gamesRequests(), 1);
        QTRY_VERIFY(m_search->gamesLoaded());
        QCOMPARE(m_search->results()->count(), 0);
        QTest::keyClick(m_search->edit(), Qt::Key_Return);
        QCOMPARE(opened.count(), 0);
    }

    // A catalogue reply the search cannot read is dropped and asked for again
    // at the next search; once read, it is never asked for again.
    void unreadableCatalogueIsRetried_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("server error") << 500 << QByteArray("{\"error\":\"down\"}");
        QTest::newRow("not JSON") << 200 << QByteArray("<html>maintenance</html>");
        QTest::newRow("empty list") << 200 << QByteArray("[]");
    }
    void unreadableCatalogueIsRetried()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        build();
        m_fake.script("GET", QStringLiteral("/api/games"), FakeReply::text(body, status, "application/json"));
        type(QStringLiteral("ab"));
        QTRY_COMPARE(gamesRequests(), 1);
        QTest::qWait(60);
        QVERIFY(!m_search->gamesLoaded() || m_search->results()->count() == 0);
        QCOMPARE(m_search->results()->count(), 0);
        m_fake.clearScripts();
        type(QStringLiteral("abc"));
        QTRY_COMPARE(rowTitles(m_search->results()), QStringList{"Abc"});
        QCOMPARE(gamesRequests(), 2);
        type(QStringLiteral("ze"));
        QTRY_COMPARE(rowTitles(m_search->results()), QStringList{"Zed"});
        QCOMPARE(gamesRequests(), 2);
    }

    // Typing on while the catalogue is slow sends no second request, and the
    // rows are those of the text typed by the time it arrives.
    void slowCatalogueFillsForCurrentText()
    {
        build();
        FakeReply slow = FakeReply::json(QJsonObject{{"games", gamesNamed({"Abc", "xAB", "Zed"})}});
        slow.delayMs = 250;
        m_fake.script("GET", QStringLiteral("/api/games"), slow);
        type(QStringLiteral("ab"));
        QTRY_COMPARE(gamesRequests(), 1);
        type(QStringLiteral("zed"));
        QTest::qWait(60);
        QTRY_VERIFY(m_search->gamesLoaded());
        QCOMPARE(rowTitles(m_search->results()), QStringList{"Zed"});
        QCOMPARE(gamesRequests(), 1);
    }

    void logoUrl_data()
    {
        QTest::addColumn<QJsonObject>("game");
        QTest::addColumn<QString>("url"); // "origin" stands for the service's origin
        QTest::newRow("uploads path") << QJsonObject{{"logo", "/uploads/x.png"}} << "origin/uploads/x.png";
        QTest::newRow("absolute https")
            << QJsonObject{{"logo", "https://cdn.example.test/x.png"}} << "https://cdn.example.test/x.png";
        QTest::newRow("cover when no logo")
            << QJsonObject{{"coverImage", "/uploads/c.png"}, {"icon", "/uploads/i.png"}}
            << "origin/uploads/c.png";
        QTest::newRow("icon last") << QJsonObject{{"logo", ""}, {"icon", "/uploads/i.png"}}
                                   << "origin/uploads/i.png";
        QTest::newRow("other scheme kept") << QJsonObject{{"logo", "file:/x"}} << "file:/x";
        QTest::newRow("none") << QJsonObject{{"name", "A"}} << "";
        QTest::newRow("not a string") << QJsonObject{{"logo", 5}} << "";
    }
    void logoUrl()
    {
        QFETCH(QJsonObject, game);
        QFETCH(QString, url);
        const QUrl origin = m_fake.origin();
        const ServiceConfig config(origin, origin, origin, origin);
        url.replace(QLatin1String("origin"), origin.toString());
        QCOMPARE(HeaderSearch::gameLogoUrl(game, config), url);
    }

    // A logo reply lands in memory, on disk at 24 x 24 under the address's
    // MD5 and on the rows; the next search finds it without a download.
    void logoIsCachedAndShown()
    {
        QImage red(64, 48, QImage::Format_ARGB32);
        red.fill(Qt::red);
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        red.save(&buffer, "PNG");
        m_fake.setUpload(QStringLiteral("/uploads/logos/abc.png"), png);
        m_fake.setUpload(QStringLiteral("/uploads/logos/xab.png"), "not an image", "image/png");
        build();
        type(QStringLiteral("ab"));
        QTRY_COMPARE(m_fake.requestCount(QStringLiteral("/uploads/logos/abc.png")), 1);
        QTRY_COMPARE(m_fake.requestCount(QStringLiteral("/uploads/logos/xab.png")), 1);
        const QString url = m_fake.origin().toString() + QStringLiteral("/uploads/logos/abc.png");
        const QString file = m_cache.filePath(
            QString::fromLatin1(QCryptographicHash::hash(url.toUtf8(), QCryptographicHash::Md5).toHex()) +
            ".png");
        QTRY_VERIFY(QFile::exists(file));
        QCOMPARE(QImage(file).size(), QSize(24, 24));
        QCOMPARE(HeaderSearch::logoFileName(url), QFileInfo(file).fileName());
        QPixmap cached;
        QVERIFY(QPixmapCache::find(HeaderSearch::logoCacheKey(url), &cached));
        const QImage shown =
            m_search->results()->item(0)->data(Qt::DecorationRole).value<QIcon>().pixmap(24, 24).toImage();
        QCOMPARE(QColor(shown.pixel(12, 12)), QColor(Qt::red));
        // The non-image keeps the default icon.
        const QImage fallback =
            m_search->results()->item(1)->data(Qt::DecorationRole).value<QIcon>().pixmap(24, 24).toImage();
        QVERIFY(QColor(fallback.pixel(12, 12)) != QColor(Qt::red));
        // Drawn rows paint without warnings.
        QVERIFY(!m_search->popup()->grab().isNull());

        // From memory, then from disk: no second download. Each search's
        // downloads (the non-image is asked for again) end before the counts.
        const auto rowIsRed = [this] {
            const QIcon icon = m_search->results()->item(0)->data(Qt::DecorationRole).value<QIcon>();
            return QColor(icon.pixmap(24, 24).toImage().pixel(12, 12)) == QColor(Qt::red);
        };
        type(QStringLiteral("abc"));
        QTRY_COMPARE(m_search->results()->count(), 1);
        QVERIFY(rowIsRed());
        QPixmapCache::clear();
        type(QStringLiteral("ab"));
        QTRY_COMPARE(m_search->results()->count(), 2);
        QVERIFY(rowIsRed());
        QTRY_VERIFY(WindowAgainstFake::nothingInFlight(m_client));
        QCOMPARE(m_fake.requestCount(QStringLiteral("/uploads/logos/abc.png")), 1);
        QVERIFY(QPixmapCache::find(HeaderSearch::logoCacheKey(url), &cached));
    }

    void logosOnlyOverTheWeb()
    {
        m_fake.setGames(
            QJsonArray{QJsonObject{{"name", "Local"}, {"logo", "file:/x"}}, QJsonObject{{"name", "Bare"}}});
        build();
        type(QStringLiteral("l"));
        QTRY_COMPARE(m_search->results()->count(), 1);
        type(QStringLiteral("a"));
        QTRY_COMPARE(m_search->results()->count(), 2);
        QTRY_VERIFY(WindowAgainstFake::nothingInFlight(m_client));
        QCOMPARE(m_fake.requests().size(), 1); // the catalogue only
    }

    void escapeClosesOnlyWhileOpen()
    {
        build();
        KeyCounter counter;
        m_search->edit()->installEventFilter(&counter);
        type(QStringLiteral("ab"));
        QVERIFY(m_search->popup()->isVisible());
        QTest::keyClick(m_search->edit(), Qt::Key_Escape);
        QVERIFY(!m_search->popup()->isVisible());
        QCOMPARE(counter.presses, 0); // consumed
        QCOMPARE(m_search->edit()->text(), QStringLiteral("ab"));
        QTest::keyClick(m_search->edit(), Qt::Key_Escape);
        QCOMPARE(counter.presses, 1); // closed: the edit has it
    }

    void pressesOutsideDismiss()
    {
        build();
        type(QStringLiteral("ab"));
        QTRY_COMPARE(m_search->results()->count(), 2);
        press(m_search->bar(), QPoint(5, 5));
        press(m_search->edit(), QPoint(5, 5));
        press(m_search->results()->viewport(), QPoint(30, 10));
        QVERIFY(m_search->popup()->isVisible());
        press(m_elsewhere, QPoint(5, 5));
        QVERIFY(!m_search->popup()->isVisible());
        QVERIFY(!m_search->bar()->styleSheet().contains("border-bottom-left-radius"));
        QCOMPARE(m_search->edit()->text(), QStringLiteral("ab"));
    }

    void clickedRowOpensItsGame()
    {
        build();
        QSignalSpy opened(m_search, &HeaderSearch::gameOpened);
        type(QStringLiteral("ab"));
        QTRY_COMPARE(m_search->results()->count(), 2);
        const QRect second = m_search->results()->visualItemRect(m_search->results()->item(1));
        QTest::mouseClick(m_search->results()->viewport(), Qt::LeftButton, {}, second.center());
        QCOMPARE(opened.count(), 1);
        QCOMPARE(opened.first().value(0).toString(), QStringLiteral("xAB"));
        QVERIFY(!m_search->popup()->isVisible());
    }

    void languageLayoutsBothWays()
    {
        build(true);
        auto order = [this] {
            QList<QObject *> parts;
            QLayout *layout = m_search->bar()->layout();
            for (int i = 0; i < layout->count(); ++i) {
                QLayoutItem *item = layout->itemAt(i);
                parts << (item->widget() ? static_cast<QObject *>(item->widget()) : nullptr);
            }
            return parts;
        };
        QWidget *edit = m_search->edit();
        QCOMPARE(order(), (QList<QObject *>{m_search->arrowButton(), m_search->clearButton(), nullptr, edit,
                                            m_search->glass()}));
        QCOMPARE(m_search->bar()->layout()->contentsMargins(), QMargins(10, 12, 20, 12));
        QCOMPARE(m_search->edit()->placeholderText(), QStringLiteral("جستجو"));
        QVERIFY(m_search->edit()->styleSheet().contains("padding-right: 0px"));
        QCOMPARE(QStyle::visualAlignment(Qt::RightToLeft, m_search->edit()->alignment()) &
                     Qt::AlignHorizontal_Mask,
                 Qt::AlignRight | Qt::AlignAbsolute);
        QVERIFY(m_search->persianSpacerInLayout());
        // What is typed shows: the edit's text area keeps room for it.
        type(QStringLiteral("Arena"));
        QCoreApplication::processEvents();
        const QRect cursor = m_search->edit()->inputMethodQuery(Qt::ImCursorRectangle).toRect();
        QVERIFY2(cursor.x() > 0 && cursor.right() <= m_search->edit()->width(),
                 qPrintable(
                     QStringLiteral("cursor at %1 in %2 px").arg(cursor.x()).arg(m_search->edit()->width())));
        type(QString());

        m_search->place(false);
        QCOMPARE(order(), (QList<QObject *>{m_search->glass(), edit, m_search->clearButton(),
                                            m_search->arrowButton()}));
        QCOMPARE(m_search->bar()->layout()->contentsMargins(), QMargins(20, 12, 10, 12));
        QCOMPARE(m_search->edit()->placeholderText(), QStringLiteral("Search"));
        QVERIFY(!m_search->persianSpacerInLayout());
        // Destroyed in English: the spacer outside the layout goes with the area.
    }
};

QTEST_MAIN(TestHeaderSearch)
#include "tst_headersearch.moc"

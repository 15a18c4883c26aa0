// Country flags: bundled pictures first, then the database's cache, then one
// download per country that the cache keeps.

#include "GamesTestSupport.h"
#include "storage/DatabaseManager.h"
#include "support/PainterWarnings.h"
#include "support/fakeservice/FakeService.h"
#include "ui/pages/servers/CountryFlags.h"

#include <QBuffer>
#include <QIcon>
#include <QLabel>
#include <QtTest>

namespace {

// The label's picture shows `flag` centred.
bool showsCentred(const QPixmap &shown, const QPixmap &flag)
{
    const QImage a = shown.toImage().convertToFormat(QImage::Format_ARGB32);
    const QImage b = flag.toImage().convertToFormat(QImage::Format_ARGB32);
    const QPoint offset((a.width() - b.width()) / 2, (a.height() - b.height()) / 2);
    return !flag.isNull() && a.copy(QRect(offset, b.size())) == b;
}

} // namespace

class TestCountryFlags : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    FakeService m_service;
    std::unique_ptr<CountryFlags> m_flags;

    ServiceConfig config() const
    {
        return ServiceConfig(m_service.origin(), m_service.origin(), m_service.origin());
    }

private slots:
    void initTestCase()
    {
        QVERIFY(DatabaseManager::instance()->initialize(m_dir.path()));
        QVERIFY(m_service.listen());
    }
    void init()
    {
        TestSupport::failOnPainterWarnings();
        m_flags = std::make_unique<CountryFlags>(config());
        m_service.clearScripts();
        m_service.clearRequests();
    }

    void bundledFlag_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QSize>("labelSize");
        QTest::addColumn<QSize>("drawn");
        QTest::newRow("spaces around") << " de " << QSize(24, 24) << QSize(24, 24);
        QTest::newRow("capitals") << "DE" << QSize(24, 24) << QSize(24, 24);
        QTest::newRow("label without a size") << "de" << QSize(0, 24) << QSize(16, 16);
    }
    void bundledFlag()
    {
        QFETCH(QString, code);
        QFETCH(QSize, labelSize);
        QFETCH(QSize, drawn);
        QLabel label(QStringLiteral("text"));
        label.resize(labelSize);
        m_flags->loadCountryFlag(&label, code, QStringLiteral("/uploads/de.png"));
        const QPixmap expected = QIcon(QStringLiteral(":/flag-svg/resources/flag-svg/de.svg"))
                                     .pixmap(drawn, QIcon::Normal, QIcon::Off);
        QCOMPARE(label.pixmap().size(), drawn);
        QVERIFY(showsCentred(label.pixmap(), expected));
        QVERIFY(label.text().isEmpty());
        QCOMPARE(m_flags->downloadsStarted(), 0);
    }

    void blankCodeLeavesLabel()
    {
        QLabel label(QStringLiteral("keep"));
        m_flags->loadCountryFlag(&label, QStringLiteral("  "), m_service.url("/uploads/x.png").toString());
        QCOMPARE(label.text(), QStringLiteral("keep"));
        QCOMPARE(m_flags->downloadsStarted(), 0);
    }

    void cachedFlagNeedsNoRequest()
    {
        QVERIFY(
            DatabaseManager::instance()->saveFlagImage(QStringLiteral("Q0"), pngBytes(QSize(8, 8), Qt::red)));
        QLabel label;
        label.resize(24, 24);
        m_flags->loadCountryFlag(&label, QStringLiteral("q0 "), QStringLiteral("/uploads/q0.png"));
        QCOMPARE(label.pixmap().size(), QSize(24, 24));
        QCOMPARE(label.pixmap().toImage().pixelColor(12, 12), QColor(Qt::red));
        QCOMPARE(m_flags->downloadsStarted(), 0);
    }

    // A relative upload path goes to the service; an absolute address is used as it is.
    void downloadIsStoredOnce_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<bool>("absolute");
        QTest::newRow("uploads path") << "Q1" << false;
        QTest::newRow("absolute address") << "Q2" << true;
    }
    void downloadIsStoredOnce()
    {
        QFETCH(QString, code);
        QFETCH(bool, absolute);
        const QString path = QStringLiteral("/uploads/%1.png").arg(code);
        m_service.setUpload(path, pngBytes(QSize(8, 8), Qt::blue));
        const QString address = absolute ? m_service.url(path).toString() : path;
        QSignalSpy stored(m_flags.get(), &CountryFlags::flagStored);
        QLabel label(QStringLiteral("before"));
        label.resize(24, 24);
        m_flags->loadCountryFlag(&label, code, address);
        QCOMPARE(label.text(), QStringLiteral("before"));
        QTRY_COMPARE(stored.size(), 1);
        QCOMPARE(m_service.requestCount(path), 1);
        QCOMPARE(DatabaseManager::instance()->getFlagImage(code), pngBytes(QSize(8, 8), Qt::blue));
        QCOMPARE(label.pixmap().toImage().pixelColor(12, 12), QColor(Qt::blue));

        QLabel again;
        again.resize(16, 16);
        m_flags->loadCountryFlag(&again, code.toLower(), address);
        QCOMPARE(again.pixmap().size(), QSize(16, 16));
        QCOMPARE(m_flags->downloadsStarted(), 1);
    }

    void onlyWebAddressesAreFetched_data()
    {
        QTest::addColumn<QString>("address");
        QTest::newRow("file") << "file:///etc/hostname";
        QTest::newRow("qrc") << "qrc:/flag-svg/resources/flag-svg/de.svg";
        QTest::newRow("blank") << "   ";
        QTest::newRow("other path on no origin") << "relative/x.png";
    }
    void onlyWebAddressesAreFetched()
    {
        QFETCH(QString, address);
        QLabel label(QStringLiteral("keep"));
        m_flags->loadCountryFlag(&label, QStringLiteral("Q3"), address);
        QCOMPARE(m_flags->downloadsStarted(), 0);
        QCOMPARE(label.text(), QStringLiteral("keep"));
    }

    void failedOrEmptyDownloadStoresNothing_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("not found") << 404 << pngBytes(QSize(8, 8), Qt::green);
        QTest::newRow("empty body") << 200 << QByteArray();
    }
    void failedOrEmptyDownloadStoresNothing()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        FakeReply reply;
        reply.status = status;
        reply.body = body;
        reply.contentType = "image/png";
        m_service.script("GET", "/uploads/q4.png", reply);
        QLabel label(QStringLiteral("keep"));
        QSignalSpy stored(m_flags.get(), &CountryFlags::flagStored);
        m_flags->loadCountryFlag(&label, QStringLiteral("Q4"), QStringLiteral("/uploads/q4.png"));
        QTRY_COMPARE(m_service.requestCount("/uploads/q4.png"), 1);
        QTest::qWait(100);
        QCOMPARE(stored.size(), 0);
        QVERIFY(DatabaseManager::instance()->getFlagImage(QStringLiteral("Q4")).isEmpty());
        QCOMPARE(label.text(), QStringLiteral("keep"));
    }

    // Bytes that are no picture are kept, shown nowhere, and fetched again next time.
    void nonImageIsStoredAndRefetched()
    {
        m_service.setUpload("/uploads/q5.png", "<html>not a flag</html>", "text/html");
        QSignalSpy stored(m_flags.get(), &CountryFlags::flagStored);
        QLabel label(QStringLiteral("keep"));
        m_flags->loadCountryFlag(&label, QStringLiteral("Q5"), QStringLiteral("/uploads/q5.png"));
        QTRY_COMPARE(stored.size(), 1);
        QCOMPARE(DatabaseManager::instance()->getFlagImage(QStringLiteral("q5")),
                 QByteArray("<html>not a flag</html>"));
        QCOMPARE(label.text(), QStringLiteral("keep"));
        m_flags->loadCountryFlag(&label, QStringLiteral("Q5"), QStringLiteral("/uploads/q5.png"));
        QTRY_COMPARE(stored.size(), 2);
        QCOMPARE(m_service.requestCount("/uploads/q5.png"), 2);
    }

    void labelGoneMidDownloadStillStores()
    {
        FakeReply reply;
        reply.body = pngBytes(QSize(8, 8), Qt::yellow);
        reply.contentType = "image/png";
        reply.delayMs = 150;
        m_service.script("GET", "/uploads/q6.png", reply);
        QSignalSpy stored(m_flags.get(), &CountryFlags::flagStored);
        auto *label = new QLabel;
        m_flags->loadCountryFlag(label, QStringLiteral("Q6"), QStringLiteral("/uploads/q6.png"));
        delete label;
        QTRY_COMPARE(stored.size(), 1);
        QCOMPARE(DatabaseManager::instance()->getFlagImage(QStringLiteral("Q6")),
                 pngBytes(QSize(8, 8), Qt::yellow));
    }
};

QTEST_MAIN(TestCountryFlags)
#include "tst_countryflags.moc"

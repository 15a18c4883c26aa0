// The last-session card: its figures for a session record, the duration
// text, the empty and filled states, the game logo's sources and its disk
// cache against the fake service, and the Persian texts.

#include "GamesTestSupport.h"
#include "support/PainterWarnings.h"
#include "support/fakeservice/FakeService.h"
#include "ui/pages/home/LastSessionCard.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray png(const QColor &color)
{
    return pngBytes(QSize(8, 8), color);
}

// The first and last columns a label's painting inks (against the colour of
// its top-left pixel), as the label draws itself.
QPair<int, int> inkedColumns(QWidget *label)
{
    const QImage image = label->grab().toImage();
    const QRgb ground = image.pixel(0, 0);
    int first = -1;
    int last = -1;
    for (int x = 0; x < image.width(); ++x) {
        for (int y = 0; y < image.height(); ++y) {
            if (image.pixel(x, y) != ground) {
                if (first < 0)
                    first = x;
                last = x;
                break;
            }
        }
    }
    return {first, last};
}

QRgb centre(const QLabel *label)
{
    const QImage image = label->pixmap().toImage();
    return image.isNull() ? 0 : image.pixel(image.width() / 2, image.height() / 2);
}

} // namespace

class TestLastSessionCard : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(m_fake.listen()); }
    void init()
    {
        TestSupport::failOnPainterWarnings();
        m_fake.clearRequests();
        m_fake.clearScripts();
        m_dir = std::make_unique<QTemporaryDir>();
        m_root = std::make_unique<QWidget>();
        m_root->resize(1440, 1000);
        m_manager = std::make_unique<QNetworkAccessManager>();
        m_card = new LastSessionCard(m_root.get(), 556, ServiceConfig(m_fake.origin(), QUrl(), QUrl()),
                                     m_dir->path(), m_manager.get(), 30000, QStringLiteral("Vazirmatn"),
                                     m_root.get());
    }

    void figures_data();
    void figures();
    void durations_data();
    void durations();
    void blankTitleKeepsTheEmptyState();
    void uploadsLogoIsFetchedOnceAndCached();
    void logosOfTheSameNameKeepTheirOwnFiles();
    void corruptCachedLogoIsFetchedAgain();
    void logosThatAreNotFetched_data();
    void logosThatAreNotFetched();
    void failedReplyKeepsThePreviousImage();
    void persianKeepsPositions();

private:
    SessionData session(const QString &title = QStringLiteral("Arena Strike")) const
    {
        SessionData s;
        s.gameTitle = title;
        return s;
    }
    bool waitForLogo(QSignalSpy &spy, int count)
    {
        return QTest::qWaitFor([&] { return spy.size() >= count; });
    }

    FakeService m_fake;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QWidget> m_root;
    std::unique_ptr<QNetworkAccessManager> m_manager;
    LastSessionCard *m_card = nullptr;
};

void TestLastSessionCard::figures_data()
{
    QTest::addColumn<int>("samples");
    QTest::addColumn<double>("minimum");
    QTest::addColumn<double>("average");
    QTest::addColumn<double>("jitter");
    QTest::addColumn<double>("loss");
    QTest::addColumn<QStringList>("shown");
    QTest::newRow("no samples hide non-zero figures")
        << 0 << 20.0 << 30.0 << 4.0 << 0.0 << QStringList{"--", "--", "--", "0 %"};
    QTest::newRow("no ping yet") << 3 << 999.0 << 0.0 << 0.0 << 0.4 << QStringList{"--", "--", "--", "0 %"};
    QTest::newRow("rounded up") << 3 << 998.6 << 41.5 << 2.5 << 0.5
                                << QStringList{"999 ms", "42 ms", "3 ms", "1 %"};
    QTest::newRow("rounded down") << 7 << 12.4 << 20.49 << 1.2 << 12.3
                                  << QStringList{"12 ms", "20 ms", "1 ms", "12 %"};
}

void TestLastSessionCard::figures()
{
    QFETCH(int, samples);
    QFETCH(double, minimum);
    QFETCH(double, average);
    QFETCH(double, jitter);
    QFETCH(double, loss);
    QFETCH(QStringList, shown);
    SessionData s = session();
    s.sampleCount = samples;
    s.minimumPing = minimum;
    s.averagePing = average;
    s.averageJitter = jitter;
    s.packetLoss = loss;
    s.duration = 75;
    m_card->showLastSession(s);

    QStringList texts;
    for (QLabel *value : m_card->values())
        texts << value->text();
    QCOMPARE(texts, shown);
    QCOMPARE(m_card->gameName()->text(), QStringLiteral("Arena Strike"));
    QCOMPARE(m_card->durationValue()->text(), QStringLiteral("01:15"));
    QVERIFY(!m_card->emptyState()->isVisibleTo(m_root.get()));
    QVERIFY(m_card->gameName()->isVisibleTo(m_root.get()));
    for (QLabel *caption : m_card->captions())
        QVERIFY(caption->isVisibleTo(m_root.get()));
}

void TestLastSessionCard::durations_data()
{
    QTest::addColumn<qint64>("seconds");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << qint64(0) << "00:00";
    QTest::newRow("minutes") << qint64(75) << "01:15";
    QTest::newRow("last second before an hour") << qint64(3599) << "59:59";
    QTest::newRow("one hour") << qint64(3600) << "01:00:00";
    QTest::newRow("hours") << qint64(3725) << "01:02:05";
    QTest::newRow("past 99 hours") << qint64(360000) << "100:00:00";
    QTest::newRow("negative") << qint64(-5) << "00:00";
}

void TestLastSessionCard::durations()
{
    QFETCH(qint64, seconds);
    QFETCH(QString, text);
    QCOMPARE(LastSessionCard::formatDuration(seconds), text);
}

void TestLastSessionCard::blankTitleKeepsTheEmptyState()
{
    QVERIFY(m_card->emptyState()->isVisibleTo(m_root.get()));
    QVERIFY(!m_card->gameName()->isVisibleTo(m_root.get()));
    m_card->showLastSession(session(QStringLiteral("   ")));
    QVERIFY(m_card->emptyState()->isVisibleTo(m_root.get()));
    QVERIFY(!m_card->values().first()->parentWidget()->isVisibleTo(m_root.get()));

    // Filled, then a blank record empties the card again.
    m_card->showLastSession(session());
    QVERIFY(!m_card->emptyState()->isVisibleTo(m_root.get()));
    m_card->showLastSession(session(QString()));
    QVERIFY(m_card->emptyState()->isVisibleTo(m_root.get()));

    QSignalSpy add(m_card, &LastSessionCard::addConnectionClicked);
    m_card->addButton()->click();
    QCOMPARE(add.size(), 1);
}

void TestLastSessionCard::uploadsLogoIsFetchedOnceAndCached()
{
    m_fake.setUpload(QStringLiteral("/uploads/a.png"), png(Qt::red));
    QSignalSpy settled(m_card, &LastSessionCard::logoSettled);
    SessionData s = session();
    s.gameLogoPath = QStringLiteral(" /uploads/a.png ");
    m_card->showLastSession(s);
    QVERIFY(waitForLogo(settled, 1));
    QCOMPARE(m_fake.requestCount(QStringLiteral("/uploads/a.png")), 1);
    QCOMPARE(QColor(centre(m_card->gameLogo())), QColor(Qt::red));
    const QStringList files = QDir(m_card->logoFolder()).entryList(QDir::Files);
    QCOMPARE(files.size(), 1);
    QVERIFY(files.first().endsWith(QLatin1String(".png")));

    // Every later fill (a live session updates often) takes the file.
    m_card->showLastSession(s);
    m_card->showLastSession(s);
    QTest::qWait(50);
    QCOMPARE(m_fake.requestCount(QStringLiteral("/uploads/a.png")), 1);
}

void TestLastSessionCard::logosOfTheSameNameKeepTheirOwnFiles()
{
    m_fake.setUpload(QStringLiteral("/uploads/one/logo.png"), png(Qt::red));
    m_fake.setUpload(QStringLiteral("/uploads/two/logo.png"), png(Qt::blue));
    QSignalSpy settled(m_card, &LastSessionCard::logoSettled);
    m_card->loadSessionGameLogo(QStringLiteral("/uploads/one/logo.png"));
    QVERIFY(waitForLogo(settled, 1));
    m_card->loadSessionGameLogo(QStringLiteral("/uploads/two/logo.png"));
    QVERIFY(waitForLogo(settled, 2));
    QCOMPARE(QDir(m_card->logoFolder()).entryList(QDir::Files).size(), 2);

    // Each game shows its own picture from its file.
    m_card->loadSessionGameLogo(QStringLiteral("/uploads/one/logo.png"));
    QCOMPARE(QColor(centre(m_card->gameLogo())), QColor(Qt::red));
    m_card->loadSessionGameLogo(QStringLiteral("/uploads/two/logo.png"));
    QCOMPARE(QColor(centre(m_card->gameLogo())), QColor(Qt::blue));
    QCOMPARE(m_fake.requestCount(QStringLiteral("/uploads/one/logo.png")), 1);
}

void TestLastSessionCard::corruptCachedLogoIsFetchedAgain()
{
    m_fake.setUpload(QStringLiteral("/uploads/b.png"), png(Qt::green));
    const QUrl url = m_fake.url(QStringLiteral("/uploads/b.png"));
    QDir().mkpath(m_card->logoFolder());
    const QString file = LastSessionCard::logoCacheFileName(m_card->logoFolder(), url);
    QFile corrupt(file);
    QVERIFY(corrupt.open(QIODevice::WriteOnly));
    corrupt.write("not a picture");
    corrupt.close();

    QSignalSpy settled(m_card, &LastSessionCard::logoSettled);
    m_card->loadSessionGameLogo(url.toString());
    QVERIFY(waitForLogo(settled, 1));
    QCOMPARE(m_fake.requestCount(QStringLiteral("/uploads/b.png")), 1);
    QCOMPARE(QColor(centre(m_card->gameLogo())), QColor(Qt::green));
    QVERIFY(!QImage(file).isNull());
}

void TestLastSessionCard::logosThatAreNotFetched_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("file URL") << "file:///x";
    QTest::newRow("missing file") << "/nowhere/logo.png";
    QTest::newRow("other scheme") << "ftp://127.0.0.1/logo.png";
    QTest::newRow("no host") << "http:///logo.png";
    QTest::newRow("missing resource") << ":/icons/no-such-logo.png";
}

void TestLastSessionCard::logosThatAreNotFetched()
{
    QFETCH(QString, path);
    const QRgb before = centre(m_card->gameLogo());
    m_card->loadSessionGameLogo(path);
    QTest::qWait(30);
    QCOMPARE(m_fake.requests().size(), 0);
    QCOMPARE(centre(m_card->gameLogo()), before);
    QVERIFY(!QDir(m_card->logoFolder()).exists() || QDir(m_card->logoFolder()).isEmpty());
}

void TestLastSessionCard::failedReplyKeepsThePreviousImage()
{
    const QRgb before = centre(m_card->gameLogo());
    QSignalSpy settled(m_card, &LastSessionCard::logoSettled);
    FakeReply notImage;
    notImage.body = "<html>oops</html>";
    notImage.contentType = "text/html";
    m_fake.script("GET", QStringLiteral("/uploads/html.png"), notImage);
    FakeReply failing;
    failing.status = 404;
    m_fake.script("GET", QStringLiteral("/uploads/gone.png"), failing);

    m_card->loadSessionGameLogo(QStringLiteral("/uploads/html.png"));
    m_card->loadSessionGameLogo(QStringLiteral("/uploads/gone.png"));
    QVERIFY(waitForLogo(settled, 2));
    QCOMPARE(centre(m_card->gameLogo()), before);
    QVERIFY(QDir(m_card->logoFolder()).entryList(QDir::Files).isEmpty());
}

void TestLastSessionCard::persianKeepsPositions()
{
    QList<QRect> before;
    const QList<QWidget *> widgets = m_card->card()->findChildren<QWidget *>();
    for (QWidget *w : widgets)
        before << w->geometry();

    m_card->place(true);
    QCOMPARE(m_card->captions().first()->text(), QStringLiteral("کمترین پینگ"));
    QCOMPARE(m_card->addButton()->text(), QStringLiteral("افزودن اتصال"));
    for (QLabel *caption : m_card->captions()) {
        QCOMPARE(caption->layoutDirection(), Qt::RightToLeft);
        QVERIFY(caption->alignment() & Qt::AlignRight);
        QCOMPARE(caption->font().family(), QStringLiteral("Vazirmatn"));
    }
    for (int i = 0; i < widgets.size(); ++i)
        QCOMPARE(widgets[i]->geometry(), before[i]);
    // Drawn on the right: the labels are right-to-left, where a right that
    // is not absolute would be mirrored back to the left.
    m_card->showLastSession(session());
    const QList<QLabel *> sided = QList<QLabel *>(m_card->captions()) << m_card->title();
    for (QLabel *label : sided) {
        const QPair<int, int> ink = inkedColumns(label);
        QVERIFY2(ink.second >= label->width() - 4 && ink.first > label->width() / 4,
                 qPrintable(QStringLiteral("%1 inked %2..%3 of %4")
                                .arg(label->objectName())
                                .arg(ink.first)
                                .arg(ink.second)
                                .arg(label->width())));
    }

    m_card->place(false);
    for (QLabel *label : sided)
        QVERIFY2(inkedColumns(label).first <= 3, qPrintable(label->objectName()));
    QCOMPARE(m_card->captions().first()->text(), QStringLiteral("Lower ping"));
    QCOMPARE(m_card->captions().first()->layoutDirection(), Qt::LeftToRight);
    QVERIFY(m_card->captions().first()->alignment() & Qt::AlignLeft);
    QCOMPARE(m_card->card()->pos(), QPoint(120, 556));
}

QTEST_MAIN(TestLastSessionCard)
#include "tst_lastsessioncard.moc"

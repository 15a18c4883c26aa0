// Covers and logos against the fake service, counting its requests: one
// download per URL however many labels wait, the memory and disk caches,
// bad images and bad addresses, the folder's size bound, and the rounded
// pixmaps.

#include "GamesTestSupport.h"
#include "support/PainterWarnings.h"
#include "support/fakeservice/FakeService.h"
#include "ui/pages/games/ImageCache.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QNetworkAccessManager>
#include <QPixmapCache>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray png(const QSize &size, const QColor &color)
{
    return pngBytes(size, color);
}

quint32 crc32(const QByteArray &data)
{
    quint32 crc = 0xFFFFFFFFu;
    for (char c : data) {
        crc ^= quint8(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// A tiny PNG whose header claims 100000 x 100000 pixels.
QByteArray decompressionBomb()
{
    QByteArray bytes = png(QSize(1, 1), Qt::red);
    auto put32 = [&bytes](int at, quint32 v) {
        for (int i = 0; i < 4; ++i)
            bytes[at + i] = char((v >> (24 - 8 * i)) & 0xFF);
    };
    put32(16, 100000);
    put32(20, 100000);
    put32(29, crc32(bytes.mid(12, 17)));
    return bytes;
}

} // namespace

class TestImageCache : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(m_fake.listen()); }
    void init()
    {
        TestSupport::failOnPainterWarnings();
        QPixmapCache::clear();
        m_fake.clearRequests();
        m_fake.clearScripts();
        m_dir = std::make_unique<QTemporaryDir>();
        m_covers = std::make_unique<QNetworkAccessManager>();
        m_logos = std::make_unique<QNetworkAccessManager>();
        m_images = std::make_unique<ImageCache>(ServiceConfig(m_fake.origin(), QUrl(), QUrl()), m_dir->path(),
                                                m_covers.get(), m_logos.get(), 30000);
    }

    void resolvesUploads_data();
    void resolvesUploads();
    void oneDownloadServesEveryWaitingLabel();
    void aTileJoinsARunningPrefetch();
    void memoryAndDiskHitsSendNothing();
    void corruptFileIsReplaced();
    void prefetchFillsFilesForTheFirst35();
    void badBodiesGiveThePlaceholder_data();
    void badBodiesGiveThePlaceholder();
    void unfetchableAddressesAreLeftAlone();
    void labelDeletedBeforeItsReply();
    void failedWriteLeavesTheFolderAlone();
    void hungDownloadGivesUp();
    void logosStayInMemory();
    void pruneDeletesOldestFirst();
    void roundedPixmaps();
    void oddShapesCropBeforeScaling();

private:
    QString upload(const QString &name) const { return QStringLiteral("/uploads/covers/") + name; }
    QString url(const QString &name) const { return m_fake.url(upload(name)).toString(); }
    bool settled() const
    {
        return QTest::qWaitFor(
            [this] { return m_images->coversInFlight() == 0 && m_images->logosInFlight() == 0; }, 5000);
    }
    static bool isPlaceholder(const QLabel &label, const QPixmap &placeholder)
    {
        return label.pixmap().toImage() == placeholder.toImage();
    }

    FakeService m_fake;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QNetworkAccessManager> m_covers;
    std::unique_ptr<QNetworkAccessManager> m_logos;
    std::unique_ptr<ImageCache> m_images;
};

void TestImageCache::resolvesUploads_data()
{
    QTest::addColumn<QString>("raw");
    QTest::addColumn<QString>("resolved");
    QTest::newRow("uploads path") << "  /uploads/a.png "
                                  << "origin/uploads/a.png";
    QTest::newRow("no leading slash") << "uploads/a.png"
                                      << "uploads/a.png";
    QTest::newRow("absolute") << "https://cdn.example/a.png"
                              << "https://cdn.example/a.png";
    QTest::newRow("blank") << "   "
                           << "";
}

void TestImageCache::resolvesUploads()
{
    QFETCH(QString, raw);
    QFETCH(QString, resolved);
    resolved.replace(QStringLiteral("origin"), m_fake.origin().toString());
    QCOMPARE(m_images->resolveUploadsUrl(raw), resolved);
}

void TestImageCache::oneDownloadServesEveryWaitingLabel()
{
    QLabel a, b;
    m_images->loadGameCover(&a, upload("same.png"));
    m_images->loadGameCover(&b, upload("same.png"));
    QVERIFY(isPlaceholder(a, m_images->coverPlaceholder()));
    QVERIFY(settled());
    QCOMPARE(m_fake.requestCount(upload("same.png")), 1);
    QCOMPARE(m_fake.lastRequest(upload("same.png")).header("User-Agent"), QByteArray("Quorlix/2.0.0"));
    for (QLabel *label : {&a, &b}) {
        QCOMPARE(label->pixmap().size(), QSize(160, 239));
        QVERIFY(!isPlaceholder(*label, m_images->coverPlaceholder()));
    }
    QVERIFY(QFile::exists(m_images->coverCacheFileName(url("same.png"))));
    QVERIFY(m_images->coverCacheFileName(url("same.png")).endsWith("_160x239_r12.img"));
}

void TestImageCache::aTileJoinsARunningPrefetch()
{
    auto items = std::make_shared<QList<GameApiItem>>();
    items->append(gameEntry("1", "A", "PC", upload("p.png")));
    m_images->setCatalogueItems(items);
    m_images->prefetchGameCovers();
    QLabel label;
    m_images->loadGameCover(&label, upload("p.png"));
    QVERIFY(settled());
    QCOMPARE(m_fake.requestCount(upload("p.png")), 1);
    QVERIFY(!isPlaceholder(label, m_images->coverPlaceholder()));
}

void TestImageCache::memoryAndDiskHitsSendNothing()
{
    QLabel first;
    m_images->loadGameCover(&first, upload("hit.png"));
    QVERIFY(settled());
    QLabel fromMemory;
    m_images->loadGameCover(&fromMemory, upload("hit.png"));
    QPixmapCache::clear();
    QLabel fromDisk;
    m_images->loadGameCover(&fromDisk, upload("hit.png"));
    QCOMPARE(m_images->coversInFlight(), 0);
    QCOMPARE(m_fake.requestCount(upload("hit.png")), 1);
    QCOMPARE(fromMemory.pixmap().toImage(), first.pixmap().toImage());
    QCOMPARE(fromDisk.pixmap().toImage(), first.pixmap().toImage());
}

void TestImageCache::corruptFileIsReplaced()
{
    const QString file = m_images->coverCacheFileName(url("bad.png"));
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write("not an image");
    out.close();
    QLabel label;
    m_images->loadGameCover(&label, upload("bad.png"));
    QVERIFY(m_images->coverInFlight(url("bad.png")));
    QVERIFY(settled());
    QCOMPARE(m_fake.requestCount(upload("bad.png")), 1);
    QVERIFY(!isPlaceholder(label, m_images->coverPlaceholder()));
    QFile in(file);
    QVERIFY(in.open(QIODevice::ReadOnly));
    QVERIFY(!ImageCache::decodeImage(in.readAll()).isNull());
    QVERIFY(QDir(m_images->coversFolder()).entryList(QDir::Files).size() == 1); // no leftovers
}

void TestImageCache::prefetchFillsFilesForTheFirst35()
{
    auto items = std::make_shared<QList<GameApiItem>>();
    for (int i = 0; i < 50; ++i)
        items->append(gameEntry(QString::number(i), "G", "PC", upload(QStringLiteral("c%1.png").arg(i))));
    m_images->setCatalogueItems(items);
    m_images->prefetchGameCovers();
    QVERIFY(settled());
    int requests = 0;
    for (int i = 0; i < 50; ++i)
        requests += m_fake.requestCount(upload(QStringLiteral("c%1.png").arg(i)));
    QCOMPARE(requests, 35);
    QCOMPARE(QDir(m_images->coversFolder()).entryList(QDir::Files).size(), 35);
    QPixmap none;
    QVERIFY(!QPixmapCache::find(QStringLiteral("GamesCover:%1:160x239:r12").arg(url("c0.png")), &none));
    // A second prefetch finds the files.
    m_images->prefetchGameCovers();
    QCOMPARE(m_images->coversInFlight(), 0);
}

void TestImageCache::badBodiesGiveThePlaceholder_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("dropped");
    QTest::addColumn<bool>("fileKept");
    QTest::newRow("empty body") << QByteArray() << false << false;
    QTest::newRow("not an image") << QByteArray("<html>oops</html>") << false << true;
    QTest::newRow("decompression bomb") << decompressionBomb() << false << true;
    QTest::newRow("dropped connection") << QByteArray() << true << false;
}

void TestImageCache::badBodiesGiveThePlaceholder()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, dropped);
    QFETCH(bool, fileKept);
    m_fake.script("GET", upload("x.png"),
                  dropped ? FakeReply::dropped() : FakeReply::text(body, 200, "image/png"));
    QLabel label;
    m_images->loadGameCover(&label, upload("x.png"));
    QVERIFY(settled());
    QVERIFY(!m_images->coverInFlight(url("x.png")));
    QVERIFY(isPlaceholder(label, m_images->coverPlaceholder()));
    QCOMPARE(QFile::exists(m_images->coverCacheFileName(url("x.png"))), fileKept);
}

void TestImageCache::unfetchableAddressesAreLeftAlone()
{
    for (const QString &raw : {QStringLiteral("uploads/x.png"), QStringLiteral("file:///etc/passwd"),
                               QStringLiteral("ftp://127.0.0.1/x.png"), QString()}) {
        QLabel label;
        label.setText(QStringLiteral("before"));
        m_images->loadGameCover(&label, raw);
        QCOMPARE(label.text(), QStringLiteral("before"));
        QCOMPARE(m_images->coversInFlight(), 0);
        QLabel logo;
        m_images->loadFavoriteLogo(&logo, raw);
        QVERIFY(isPlaceholder(logo, m_images->logoPlaceholder()));
        QCOMPARE(m_images->logosInFlight(), 0);
    }
    QVERIFY(m_fake.requests().isEmpty());
}

void TestImageCache::labelDeletedBeforeItsReply()
{
    FakeReply slow = FakeReply::text(png(QSize(10, 10), Qt::blue), 200, "image/png");
    slow.delayMs = 50;
    m_fake.script("GET", upload("slow.png"), slow);
    auto *label = new QLabel;
    auto *logo = new QLabel;
    m_images->loadGameCover(label, upload("slow.png"));
    m_images->loadFavoriteLogo(logo, upload("slow.png"));
    delete label;
    delete logo;
    QVERIFY(settled());
    QVERIFY(QFile::exists(m_images->coverCacheFileName(url("slow.png"))));
}

void TestImageCache::failedWriteLeavesTheFolderAlone()
{
    // Something that cannot be replaced sits where the cover's file goes.
    const QString file = m_images->coverCacheFileName(url("blocked.png"));
    QVERIFY(QDir().mkpath(file + "/inside"));
    QFile::remove(file); // not a file: nothing to remove
    QLabel label;
    m_images->loadGameCover(&label, upload("blocked.png"));
    QVERIFY(settled());
    QVERIFY(QFileInfo(file + "/inside").isDir());
    QCOMPARE(QDir(m_images->coversFolder()).entryList(QDir::Files | QDir::Hidden), QStringList());
    // The picture still reaches its label.
    QVERIFY(!isPlaceholder(label, m_images->coverPlaceholder()));
}

void TestImageCache::hungDownloadGivesUp()
{
    ImageCache quick(ServiceConfig(m_fake.origin(), QUrl(), QUrl()), m_dir->path(), m_covers.get(),
                     m_logos.get(), 100);
    m_fake.script("GET", upload("hang.png"), FakeReply::hanging());
    QLabel label;
    quick.loadGameCover(&label, upload("hang.png"));
    QVERIFY(QTest::qWaitFor([&quick] { return quick.coversInFlight() == 0; }, 10000));
    QVERIFY(isPlaceholder(label, quick.coverPlaceholder()));
}

void TestImageCache::logosStayInMemory()
{
    QLabel a, b;
    m_images->loadFavoriteLogo(&a, QStringLiteral("/uploads/logos/l.png"));
    m_images->loadFavoriteLogo(&b, QStringLiteral("/uploads/logos/l.png"));
    QVERIFY(settled());
    QCOMPARE(m_fake.requestCount("/uploads/logos/l.png"), 1);
    QCOMPARE(a.pixmap().size(), QSize(54, 54));
    QVERIFY(!isPlaceholder(b, m_images->logoPlaceholder()));
    QCOMPARE(QDir(m_images->coversFolder()).entryList(QDir::Files).size(), 0);
    QLabel again;
    m_images->loadFavoriteLogo(&again, QStringLiteral("/uploads/logos/l.png"));
    QCOMPARE(m_images->logosInFlight(), 0);
    QCOMPARE(again.pixmap().toImage(), a.pixmap().toImage());
}

void TestImageCache::pruneDeletesOldestFirst()
{
    const QString folder = m_dir->filePath("prune");
    QDir().mkpath(folder);
    const QDateTime base = QDateTime::currentDateTimeUtc().addDays(-1);
    for (int i = 0; i < 5; ++i) {
        QFile f(folder + QStringLiteral("/f%1.img").arg(i));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(100, 'x'));
        f.flush();
        // Written out of order: the times, not the names, decide.
        f.setFileTime(base.addSecs((i * 3) % 5 * 60), QFileDevice::FileModificationTime);
    }
    ImageCache::pruneCoverCache(folder, 250);
    // Times: f0 0, f1 3, f2 1, f3 4, f4 2 minutes; the three oldest go.
    QCOMPARE(QDir(folder).entryList(QDir::Files), (QStringList{"f1.img", "f3.img"}));
    ImageCache::pruneCoverCache(folder, 1000);
    QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 2);
    ImageCache::pruneCoverCache(m_dir->filePath("missing"), 0);
}

void TestImageCache::roundedPixmaps()
{
    QImage source(320, 478, QImage::Format_RGB32);
    source.fill(Qt::green);
    const QImage cover = ImageCache::roundedCoverPixmap(source, QSize(160, 239), 12).toImage();
    QCOMPARE(cover.size(), QSize(160, 239));
    QCOMPARE(cover.pixelColor(0, 0).alpha(), 0);
    QCOMPARE(cover.pixelColor(159, 238).alpha(), 0);
    QCOMPARE(cover.pixelColor(80, 120), QColor(Qt::green));

    QImage wide(200, 100, QImage::Format_RGB32);
    wide.fill(Qt::blue);
    const QImage logo = ImageCache::roundedFitPixmap(wide, QSize(54, 54), 10).toImage();
    QCOMPARE(logo.size(), QSize(54, 54));
    QCOMPARE(logo.pixelColor(27, 5).alpha(), 0); // margin above the fitted image
    QCOMPARE(logo.pixelColor(27, 27), QColor(Qt::blue));
    QVERIFY(ImageCache::roundedCoverPixmap(QImage(), QSize(160, 239), 12).isNull());
}

void TestImageCache::oddShapesCropBeforeScaling()
{
    for (const QSize &size : {QSize(1, 100000), QSize(1, 20000), QSize(20000, 1)}) {
        QImage strip(size, QImage::Format_RGB32);
        strip.fill(Qt::red);
        const QImage out = ImageCache::roundedCoverPixmap(strip, QSize(160, 239), 12).toImage();
        QCOMPARE(out.size(), QSize(160, 239));
        QCOMPARE(out.pixelColor(80, 120), QColor(Qt::red));
    }
    // Served as a cover, a 1 x 20000 image still fills its label.
    m_fake.setUpload(upload("tall.png"), png(QSize(1, 20000), Qt::red));
    QLabel label;
    m_images->loadGameCover(&label, upload("tall.png"));
    QVERIFY(settled());
    QCOMPARE(label.pixmap().toImage().pixelColor(80, 120), QColor(Qt::red));
}

QTEST_MAIN(TestImageCache)
#include "tst_imagecache.moc"

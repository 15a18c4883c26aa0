// The notification row, a scope's list of rows, and the texts they show.

#include "support/PainterWarnings.h"
#include "ui/pages/notifications/NotificationDropdown.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

namespace {
const QDateTime kNow(QDate(2026, 5, 1), QTime(12, 0, 0), Qt::UTC);

NotificationEntry entry(const QString &id, const QString &title, bool unread, qint64 ageSeconds = 300)
{
    return NotificationEntry{id, title, "Body of " + title, kNow.addSecs(-ageSeconds), unread};
}
} // namespace

class TestNotificationDropdown : public QObject
{
    Q_OBJECT
private slots:
    void init() { TestSupport::failOnPainterWarnings(); }

    void relativeTimes_data()
    {
        QTest::addColumn<qint64>("age");
        QTest::addColumn<bool>("persian");
        QTest::addColumn<QString>("text");
        QTest::newRow("0 s") << qint64(0) << false << "Just now";
        QTest::newRow("59 s") << qint64(59) << false << "Just now";
        QTest::newRow("60 s") << qint64(60) << false << "1 min ago";
        QTest::newRow("3599 s") << qint64(3599) << false << "59 min ago";
        QTest::newRow("3600 s") << qint64(3600) << false << "1 hrs ago";
        QTest::newRow("86399 s") << qint64(86399) << false << "23 hrs ago";
        QTest::newRow("86400 s") << qint64(86400) << false << "1 days ago";
        QTest::newRow("400 days") << qint64(400) * 86400 << false << "400 days ago";
        QTest::newRow("future") << qint64(-3600) << false << "Just now";
        QTest::newRow("fa 30 s") << qint64(30) << true << "همین الان";
        QTest::newRow("fa 300 s") << qint64(300) << true << "۵ دقیقه پیش";
        QTest::newRow("fa 2 h") << qint64(7200) << true << "۲ ساعت پیش";
        QTest::newRow("fa 12 days") << qint64(12) * 86400 << true << "۱۲ روز پیش";
    }
    void relativeTimes()
    {
        QFETCH(qint64, age);
        QFETCH(bool, persian);
        QFETCH(QString, text);
        QCOMPARE(NotificationTexts::relativeTime(kNow.addSecs(-age), kNow, persian), text);
    }

    void anInvalidTimeIsJustNow()
    {
        QCOMPARE(NotificationTexts::relativeTime(QDateTime(), kNow, false), QStringLiteral("Just now"));
        QCOMPARE(NotificationTexts::relativeTime(QDateTime(), kNow, true), QStringLiteral("همین الان"));
    }

    void titles_data()
    {
        QTest::addColumn<QString>("raw");
        QTest::addColumn<bool>("persian");
        QTest::addColumn<QString>("shown");
        QTest::newRow("with rest") << "Ticket answered: X" << true << "پاسخ تیکت: X";
        QTest::newRow("rest trimmed") << "  ticket ANSWERED:   #42  " << true << "پاسخ تیکت: #42";
        QTest::newRow("upper, alone") << "TICKET ANSWERED" << true << "پاسخ تیکت";
        QTest::newRow("colon alone") << "Ticket answered:" << true << "پاسخ تیکت:";
        QTest::newRow("no colon, rest") << "Ticket answered again" << true << "پاسخ تیکت again";
        QTest::newRow("other title") << " New relays " << true << "New relays";
        QTest::newRow("english") << "  Ticket answered: X " << false << "Ticket answered: X";
    }
    void titles()
    {
        QFETCH(QString, raw);
        QFETCH(bool, persian);
        QFETCH(QString, shown);
        QCOMPARE(NotificationTexts::localizeTitle(raw, persian), shown);
    }

    void theBellLosesOnlyItsOrangeDot()
    {
        QImage picture(4, 1, QImage::Format_ARGB32);
        picture.setPixel(0, 0, qRgba(255, 130, 40, 255)); // the dot
        picture.setPixel(1, 0, qRgba(255, 255, 255, 255));
        picture.setPixel(2, 0, qRgba(173, 173, 173, 255)); // the bell's grey
        picture.setPixel(3, 0, qRgba(255, 130, 40, 5));    // nearly transparent: left alone
        const QImage out = NotificationLooks::withoutOrangeDot(picture);
        QCOMPARE(out.pixel(0, 0), 0u);
        QCOMPARE(out.pixel(1, 0), qRgba(255, 255, 255, 255));
        QCOMPARE(out.pixel(2, 0), qRgba(173, 173, 173, 255));
        QCOMPARE(qAlpha(out.pixel(3, 0)), 5);
        QVERIFY(!NotificationLooks::bellIcon().isNull());
    }

    void rowPresses_data()
    {
        QTest::addColumn<int>("y");
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::addColumn<int>("clicks");
        QTest::newRow("title line") << 15 << Qt::LeftButton << 1;
        QTest::newRow("time line") << 30 << Qt::LeftButton << 1;
        QTest::newRow("last top pixel") << 60 << Qt::LeftButton << 1;
        QTest::newRow("expanded body") << 70 << Qt::LeftButton << 0;
        QTest::newRow("right button") << 30 << Qt::RightButton << 0;
    }
    void rowPresses()
    {
        QFETCH(int, y);
        QFETCH(Qt::MouseButton, button);
        QFETCH(int, clicks);
        QWidget host;
        auto *layout = new QVBoxLayout(&host);
        auto *item =
            new NotifItem("T", "now", "A body long enough to wrap over a second line of the row", true);
        layout->addWidget(item);
        item->setExpanded(true);
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));
        QVERIFY(item->height() > 70);
        QSignalSpy clicked(item, &NotifItem::clicked);
        QTest::mousePress(item, button, Qt::NoModifier, QPoint(100, y));
        QCOMPARE(clicked.count(), clicks);
    }

    void readAndUnreadLooks()
    {
        NotifItem item("T", "now", "B", true);
        QCOMPARE(item.objectName(), QStringLiteral("NotifItemUnread"));
        QVERIFY(!item.unreadDot()->isHidden());
        QVERIFY(item.styleSheet().contains("#1A1E24;"));
        QVERIFY(item.titleLabel()->styleSheet().contains("color: #FFFFFF"));
        QVERIFY(item.bodyContainer()->isHidden());
        item.markRead();
        QVERIFY(!item.isUnread());
        QVERIFY(item.unreadDot()->isHidden());
        QVERIFY(item.styleSheet().startsWith("background-color: transparent;"));
        QVERIFY(item.titleLabel()->styleSheet().contains("color: #707174"));
        // The name stays what it was built with.
        QCOMPARE(item.objectName(), QStringLiteral("NotifItemUnread"));
        item.setExpanded(true);
        QVERIFY(!item.bodyContainer()->isHidden());
    }

    void rowsKeepOrderAndShowTextLiterally()
    {
        QWidget parent;
        NotifListView list(&parent, "NotifListHostPersonal", "Vazirmatn", nullptr);
        list.setClock([] { return kNow; });
        list.addRow(entry("a", "<b>bold</b> & co", true));
        list.addRow(entry("b", "Second", false, 7200));
        list.addRow(NotificationEntry{"c", "Third", "x", QDateTime(), true});
        const QList<NotifItem *> rows = list.rows();
        QCOMPARE(rows.size(), 3);
        QCOMPARE(list.layout()->count(), 4); // and the trailing stretch
        for (int i = 0; i < 3; ++i)
            QCOMPARE(list.layout()->itemAt(i)->widget(), rows[i]);
        QCOMPARE(rows[0]->titleLabel()->text(), QStringLiteral("<b>bold</b> & co"));
        QCOMPARE(rows[0]->titleLabel()->textFormat(), Qt::PlainText);
        QCOMPARE(rows[0]->bodyLabel()->textFormat(), Qt::PlainText);
        QCOMPARE(rows[0]->property("qx_notif_item").toBool(), true);
        QCOMPARE(rows[1]->objectName(), QStringLiteral("NotifItemRead"));
        QCOMPARE(rows[1]->timeLabel()->text(), QStringLiteral("2 hrs ago"));
        QCOMPARE(rows[2]->timeLabel()->text(), QStringLiteral("Just now"));
        QCOMPARE(rows[1]->notificationId(), QStringLiteral("b"));

        list.clearRows();
        QVERIFY(list.rows().isEmpty());
        QCOMPARE(list.layout()->count(), 1);
        list.addRow(entry("d", "Fourth", true));
        QCOMPARE(list.layout()->itemAt(0)->widget(), list.rows().first());
    }

    void rowsFollowTheLanguage()
    {
        QWidget parent;
        NotifListView list(&parent, "NotifListHostPublic", "Vazirmatn", nullptr);
        list.setClock([] { return kNow; });
        list.addRow(entry("a", "Ticket answered: #7", true, 300));
        NotifItem *row = list.rows().first();
        QCOMPARE(row->titleLabel()->text(), QStringLiteral("Ticket answered: #7"));
        QCOMPARE(row->timeLabel()->text(), QStringLiteral("5 min ago"));
        QCOMPARE(row->titleLabel()->font().family(), QStringLiteral("Inter"));

        list.setPersian(true);
        QCOMPARE(row->titleLabel()->text(), QStringLiteral("پاسخ تیکت: #7"));
        QCOMPARE(row->timeLabel()->text(), QStringLiteral("۵ دقیقه پیش"));
        QCOMPARE(row->layoutDirection(), Qt::RightToLeft);
        QCOMPARE(row->titleLabel()->alignment(), Qt::AlignRight | Qt::AlignAbsolute | Qt::AlignVCenter);
        QCOMPARE(row->bodyLabel()->alignment(), Qt::AlignRight | Qt::AlignAbsolute | Qt::AlignTop);
        QCOMPARE(row->titleLabel()->font().family(), QStringLiteral("Vazirmatn"));

        // Rows added while Persian is on come out Persian.
        list.addRow(entry("b", "TICKET ANSWERED", true));
        QCOMPARE(list.rows().last()->titleLabel()->text(), QStringLiteral("پاسخ تیکت"));

        list.setPersian(false);
        QCOMPARE(row->titleLabel()->text(), QStringLiteral("Ticket answered: #7"));
        QCOMPARE(row->layoutDirection(), Qt::LeftToRight);
        QCOMPARE(row->titleLabel()->alignment(), Qt::AlignLeft | Qt::AlignVCenter);
    }

    void persianTextsAreDrawnAtTheRightEdge_data()
    {
        QTest::addColumn<QString>("title");
        QTest::newRow("Persian title") << "Ticket answered";
        QTest::newRow("Latin title") << "News";
    }
    void persianTextsAreDrawnAtTheRightEdge()
    {
        QFETCH(QString, title);
        QWidget parent;
        NotifListView list(&parent, "NotifListHostPublic", "Vazirmatn", nullptr);
        list.setClock([] { return kNow; });
        list.setPersian(true);
        list.addRow(entry("a", title, false, 30));
        NotifItem *row = list.rows().first();
        // The title's and the time's ink lies in the right half of their lines.
        for (QLabel *label : {row->titleLabel(), row->timeLabel()}) {
            const QImage shot = label->grab().toImage();
            int left = -1;
            for (int x = 0; x < shot.width() && left < 0; ++x) {
                for (int y = 0; y < shot.height(); ++y) {
                    if (qAlpha(shot.pixel(x, y)) > 0 && qGray(shot.pixel(x, y)) > 60) {
                        left = x;
                        break;
                    }
                }
            }
            QVERIFY2(left > shot.width() / 2, qPrintable(QStringLiteral("%1: ink from x %2 of %3")
                                                             .arg(label->objectName())
                                                             .arg(left)
                                                             .arg(shot.width())));
        }
    }

    void theTabsLookAndColumn()
    {
        QPushButton tab;
        tab.setObjectName("NotifTabBtn");
        NotificationLooks::styleTab(&tab);
        QVERIFY(tab.styleSheet().startsWith("QPushButton#NotifTabBtn {"));
        NotificationLooks::styleTab(nullptr);
        QVBoxLayout *layout = nullptr;
        QWidget parent;
        QWidget *column = NotificationLooks::makeTransparentColumn(&parent, "Col", &layout);
        QCOMPARE(column->objectName(), QStringLiteral("Col"));
        QCOMPARE(layout->spacing(), 2);
        QCOMPARE(layout->count(), 1);
        QVERIFY(layout->itemAt(0)->spacerItem());
    }
};

QTEST_MAIN(TestNotificationDropdown)
#include "tst_notificationdropdown.moc"

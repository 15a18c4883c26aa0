// A race between a test function and a std::thread: both write one plain int
// with nothing between them. Run under ThreadSanitizer with the project's
// suppressions, it must be reported (tools/tsan.sh fails when it is not).

#include <QTest>

#include <thread>

class TsanDeliberateRace : public QObject
{
    Q_OBJECT

private slots:
    void testBodyRacesAThread()
    {
        int shared = 0;
        std::thread other([&shared] { shared = 1; });
        shared = 2;
        other.join();
        QVERIFY(shared == 1 || shared == 2);
    }
};

QTEST_GUILESS_MAIN(TsanDeliberateRace)
#include "tsan_deliberate_race.moc"

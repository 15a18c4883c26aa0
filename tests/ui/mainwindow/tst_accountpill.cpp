// The account pill and its profile pop-up on their own: the pill's two
// shapes, where the pop-up opens, what closes it, the rows' language pass,
// and a window torn down while the pop-up is open.

#include "support/PainterWarnings.h"
#include "ui/mainwindow/AccountPill.h"

#include <QApplication>
#include <QLabel>
#include <QLayout>
#include <QPointer>
#include <QPushButton>
#include <QTest>

namespace {

// A window with a header band, the pill in it, as the window builds it.
struct Rig
{
    std::unique_ptr<QWidget> window = std::make_unique<QWidget>();
    QWidget *header = nullptr;
    AccountPill *pill = nullptr;

    Rig()
    {
        window->resize(1440, 810);
        window->move(100, 80);
        header = new QWidget(window.get());
        header->setGeometry(0, 0, 1440, 100);
        pill = new AccountPill(header, window.get(), QStringLiteral("Vazirmatn"),
                               AccountTexts::from(QStringLiteral("sam@x.io"), {}, {}, {}), window.get());
        pill->retranslate();
        pill->place(false);
    }
    QWidget *widget() const { return pill->pill(); }
    QFrame *popup() const { return pill->popup(); }
};

QList<QLabel *> rowTexts(QFrame *popup)
{
    QList<QLabel *> texts;
    for (const char *row : {"HeaderPopupItem1", "HeaderPopupItem2", "HeaderPopupItem3"})
        texts << popup->findChild<QWidget *>(QLatin1String(row))->findChild<QLabel *>("HeaderPopupRowText");
    return texts;
}

QLabel *rowIcon(QFrame *popup, int i)
{
    QWidget *row = popup->findChild<QWidget *>(QStringLiteral("HeaderPopupItem%1").arg(i + 1));
    for (QLabel *label : row->findChildren<QLabel *>()) {
        if (label->objectName().isEmpty())
            return label;
    }
    return nullptr;
}

} // namespace

class TestAccountPill : public QObject
{
    Q_OBJECT

private slots:
    void init() { TestSupport::failOnPainterWarnings(); }

    void buildsTheNamedWidgets()
    {
        Rig rig;
        QCOMPARE(rig.widget()->objectName(), QStringLiteral("AccountPill"));
        QCOMPARE(rig.widget()->size(), QSize(264, 54));
        QCOMPARE(rig.widget()->pos(), QPoint(1022, 20));
        QCOMPARE(rig.pill->userName()->text(), QStringLiteral("sam"));
        QCOMPARE(rig.pill->userEmail()->text(), QStringLiteral("sam@x.io"));
        QCOMPARE(rig.pill->hit()->geometry(), QRect(0, 0, 264, 54));
        QCOMPARE(rig.popup()->objectName(), QStringLiteral("HeaderProfilePopup"));
        QVERIFY(rig.popup()->windowFlags() & Qt::Popup);
        QCOMPARE(rig.popup()->size(), QSize(264, 194));
        QVERIFY(rig.popup()->isHidden());
        // The caret lies above the hit button, the hit button above the rest.
        const QObjectList order = rig.widget()->children();
        QVERIFY(order.indexOf(rig.pill->caret()) > order.indexOf(rig.pill->hit()));
        QCOMPARE(rig.widget()->childAt(rig.pill->caret()->geometry().center()), rig.pill->caret());
        QCOMPARE(rig.widget()->childAt(QPoint(30, 27)), rig.pill->hit());
    }

    void masksOfTheTwoLooks_data()
    {
        QTest::addColumn<bool>("open");
        QTest::addColumn<QPoint>("point");
        QTest::addColumn<bool>("inside");
        QTest::newRow("closed: middle") << false << QPoint(27, 27) << true;
        QTest::newRow("closed: top-left corner") << false << QPoint(0, 0) << false;
        QTest::newRow("closed: top-right corner") << false << QPoint(263, 0) << false;
        QTest::newRow("closed: bottom-left corner") << false << QPoint(0, 53) << false;
        QTest::newRow("closed: bottom-right corner") << false << QPoint(263, 53) << false;
        QTest::newRow("open: middle") << true << QPoint(27, 27) << true;
        QTest::newRow("open: bottom-left corner") << true << QPoint(0, 53) << true;
        QTest::newRow("open: bottom-right corner") << true << QPoint(263, 53) << true;
        QTest::newRow("open: top-left corner") << true << QPoint(0, 0) << false;
        QTest::newRow("open: top-right corner") << true << QPoint(263, 0) << false;
    }
    void masksOfTheTwoLooks()
    {
        QFETCH(bool, open);
        QFETCH(QPoint, point);
        QFETCH(bool, inside);
        Rig rig;
        rig.pill->setAccountPillOpen(open);
        QCOMPARE(rig.widget()->mask().contains(point), inside);
        QCOMPARE(rig.widget()->styleSheet(), open ? AccountPill::kOpenStyle : AccountPill::kClosedStyle);
    }

    void caretAndBodyBothToggle_data()
    {
        QTest::addColumn<bool>("caret");
        QTest::newRow("pill body") << false;
        QTest::newRow("caret") << true;
    }
    void caretAndBodyBothToggle()
    {
        QFETCH(bool, caret);
        Rig rig;
        rig.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig.window.get()));
        QPushButton *target = caret ? rig.pill->caret() : rig.pill->hit();

        QTest::mouseClick(target, Qt::LeftButton);
        QVERIFY(rig.popup()->isVisible());
        QCOMPARE(rig.popup()->pos(), rig.widget()->mapToGlobal(QPoint(0, 54)) - QPoint(0, 1));
        QCOMPARE(rig.widget()->styleSheet(), AccountPill::kOpenStyle);
        QVERIFY(rig.widget()->mask().contains(QPoint(0, 53)));

        rig.pill->toggleProfilePopup();
        QVERIFY(rig.popup()->isHidden());
        QCOMPARE(rig.widget()->styleSheet(), AccountPill::kClosedStyle);
        QVERIFY(!rig.widget()->mask().contains(QPoint(0, 53)));
    }

    void popupFollowsAMovedWindow()
    {
        Rig rig;
        rig.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig.window.get()));
        rig.pill->toggleProfilePopup();
        const QPoint first = rig.popup()->pos();
        rig.pill->toggleProfilePopup();
        const QPoint pillAt = rig.widget()->mapToGlobal(QPoint(0, 0));
        rig.window->move(rig.window->pos() + QPoint(37, 21));
        QTRY_COMPARE(rig.widget()->mapToGlobal(QPoint(0, 0)), pillAt + QPoint(37, 21));
        rig.pill->toggleProfilePopup();
        QCOMPARE(rig.popup()->pos(), first + QPoint(37, 21));
    }

    void everyHideRestoresTheClosedLook_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("hide()") << "hide";
        QTest::newRow("Escape") << "escape";
        QTest::newRow("close()") << "close";
    }
    void everyHideRestoresTheClosedLook()
    {
        QFETCH(QString, how);
        Rig rig;
        rig.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig.window.get()));
        rig.pill->toggleProfilePopup();
        QVERIFY(rig.popup()->isVisible());
        if (how == QLatin1String("hide"))
            rig.popup()->hide();
        else if (how == QLatin1String("escape"))
            QTest::keyClick(rig.popup(), Qt::Key_Escape);
        else
            rig.popup()->close();
        QTRY_VERIFY(rig.popup()->isHidden());
        QCOMPARE(rig.widget()->styleSheet(), AccountPill::kClosedStyle);
        QVERIFY(!rig.widget()->mask().contains(QPoint(0, 0)));
        QVERIFY(!rig.widget()->mask().contains(QPoint(0, 53)));
    }

    void rowsFollowTheLanguage()
    {
        Rig rig;
        const QStringList english = {"World Leading Technology", "2000+ Games included",
                                     "Exclusive Customer Support"};
        const QStringList persian = {QString::fromUtf8("فناوری پیشرو در جهان"),
                                     QString::fromUtf8("2000+ بازی شامل میشود"),
                                     QString::fromUtf8("پشتیبانی اختصاصی مشتریان")};
        rig.popup()->show();
        for (bool fa : {true, false, true, false}) {
            rig.pill->retranslate();
            rig.pill->place(fa);
            rig.popup()->layout()->activate();
            QCOMPARE(rig.popup()->layoutDirection(), Qt::LeftToRight);
            QCOMPARE(rig.popup()->layout()->contentsMargins(), QMargins(4, 12, 20, 12));
            const QList<QLabel *> texts = rowTexts(rig.popup());
            for (int i = 0; i < 3; ++i) {
                QWidget *row = texts[i]->parentWidget();
                QCOMPARE(row->layoutDirection(), fa ? Qt::RightToLeft : Qt::LeftToRight);
                row->layout()->activate();
                QCOMPARE(texts[i]->text(), fa ? persian[i] : english[i]);
                QCOMPARE(texts[i]->alignment(), (fa ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
                QCOMPARE(texts[i]->font().family(),
                         fa ? QStringLiteral("Vazirmatn") : QStringLiteral("Inter"));
                // The design size, or as little smaller as the whole text needs.
                QVERIFY(texts[i]->font().pointSizeF() <= 14 && texts[i]->font().pointSizeF() >= 9);
                QVERIFY2(texts[i]->fontMetrics().horizontalAdvance(texts[i]->text()) <= texts[i]->width(),
                         qPrintable(texts[i]->text()));
                QVERIFY(texts[i]->geometry().right() < row->width());
                QCOMPARE(texts[i]->font(), texts[0]->font());
                // The icon sits at the row's reading start.
                QLabel *icon = rowIcon(rig.popup(), i);
                QVERIFY(icon);
                if (fa)
                    QCOMPARE(icon->geometry().right(), row->width() - 1);
                else
                    QCOMPARE(icon->x(), 0);
            }
        }
    }

    void longAddressesEndInAnEllipsis()
    {
        Rig rig;
        const QString address = QStringLiteral("someone.with.a.long.name@subdomain.example.test");
        rig.pill->showAccount(AccountTexts::from(address, QStringLiteral("Ana"), {}, {}));
        QLabel *email = rig.pill->userEmail();
        QVERIFY(email->text().endsWith(QChar(0x2026)));
        QCOMPARE(email->toolTip(), address);
        rig.widget()->layout()->activate();
        QVERIFY(email->fontMetrics().horizontalAdvance(email->text()) <= email->width());
        rig.pill->showAccount(AccountTexts::from(QStringLiteral("sam@x.io"), {}, {}, {}));
        QCOMPARE(email->text(), QStringLiteral("sam@x.io"));
        QVERIFY(email->toolTip().isEmpty());
    }

    void accountTextsShown()
    {
        Rig rig;
        rig.pill->showAccount(AccountTexts::from({}, {}, {}, {}));
        QCOMPARE(rig.pill->userName()->text(), QStringLiteral("Account"));
        QCOMPARE(rig.pill->userEmail()->text(), QStringLiteral("Not signed in"));
        rig.pill->showAccount(AccountTexts::from(QStringLiteral("sam@x.io"), QStringLiteral("Ana"), {}, {}));
        QCOMPARE(rig.pill->userName()->text(), QStringLiteral("Ana"));
    }

    // Run under AddressSanitizer too: the pop-up's hide during the window's
    // destruction must not reach a pill that is already gone.
    void windowDeletedWithThePopupOpen()
    {
        Rig rig;
        rig.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig.window.get()));
        rig.pill->toggleProfilePopup();
        QVERIFY(rig.popup()->isVisible());
        QPointer<QFrame> popup = rig.popup();
        rig.window.reset();
        QVERIFY(popup.isNull());
    }

    void pillDeletedWithThePopupOpen()
    {
        Rig rig;
        rig.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig.window.get()));
        rig.pill->toggleProfilePopup();
        delete rig.header; // the pill goes with its header band
        rig.popup()->hide();
        QVERIFY(rig.popup()->isHidden());
    }
};

QTEST_MAIN(TestAccountPill)
#include "tst_accountpill.moc"

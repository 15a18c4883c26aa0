// Shows the client's painted widgets on the window's dark ground, the way
// the pages use them, and saves one PNG per scene so a person can check
// their look. Pop-up windows are painted onto their backdrop (a virtual
// display has no compositor to blend translucent windows).
//
//   QUORLIX_SCREENSHOT_DIR   where the PNGs go (required)

#include "resources/BundledFonts.h"
#include "ui/pages/settings/SettingsSelectField.h"
#include "ui/widgets/DecorativeWidgets.h"
#include "ui/widgets/Gauges.h"
#include "ui/widgets/HoverFilters.h"
#include "ui/widgets/QxSelectPopup.h"

#include <QApplication>
#include <QDir>
#include <QEnterEvent>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QTest>

#include <cstdio>
#include <functional>

namespace {

QString g_folder;
int g_failures = 0;

void save(const QImage &image, const QString &name)
{
    const QString path = QDir(g_folder).filePath(name);
    if (image.isNull() || !image.save(path, "PNG")) {
        std::fprintf(stderr, "could not save %s\n", qPrintable(path));
        ++g_failures;
        return;
    }
    std::printf("%s %dx%d\n", qPrintable(path), image.width(), image.height());
}

// A top-level window with the window's background colour.
struct Backdrop
{
    QWidget window;
    Backdrop(const QRect &geometry)
    {
        window.setObjectName(QStringLiteral("ShotBackdrop"));
        window.setStyleSheet(QStringLiteral("QWidget#ShotBackdrop { background: #111317; }"));
        window.setAttribute(Qt::WA_StyledBackground);
        window.setGeometry(geometry);
    }
    void show()
    {
        window.show();
        (void)QTest::qWaitForWindowExposed(&window);
        QTest::qWait(50);
    }
    // The backdrop with every visible pop-up window painted on at its place.
    QImage compose(const QList<QWidget *> &popups)
    {
        QImage image = window.grab().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
        QPainter painter(&image);
        for (QWidget *popup : popups) {
            if (!popup || !popup->isVisible())
                continue;
            QImage layer(popup->size(), QImage::Format_ARGB32_Premultiplied);
            layer.fill(Qt::transparent);
            popup->render(&layer, QPoint(), QRegion(), QWidget::DrawChildren);
            painter.drawImage(popup->pos() - window.pos(), layer);
        }
        return image;
    }
};

// A select box as the settings page draws it: the value on a dark plate
// with a caret at the right, its corners squared on the popup's side.
QWidget *makeSelectBox(QWidget *parent, const QRect &geometry, const QString &text)
{
    auto *box = new QWidget(parent);
    box->setObjectName(QStringLiteral("ShotSelectBox"));
    box->setAttribute(Qt::WA_StyledBackground);
    box->setStyleSheet(QStringLiteral("QWidget#ShotSelectBox { background: #1A1E24; border-radius: 6px; }"));
    box->setGeometry(geometry);
    auto *label = new QLabel(text, box);
    label->setStyleSheet(QStringLiteral("color: #FFFFFF; background: transparent; font-family: Inter;"
                                        " font-size: 14px;"));
    label->setGeometry(16, 0, geometry.width() - 16 - 36, geometry.height());
    auto *caret = new QLabel(box);
    caret->setPixmap(QPixmap(QStringLiteral(":/icons/caret-down.png"))
                         .scaled(16, 16, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    caret->setStyleSheet(QStringLiteral("background: transparent;"));
    caret->setGeometry(geometry.width() - 28, (geometry.height() - 16) / 2, 16, 16);
    return box;
}

void selectPopupScene(bool nearBottom, const QString &name)
{
    // Near the screen's bottom the box has no room below and the popup opens
    // above it.
    const QRect area = nearBottom ? QRect(200, 1080 - 300, 380, 280) : QRect(200, 60, 380, 280);
    Backdrop backdrop(area);
    QWidget *box =
        makeSelectBox(&backdrop.window, QRect(40, nearBottom ? 200 : 36, 300, 43), QStringLiteral("Medium"));
    backdrop.show();

    QxSelectPopup popup;
    SettingsSelectField::applyDefaultSelectStyle(&popup, 16);
    popup.setItems({{QString(), QStringLiteral("Low")},
                    {QString(), QStringLiteral("Medium")},
                    {QString(), QStringLiteral("High")},
                    {QString(), QStringLiteral("Ultra")}});
    popup.setCheckedIndex(1);
    const bool above = popup.showForAnchor(box, 0);
    if (above != nearBottom) {
        std::fprintf(stderr, "%s: popup opened %s\n", qPrintable(name), above ? "above" : "below");
        ++g_failures;
    }
    box->setStyleSheet(
        above ? QStringLiteral("QWidget#ShotSelectBox { background: #1A1E24;"
                               " border-top-left-radius: 0px; border-top-right-radius: 0px;"
                               " border-bottom-left-radius: 6px; border-bottom-right-radius: 6px; }")
              : QStringLiteral("QWidget#ShotSelectBox { background: #1A1E24;"
                               " border-top-left-radius: 6px; border-top-right-radius: 6px;"
                               " border-bottom-left-radius: 0px; border-bottom-right-radius: 0px; }"));
    // The pointer rests on the last row, to show its hover colour.
    popup.rows().last()->setAttribute(Qt::WA_UnderMouse);
    (void)QTest::qWaitForWindowExposed(&popup);
    QTest::qWait(50);
    save(backdrop.compose({&popup}), name);
    popup.hide();
}

void tooltipScene()
{
    Backdrop backdrop(QRect(300, 300, 460, 260));
    auto *caption = new QLabel(QStringLiteral("Packet loss protection"), &backdrop.window);
    caption->setStyleSheet(QStringLiteral("color: #ADADAD; font-family: Inter; font-size: 16px;"));
    caption->setGeometry(40, 200, 220, 24);
    auto *icon = new QLabel(&backdrop.window);
    icon->setPixmap(QPixmap(QStringLiteral(":/icons/info2.png"))
                        .scaled(20, 20, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    icon->setGeometry(262, 202, 20, 20);
    auto *filter = new TooltipHoverFilter(
        icon,
        QStringLiteral(
            "Sends each packet twice over\nseparate routes so that a lost one\nnever reaches the game."),
        QPoint());
    icon->installEventFilter(filter);
    backdrop.show();

    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), icon->mapToGlobal(QPointF(5, 5)));
    QCoreApplication::sendEvent(icon, &enter);
    QTest::qWait(50);
    save(backdrop.compose({filter->popup()}), QStringLiteral("tooltip-three-lines.png"));
}

// The settings card's gradient border, the landing banner's running stroke
// at three moments (entering at the left, on the top edge, leaving at the
// right) and the console spinner at rest and a quarter turn on.
void decorativeScene()
{
    Backdrop backdrop(QRect(100, 100, 720, 520));
    auto *card = new GradientBorderCard(&backdrop.window);
    card->setGeometry(30, 30, 300, 180);
    auto *cardTitle = new QLabel(QStringLiteral("General Sittings"), card);
    cardTitle->setStyleSheet(QStringLiteral("color: #FFFFFF; font-family: Inter; font-size: 16px;"));
    cardTitle->setGeometry(20, 16, 260, 24);

    const int positions[] = {-200, 130, 450};
    for (int i = 0; i < 3; ++i) {
        auto *banner = new QWidget(&backdrop.window);
        banner->setObjectName(QStringLiteral("ShotBanner"));
        banner->setAttribute(Qt::WA_StyledBackground);
        banner->setStyleSheet(
            QStringLiteral("QWidget#ShotBanner { background: #1A1E24; border-radius: 7px; }"));
        banner->setGeometry(30, 240 + i * 90, 660, 70);
        auto *stroke = new AnimatedStrokeBorder(banner);
        stroke->setGeometry(banner->rect());
        stroke->setSegmentLength(400);
        stroke->setSpeed(1);
        while (stroke->position() != positions[i])
            stroke->advance();
    }

    auto *spinner = new ConsoleSpinner(&backdrop.window);
    spinner->move(380, 60);
    auto *turned = new ConsoleSpinner(&backdrop.window);
    turned->move(440, 60);
    for (int i = 0; i < 15; ++i)
        turned->advance();
    backdrop.show();
    // The animations keep running while the window is up; the grab paints
    // whatever moment they are at, so stop them at the chosen one first.
    for (QTimer *timer : backdrop.window.findChildren<QTimer *>())
        timer->stop();
    save(backdrop.compose({}), QStringLiteral("decorative-widgets.png"));
}

// Three hardware-card gauges at 0, 50 and 100, each with its figure below,
// and the route sweep's ring at 0, 37 and 100 %.
void gaugeScenes()
{
    {
        Backdrop backdrop(QRect(100, 100, 560, 240));
        const int values[] = {0, 50, 100};
        for (int i = 0; i < 3; ++i) {
            auto *gauge = new CircularGauge(&backdrop.window);
            gauge->setGeometry(30 + i * 180, 20, 160, 160);
            gauge->setValue(values[i]);
            auto *figure = new QLabel(QStringLiteral("%1%").arg(values[i]), &backdrop.window);
            figure->setAlignment(Qt::AlignCenter);
            figure->setStyleSheet(QStringLiteral("color: #FFFFFF; font-family: Inter; font-size: 16px;"));
            figure->setGeometry(30 + i * 180, 190, 160, 24);
        }
        backdrop.show();
        save(backdrop.compose({}), QStringLiteral("gauges-0-50-100.png"));
    }
    {
        Backdrop backdrop(QRect(100, 100, 800, 300));
        const int percents[] = {0, 37, 100};
        const int routes[] = {1, 302, 817};
        for (int i = 0; i < 3; ++i) {
            auto *ring = new CircularProgressWidget(&backdrop.window);
            ring->move(20 + i * 260, 28);
            ring->setProgress(percents[i]);
            ring->setRouteCounts(routes[i], 817);
        }
        backdrop.show();
        for (auto *ring : backdrop.window.findChildren<CircularProgressWidget *>())
            const_cast<QTimer *>(ring->timer())->stop();
        save(backdrop.compose({}), QStringLiteral("progress-0-37-100.png"));
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    g_folder = qEnvironmentVariable("QUORLIX_SCREENSHOT_DIR");
    if (g_folder.isEmpty()) {
        std::fprintf(stderr, "QUORLIX_SCREENSHOT_DIR is not set\n");
        return 2;
    }
    applyBundledDefaultFont();
    QFile sheet(QStringLiteral(":/style.qss"));
    if (sheet.open(QIODevice::ReadOnly))
        app.setStyleSheet(QString::fromUtf8(sheet.readAll()));

    selectPopupScene(false, QStringLiteral("select-popup-below.png"));
    selectPopupScene(true, QStringLiteral("select-popup-above.png"));
    tooltipScene();
    decorativeScene();
    gaugeScenes();
    return g_failures ? 1 : 0;
}

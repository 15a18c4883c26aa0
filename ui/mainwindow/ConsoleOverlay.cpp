#include "ui/mainwindow/ConsoleOverlay.h"

#include "i18n/Language.h"
#include "ui/pages/common/PageLooks.h"
#include "ui/widgets/DecorativeWidgets.h"
#include "ui/widgets/Palette.h"

#include <QEvent>
#include <QGraphicsBlurEffect>
#include <QLabel>
#include <QPainterPath>
#include <QPixmap>
#include <QRegion>
#include <QWidget>

using PageLooks::interFont;

namespace {

using Language::windowText;

QLabel *makeLabel(QWidget *parent, const char *name, const QString &text, const QRect &geometry,
                  int pixelSize, int weight, Qt::Alignment alignment, const QString &style)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(geometry);
    label->setFont(interFont(pixelSize, weight));
    label->setAlignment(alignment);
    label->setStyleSheet(style);
    return label;
}

const char kStepStyle[] =
    "background: " QX_RAISED ";border-radius: 10px;padding-top: 10px;padding-bottom: 10px;"
    "padding-left: 20px;padding-right: 20px;color: " QX_SOFT ";font-family: Inter;"
    "font-size: 14px;font-weight: 400;line-height: 20px;";

} // namespace

ConsoleOverlay::ConsoleOverlay(QWidget *rootFrame, const QSize &windowSize, QObject *parent) : QObject(parent)
{
    m_overlay = new QWidget(rootFrame);
    m_overlay->setObjectName(QStringLiteral("ConsoleConnOverlay"));
    m_overlay->setGeometry(120, windowSize.height() - 8 - kHeight, kWidth, kHeight);
    m_overlay->setAttribute(Qt::WA_StyledBackground, true);
    m_overlay->setStyleSheet(QStringLiteral("background: transparent;"));
    m_overlay->hide();
    m_overlay->raise();
    m_overlay->installEventFilter(this);

    m_blurBg = new QLabel(m_overlay);
    m_blurBg->setObjectName(QStringLiteral("ConsoleConnBlurBg"));
    m_blurBg->setGeometry(0, 0, kWidth, kHeight);
    m_blurBg->setScaledContents(true);
    m_blurBg->setStyleSheet(QStringLiteral("background: transparent;"));
    auto *blur = new QGraphicsBlurEffect(m_blurBg);
    blur->setBlurRadius(20.0);
    m_blurBg->setGraphicsEffect(blur);

    m_tint = new QWidget(m_overlay);
    m_tint->setObjectName(QStringLiteral("ConsoleConnTint"));
    m_tint->setGeometry(0, 0, kWidth, kHeight);
    m_tint->setAttribute(Qt::WA_StyledBackground, true);
    m_tint->setStyleSheet(QStringLiteral("background-color: rgba(17,19,23,0.80); border-radius: 20px;"));

    const Qt::Alignment leftMiddle = Qt::AlignLeft | Qt::AlignAbsolute | Qt::AlignVCenter;
    makeLabel(m_tint, "ConsoleConnTitle", windowText("Boosted!"), QRect(269, 49, 762, 32), 24, 600,
              Qt::AlignCenter,
              QStringLiteral("color: " QX_WHITE ";background: transparent;font-family: Inter;font-size: 24px;"
                             "font-weight: 600;line-height: 32px;"));
    makeLabel(m_tint, "ConsoleConnSub",
              windowText("Please follow the steps below to set up your PlayStation"), QRect(269, 91, 762, 20),
              14, 600, Qt::AlignCenter,
              QStringLiteral("color: " QX_SOFT ";background: transparent;font-family: Inter;font-size: 14px;"
                             "font-weight: 600;line-height: 20px;"));
    makeLabel(
        m_tint, "ConsoleConnStep1",
        windowText("1.Connect your PS and PC to the same router or switch (wired connection is preferred)."),
        QRect(336, 140, 627, 40), 14, 400, leftMiddle, QLatin1String(kStepStyle));
    makeLabel(m_tint, "ConsoleConnStep2",
              windowText("2.Setting > Network > Internet Connection > LAN/WIFI > Customize > Manual"),
              QRect(369, 195, 562, 40), 14, 400, leftMiddle, QLatin1String(kStepStyle));

    m_step3 = new QWidget(m_tint);
    m_step3->setObjectName(QStringLiteral("ConsoleConnStep3"));
    m_step3->setGeometry(269, 249, 762, 170);
    m_step3->setAttribute(Qt::WA_StyledBackground, true);
    m_step3->setStyleSheet(QStringLiteral("background: " QX_RAISED ";border-radius: 10px;"));
    // The line is a little wider than its designed 474 px in Inter 14: it
    // spans the box, centred on the same middle, so its end is not cut.
    makeLabel(m_step3, "ConsoleConnStep3Text",
              windowText("3.Enter the correct IP address > Connect PS to NAT type >start boostinf"),
              QRect(0, 20, 762, 20), 14, 400, Qt::AlignCenter,
              QStringLiteral("color: " QX_SOFT ";background: transparent;font-family: Inter;font-size: 14px;"
                             "font-weight: 400;line-height: 20px;"));

    // The fixed configuration the network watch gives out: the gateway is the
    // PC, the address is the console's.
    m_gatewayValue = makeConfigBox(0, windowText("Default gateway"), QStringLiteral("172.22.255.34"));
    m_ipValue = makeConfigBox(1, windowText("IP Address:"), QStringLiteral("172.22.255.37"));
    m_dnsValue = makeConfigBox(2, windowText("DNS:"), QStringLiteral("1.1.1.1"));
    m_maskValue = makeConfigBox(3, windowText("Subnet mask:"), QStringLiteral("255.255.0.0"));

    makeLabel(m_tint, "ConsoleConnStep4", windowText("4.Configured! You\u2019ll be redirected."),
              QRect(523, 433, 254, 40), 14, 400, Qt::AlignCenter,
              QStringLiteral("background: " QX_RAISED ";border-radius: 10px;padding: 10px;color: " QX_SOFT ";"
                             "font-family: Inter;font-size: 14px;font-weight: 400;line-height: 20px;"));

    m_spinner = new ConsoleSpinner(m_tint);
    m_spinner->setObjectName(QStringLiteral("ConsoleConnSpinner"));
    m_spinner->move((kWidth - m_spinner->width()) / 2, 503);

    m_status = makeLabel(m_tint, "ConsoleConnVerifying", windowText("Verifying configuration"),
                         QRect(0, m_spinner->height() + 513, kWidth, 20), 14, 400, Qt::AlignCenter,
                         QStringLiteral("color: " QX_ACCENT ";background: transparent;font-family: Inter;"
                                        "font-size: 14px;font-weight: 400;line-height: 20px;"));
}

QLabel *ConsoleOverlay::makeConfigBox(int index, const QString &label, const QString &value)
{
    const BoxLayout &b = m_boxes;
    auto *box = new QWidget(m_step3);
    box->setObjectName(QStringLiteral("ConsoleConnCfgBox"));
    box->setGeometry(b.left + index * (b.width + b.gap), b.top, b.width, b.height);
    box->setAttribute(Qt::WA_StyledBackground, true);
    box->setStyleSheet(QStringLiteral("background-color: rgba(65,66,69,0.40);border-radius: 10px;"));
    makeLabel(box, "ConsoleConnCfgLabel", label, QRect(0, 16, b.width, 16), 12, 500, Qt::AlignCenter,
              QStringLiteral("color: " QX_MUTED ";background: transparent;font-family: Inter;font-size: 12px;"
                             "font-weight: 500;"));
    return makeLabel(box, "ConsoleConnCfgValue", value, QRect(0, 42, b.width, 20), 14, 600, Qt::AlignCenter,
                     QStringLiteral("color: " QX_WHITE
                                    ";background: transparent;font-family: Inter;font-size: 14px;"
                                    "font-weight: 600;"));
}

void ConsoleOverlay::showSnapshot(bool show)
{
    if (!show) {
        m_overlay->hide();
        return;
    }
    if (m_overlay->isVisible())
        m_overlay->hide();
    if (QWidget *parent = m_overlay->parentWidget()) {
        const QPixmap grab = parent->grab(m_overlay->geometry());
        if (!grab.isNull())
            m_blurBg->setPixmap(
                grab.scaled(m_overlay->size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    }
    QPainterPath path;
    path.addRoundedRect(QRectF(m_overlay->rect()), kCornerRadius, kCornerRadius);
    m_overlay->setMask(QRegion(path.toFillPolygon().toPolygon()));
    m_overlay->show();
    m_overlay->raise();
}

void ConsoleOverlay::showConfiguration(const QString &gateway, const QString &ipAddress, const QString &dns,
                                       const QString &subnetMask)
{
    m_gatewayValue->setText(gateway);
    m_ipValue->setText(ipAddress);
    m_dnsValue->setText(dns);
    m_maskValue->setText(subnetMask);
}

void ConsoleOverlay::hideForConsole()
{
    m_overlay->hide();
    m_spinner->hide();
    m_status->hide();
}

void ConsoleOverlay::showProgress(const QString &text)
{
    m_spinner->show();
    // A console seen earlier hid the line with the spinner; the progress
    // needs both.
    m_status->show();
    setStatus(text);
}

void ConsoleOverlay::setStatus(const QString &text)
{
    m_status->setText(text);
}

void ConsoleOverlay::showFailure(const QString &text)
{
    m_spinner->hide();
    m_status->show();
    setStatus(text);
}

bool ConsoleOverlay::eventFilter(QObject *watched, QEvent *event)
{
    // Shown or hidden on its own account (the window may not show yet).
    if (watched == m_overlay &&
        (event->type() == QEvent::ShowToParent || event->type() == QEvent::HideToParent))
        emit shownChanged(event->type() == QEvent::ShowToParent);
    return QObject::eventFilter(watched, event);
}

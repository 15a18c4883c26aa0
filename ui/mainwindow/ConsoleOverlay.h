#pragma once
// The console set-up overlay: a frosted sheet over the connection page that
// walks the player through giving the console the PC as its gateway (title,
// four steps, the four network values to type in), with a spinner and one
// status line, until the console is seen on the network. Its texts are set
// once at construction; it does not mirror.

#include "ui/widgets/WindowArea.h"

#include <QObject>
#include <QSize>
#include <QString>

class ConsoleSpinner;
class QLabel;
class QWidget;

class ConsoleOverlay : public QObject, public WindowArea
{
    Q_OBJECT
public:
    // The boxes of the console's network values, inside the step 3 box.
    struct BoxLayout
    {
        int left = 20;
        int width = 173;
        int gap = 10;
        int top = 60;
        int height = 90;
    };
    static constexpr int kWidth = 1300;
    static constexpr int kHeight = 631;
    static constexpr int kCornerRadius = 20;

    ConsoleOverlay(QWidget *rootFrame, const QSize &windowSize, QObject *parent);

    QWidget *overlay() const { return m_overlay; }
    QLabel *blurBackground() const { return m_blurBg; }
    QWidget *tint() const { return m_tint; }
    QLabel *gatewayValue() const { return m_gatewayValue; }
    QLabel *ipAddressValue() const { return m_ipValue; }
    QLabel *dnsValue() const { return m_dnsValue; }
    QLabel *subnetMaskValue() const { return m_maskValue; }
    ConsoleSpinner *spinner() const { return m_spinner; }
    QLabel *status() const { return m_status; }

    // One value box (caption and value) in the step 3 box; returns its value label.
    QLabel *makeConfigBox(int index, const QString &label, const QString &value);

    // Shows the overlay over a still picture of what lies beneath it, or hides it.
    void showSnapshot(bool show);
    // The console's network values, in the boxes' order.
    void showConfiguration(const QString &gateway, const QString &ipAddress, const QString &dns,
                           const QString &subnetMask);
    // The console was seen: the overlay, its spinner and status line go.
    void hideForConsole();
    // The spinner with a status text (the route analysis), or only the text.
    void showProgress(const QString &text);
    void setStatus(const QString &text);
    // Nothing is under way any more: the spinner stops, the line tells why.
    void showFailure(const QString &text);

signals:
    // The overlay came into view or went out of it.
    void shownChanged(bool shown);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *m_overlay = nullptr;
    QLabel *m_blurBg = nullptr;
    QWidget *m_tint = nullptr;
    QWidget *m_step3 = nullptr;
    QLabel *m_gatewayValue = nullptr;
    QLabel *m_ipValue = nullptr;
    QLabel *m_dnsValue = nullptr;
    QLabel *m_maskValue = nullptr;
    ConsoleSpinner *m_spinner = nullptr;
    QLabel *m_status = nullptr;
    BoxLayout m_boxes;
};

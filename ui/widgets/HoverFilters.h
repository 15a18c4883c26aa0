#pragma once

#include <QObject>
#include <QPixmap>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QString>
#include <QWidget>

class QLabel;

// Swaps a label's picture while the pointer is over it (the settings page's
// info icons turn white under the pointer). Lives as the label's child.
class PixmapHoverFilter : public QObject
{
public:
    PixmapHoverFilter(QLabel *target, const QPixmap &normal, const QPixmap &hover);

    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLabel *m_target;
    QPixmap m_normal;
    QPixmap m_hover;
};

// Shows a rounded tooltip card above its widget while the pointer is over
// it, in place of the system tooltip. Lives as the widget's child; the card
// never takes focus and lets clicks through.
class TooltipHoverFilter : public QObject
{
public:
    // The card: a top-level tool-tip window with one rich-text label.
    class Popup : public QWidget
    {
    public:
        Popup();
        void setText(const QString &text);
        QLabel *label() const { return m_label; }

    private:
        QLabel *m_label = nullptr;
    };

    // How a text is laid out on the card, worked out without a window: the
    // card's size, the width the lines wrap at, where the label sits and the
    // label's rich text.
    struct Layout
    {
        QSize size;
        int wrapWidth = 0;
        QRect labelGeometry;
        QString html;
    };
    static Layout layoutText(const QString &text);

    TooltipHoverFilter(QWidget *target, const QString &text, const QPoint &offset);
    ~TooltipHoverFilter() override;

    bool eventFilter(QObject *watched, QEvent *event) override;
    void showPopup();
    Popup *popup() const { return m_popup.data(); }

private:
    QWidget *m_target;
    QString m_text;
    QPoint m_offset;
    QPointer<Popup> m_popup;
};

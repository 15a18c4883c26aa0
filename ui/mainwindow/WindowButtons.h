#pragma once
#include "ui/widgets/WindowArea.h"

#include <QObject>

class HeaderBand;
class QIcon;
class QPushButton;
class QWidget;

// The minimise and close buttons on the header band. They sit at the band's
// right end, and at its left end for Persian, where the header row's spacer
// widens so the row's contents clear them.
class WindowButtons : public QObject, public WindowArea
{
    Q_OBJECT
public:
    WindowButtons(HeaderBand *header, QObject *parent);

    // A round 54 px window button on the header band; it never takes focus.
    static QPushButton *makeButton(QWidget *header, const QIcon &icon);

    QPushButton *minimizeButton() const { return m_minimize; }
    QPushButton *closeButton() const { return m_close; }

    void place(bool persian) override;
    // The buttons alone moved to their places (the window's resize handling);
    // the header row is left as the language pass set it.
    void follow(bool persian);
    // Both buttons enabled and shown, or disabled and hidden.
    void setEnabled(bool enabled);

signals:
    void minimizeClicked();
    void closeClicked();

private:
    HeaderBand *m_header;
    QPushButton *m_minimize = nullptr;
    QPushButton *m_close = nullptr;
};

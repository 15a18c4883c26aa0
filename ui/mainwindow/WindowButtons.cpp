#include "ui/mainwindow/WindowButtons.h"

#include "ui/mainwindow/HeaderBand.h"
#include "ui/mainwindow/WindowRules.h"
#include "ui/widgets/Palette.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QPushButton>
#include <QSpacerItem>

WindowButtons::WindowButtons(HeaderBand *header, QObject *parent) : QObject(parent), m_header(header)
{
    m_minimize = makeButton(header->header(), QIcon(QStringLiteral(":/icons/window-minus.png")));
    m_minimize->setObjectName(QStringLiteral("WindowMinimizeButton"));
    m_close = makeButton(header->header(), QIcon(QStringLiteral(":/icons/window-close.png")));
    m_close->setObjectName(QStringLiteral("WindowCloseButton"));

    // Fixed design places; the language pass and the resize handling adjust them.
    m_close->move(1366, 20);
    m_minimize->move(1302, 20);

    connect(m_minimize, &QPushButton::clicked, this, &WindowButtons::minimizeClicked);
    connect(m_close, &QPushButton::clicked, this, &WindowButtons::closeClicked);
}

QPushButton *WindowButtons::makeButton(QWidget *header, const QIcon &icon)
{
    auto *button = new QPushButton(header);
    button->setFixedSize(54, 54);
    button->setCursor(Qt::PointingHandCursor);
    button->setFocusPolicy(Qt::NoFocus);
    button->setIcon(icon);
    button->setIconSize(QSize(40, 40));
    button->setStyleSheet(QStringLiteral("QPushButton {  background-color: " QX_PANEL ";  border: none;  "
                                         "border-radius: 27px;  padding: 0;}QPushButton:hover {  "
                                         "background-color: " QX_WINDOW_BUTTON_HOVER ";}"));
    return button;
}

void WindowButtons::follow(bool persian)
{
    QWidget *band = m_header->header();
    const int right = band->width() >= 1 ? band->width() : band->window()->width();
    const WindowRules::WindowButtonPlaces places = WindowRules::windowButtonPlaces(right, persian);
    m_close->move(places.close);
    m_minimize->move(places.minimize);
    for (QPushButton *button : {m_close, m_minimize}) {
        if (button->isVisible())
            button->raise();
    }
}

void WindowButtons::place(bool persian)
{
    follow(persian);
    m_close->raise();
    m_minimize->raise();

    QHBoxLayout *row = m_header->row();
    const int spacer =
        WindowRules::headerSpacerWidth(persian, m_minimize->x() + m_minimize->width(),
                                       row->contentsMargins().left(), m_header->miniLogoWrap()->width());
    m_header->spacer()->changeSize(spacer, 0, QSizePolicy::Fixed, QSizePolicy::Minimum);
    row->invalidate();
    row->activate();
}

void WindowButtons::setEnabled(bool enabled)
{
    for (QPushButton *button : {m_minimize, m_close}) {
        button->setEnabled(enabled);
        button->setVisible(enabled);
    }
}

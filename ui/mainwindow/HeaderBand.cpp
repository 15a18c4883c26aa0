#include "ui/mainwindow/HeaderBand.h"

#include "ui/mainwindow/WindowRules.h"
#include "ui/widgets/Palette.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QSpacerItem>
#include <QVBoxLayout>

HeaderBand::HeaderBand(QWidget *window, QWidget *rootFrame) : QObject(window), m_window(window)
{
    m_header = new QWidget(rootFrame);
    m_header->setObjectName(QStringLiteral("NewHeader"));
    m_header->setMinimumHeight(330);
    m_header->setMaximumHeight(330);
    m_header->setAttribute(Qt::WA_StyledBackground, true);
    m_header->setStyleSheet(QStringLiteral(
        "QWidget#NewHeader {  border-image: url(:/icons/Application.jpg) 0 0 0 0 stretch stretch;}"));
    m_row = new QHBoxLayout(m_header);
    m_row->setContentsMargins(24, 20, 0, 0);
    m_row->setSpacing(0);

    // The column keeps room in the header row; the logo and line that the user
    // sees are children of the window so they stay put while the page scrolls.
    m_miniLogoWrap = new QWidget(m_header);
    m_miniLogoWrap->setObjectName(QStringLiteral("MiniLogoWrap"));
    m_miniLogoWrap->setAttribute(Qt::WA_StyledBackground, true);
    m_miniLogoWrap->setStyleSheet(QStringLiteral("QWidget#MiniLogoWrap { background: transparent; }"));
    m_miniLogoWrap->setFixedWidth(WindowRules::kSideNavWidth);
    auto *column = new QVBoxLayout(m_miniLogoWrap);
    column->setContentsMargins(0, 8, 0, 0);
    column->setSpacing(0);

    auto *placeholder = new QLabel(m_miniLogoWrap);
    placeholder->setObjectName(QStringLiteral("MiniLogo"));
    placeholder->setFixedSize(45, 39);
    placeholder->setStyleSheet(QStringLiteral("background: transparent;"));
    column->addWidget(placeholder, 0, Qt::AlignHCenter | Qt::AlignTop);
    column->addSpacing(25);

    const QPixmap logo(QStringLiteral(":/icons/logo-mino.png"));
    m_fixedLogo = new QLabel(window);
    m_fixedLogo->setObjectName(QStringLiteral("FixedMiniLogo"));
    m_fixedLogo->setFixedSize(45, 39);
    if (!logo.isNull())
        m_fixedLogo->setPixmap(logo.scaled(45, 39, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    m_fixedLogo->setStyleSheet(QStringLiteral("background: transparent;"));
    m_fixedLogo->move(36, WindowRules::kMiniLogoY);

    m_fixedLogoLine = new QFrame(window);
    m_fixedLogoLine->setObjectName(QStringLiteral("FixedMiniLogoLine"));
    m_fixedLogoLine->setFixedSize(44, 1);
    m_fixedLogoLine->setFrameShape(QFrame::NoFrame);
    m_fixedLogoLine->setStyleSheet(QStringLiteral("background-color: " QX_BORDER "; border: none;"));
    m_fixedLogoLine->move(36, WindowRules::kMiniLogoLineY);

    auto *columnLine = new QFrame(m_miniLogoWrap);
    columnLine->setFixedSize(44, 1);
    columnLine->setFrameShape(QFrame::NoFrame);
    columnLine->setStyleSheet(QStringLiteral("background-color: transparent; border: none;"));
    column->addWidget(columnLine, 0, Qt::AlignHCenter);
    column->addSpacing(24);

    m_row->addWidget(m_miniLogoWrap, 0, Qt::AlignTop);
    m_spacer = new QSpacerItem(35, 0, QSizePolicy::Fixed, QSizePolicy::Minimum);
    m_row->addItem(m_spacer);

    m_header->installEventFilter(this);
}

bool HeaderBand::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_header)
        return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() != Qt::LeftButton)
            break;
        m_dragging = true;
        m_dragOffset = mouse->globalPosition().toPoint() - m_window->frameGeometry().topLeft();
        return true;
    }
    case QEvent::MouseMove:
        if (!m_dragging)
            break;
        m_window->move(static_cast<QMouseEvent *>(event)->globalPosition().toPoint() - m_dragOffset);
        return true;
    case QEvent::MouseButtonRelease:
        if (static_cast<QMouseEvent *>(event)->button() != Qt::LeftButton)
            break;
        m_dragging = false;
        return true;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

// Root frame, header band with its mini-logo column, and the side-navigation item table.
#include "ui/mainwindow/MainWindow.h"

#include "ui/mainwindow/WindowRules.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QSpacerItem>
#include <QVBoxLayout>

void MainWindow::buildRootFrame(MainWindowBuildContext &ctx)
{
    auto *frame = new QWidget(this);
    frame->setObjectName(QStringLiteral("WindowFrame"));
    frame->setAttribute(Qt::WA_StyledBackground, true);
    frame->setStyleSheet(QStringLiteral("QWidget#WindowFrame { background: #111317; border-radius: 8px; }"));
    auto *layout = new QVBoxLayout(frame);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    ctx.rootFrame = frame;
    ctx.rootLayout = layout;
}

void MainWindow::buildHeaderBand(MainWindowBuildContext &ctx)
{
    m_header = new QWidget(ctx.rootFrame);
    m_header->setObjectName(QStringLiteral("NewHeader"));
    m_header->setMinimumHeight(330);
    m_header->setMaximumHeight(330);
    m_header->setAttribute(Qt::WA_StyledBackground, true);
    m_header->setStyleSheet(QStringLiteral(
        "QWidget#NewHeader {  border-image: url(:/icons/Application.jpg) 0 0 0 0 stretch stretch;}"));
    auto *row = new QHBoxLayout(m_header);
    row->setContentsMargins(24, 20, 0, 0);
    row->setSpacing(0);
    ctx.headerRow = row;

    // The column keeps room in the header row; the logo and line that the user
    // sees are children of the window so they stay put while the page scrolls.
    auto *wrap = new QWidget(m_header);
    wrap->setObjectName(QStringLiteral("MiniLogoWrap"));
    wrap->setAttribute(Qt::WA_StyledBackground, true);
    wrap->setStyleSheet(QStringLiteral("QWidget#MiniLogoWrap { background: transparent; }"));
    wrap->setFixedWidth(WindowRules::kSideNavWidth);
    auto *column = new QVBoxLayout(wrap);
    column->setContentsMargins(0, 8, 0, 0);
    column->setSpacing(0);
    ctx.miniLogoWrap = wrap;

    auto *placeholder = new QLabel(wrap);
    placeholder->setObjectName(QStringLiteral("MiniLogo"));
    placeholder->setFixedSize(45, 39);
    placeholder->setStyleSheet(QStringLiteral("background: transparent;"));
    column->addWidget(placeholder, 0, Qt::AlignHCenter | Qt::AlignTop);
    column->addSpacing(25);

    const QPixmap logo(QStringLiteral(":/icons/logo-mino.png"));
    auto *fixedLogo = new QLabel(this);
    fixedLogo->setObjectName(QStringLiteral("FixedMiniLogo"));
    fixedLogo->setFixedSize(45, 39);
    if (!logo.isNull())
        fixedLogo->setPixmap(logo.scaled(45, 39, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    fixedLogo->setStyleSheet(QStringLiteral("background: transparent;"));
    fixedLogo->move(36, WindowRules::kMiniLogoY);
    ctx.fixedMiniLogo = fixedLogo;

    auto *fixedLine = new QFrame(this);
    fixedLine->setObjectName(QStringLiteral("FixedMiniLogoLine"));
    fixedLine->setFixedSize(44, 1);
    fixedLine->setFrameShape(QFrame::NoFrame);
    fixedLine->setStyleSheet(QStringLiteral("background-color: #414245; border: none;"));
    fixedLine->move(36, WindowRules::kMiniLogoLineY);
    ctx.fixedMiniLogoLine = fixedLine;

    auto *columnLine = new QFrame(wrap);
    columnLine->setFixedSize(44, 1);
    columnLine->setFrameShape(QFrame::NoFrame);
    columnLine->setStyleSheet(QStringLiteral("background-color: transparent; border: none;"));
    column->addWidget(columnLine, 0, Qt::AlignHCenter);
    column->addSpacing(24);

    ctx.navItems = {
        {QStringLiteral(":/icons/house-fill.png"), QStringLiteral("Home")},
        {QStringLiteral(":/icons/game-controller-fill.png"), QStringLiteral("Games")},
        {QStringLiteral(":/icons/cell-tower-fill.png"), QStringLiteral("Network")},
        {QStringLiteral(":/icons/sittingsspng.png"), QStringLiteral("Setting")},
        {QStringLiteral(":/icons/user.svg"), QStringLiteral("Profile")},
    };
    row->addWidget(wrap, 0, Qt::AlignTop);
    ctx.headerSpacer = new QSpacerItem(35, 0, QSizePolicy::Fixed, QSizePolicy::Minimum);
    row->addItem(ctx.headerSpacer);
}

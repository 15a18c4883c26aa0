// The minimise and close buttons on the header band and their placement.
#include "ui/mainwindow/MainWindow.h"

#include "ui/mainwindow/WindowRules.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QSpacerItem>
#include <QTimer>
#include <QWidget>

#include "i18n/TranslationManager.h"

QPushButton *MainWindow::makeWindowButton(const QIcon &icon)
{
    auto *button = new QPushButton(m_header);
    button->setFixedSize(54, 54);
    button->setCursor(Qt::PointingHandCursor);
    button->setFocusPolicy(Qt::NoFocus);
    button->setIcon(icon);
    button->setIconSize(QSize(40, 40));
    button->setStyleSheet(QStringLiteral("QPushButton {  background-color: #111317;  border: none;  "
                                         "border-radius: 27px;  padding: 0;}QPushButton:hover {  "
                                         "background-color: #17191f;}"));
    return button;
}

void MainWindow::buildWindowButtons(MainWindowBuildContext &ctx)
{
    ctx.minimizeButton = makeWindowButton(QIcon(QStringLiteral(":/icons/window-minus.png")));
    ctx.minimizeButton->setObjectName(QStringLiteral("WindowMinimizeButton"));
    ctx.closeButton = makeWindowButton(QIcon(QStringLiteral(":/icons/window-close.png")));
    ctx.closeButton->setObjectName(QStringLiteral("WindowCloseButton"));

    // Fixed design places; the language hook and the resize handling adjust them.
    ctx.closeButton->move(1366, 20);
    ctx.minimizeButton->move(1302, 20);
    if (auto *pill = m_header->findChild<QWidget *>(QStringLiteral("AccountPill")))
        pill->move(1022, 20);
    if (auto *bell = m_header->findChild<QWidget *>(QStringLiteral("NotifBellButton")))
        bell->move(958, 20);

    connect(ctx.minimizeButton, &QPushButton::clicked, this, &MainWindow::minimizeWindow);
    connect(ctx.closeButton, &QPushButton::clicked, this, &MainWindow::closeWindow);

    ctx.rootLayout->addWidget(m_header, 0);

    WindowButtonsHook hook{ctx.minimizeButton, ctx.closeButton, ctx.headerRow, ctx.miniLogoWrap,
                           ctx.headerSpacer};
    installLanguageHook([this, hook](const QString &code) { placeWindowButtons(hook, code); },
                        /*alsoDeferred=*/false);
    QTimer::singleShot(0, this, [this, hook] { deferPlaceWindowButtons(hook); });

    m_header->installEventFilter(this);
}

void MainWindow::placeWindowButtons(const WindowButtonsHook &hook, const QString &languageCode)
{
    if (!hook.minimizeButton || !hook.closeButton)
        return;
    const bool persian = WindowRules::isPersian(languageCode);
    const int right = (m_header && m_header->width() >= 1) ? m_header->width() : width();
    const WindowRules::WindowButtonPlaces places = WindowRules::windowButtonPlaces(right, persian);
    hook.closeButton->move(places.close);
    hook.minimizeButton->move(places.minimize);
    hook.closeButton->raise();
    hook.minimizeButton->raise();

    if (!hook.headerRow || !hook.miniLogoWrap || !hook.headerSpacer)
        return;
    const int spacer =
        WindowRules::headerSpacerWidth(persian, hook.minimizeButton->x() + hook.minimizeButton->width(),
                                       hook.headerRow->contentsMargins().left(), hook.miniLogoWrap->width());
    hook.headerSpacer->changeSize(spacer, 0, QSizePolicy::Fixed, QSizePolicy::Minimum);
    hook.headerRow->invalidate();
    hook.headerRow->activate();
}

void MainWindow::deferPlaceWindowButtons(const WindowButtonsHook &hook)
{
    TranslationManager *translations = TranslationManager::instance();
    placeWindowButtons(hook, translations ? translations->currentLanguage() : QStringLiteral("en-US"));
}

void MainWindow::minimizeWindow()
{
    window()->showMinimized();
}

void MainWindow::closeWindow()
{
    window()->close();
}

void MainWindow::setWindowControlsEnabled(bool enabled)
{
    if (!m_windowControlsBar)
        return;
    const auto buttons = m_windowControlsBar->findChildren<QPushButton *>();
    for (QPushButton *button : buttons) {
        if (button->objectName() != QLatin1String("windowControl"))
            continue;
        button->setEnabled(enabled);
        button->setVisible(enabled);
    }
}

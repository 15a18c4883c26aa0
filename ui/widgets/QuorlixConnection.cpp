#include "ui/widgets/QuorlixConnection.h"

#include <QVBoxLayout>

QuorlixConnection::QuorlixConnection(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("QuorlixConnectionPage"));
    setAttribute(Qt::WA_StyledBackground, true);
    setStyleSheet(QStringLiteral("QWidget#QuorlixConnectionPage { background: transparent; }"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addStretch();
}

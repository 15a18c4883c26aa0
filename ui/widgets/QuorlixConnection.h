#pragma once
#include <QWidget>

// Page 1 of the window's page stack: a transparent container for the
// connection view, whose panels float over it as children of the root frame.
class QuorlixConnection : public QWidget
{
    Q_OBJECT
public:
    explicit QuorlixConnection(QWidget *parent = nullptr);
};

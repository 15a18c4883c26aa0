#pragma once
#include <QWidget>

// Stand-in for the full-window ping sweep page, to be filled.
class PingOptimizerPage : public QWidget
{
    Q_OBJECT
public:
    explicit PingOptimizerPage(QWidget *parent = nullptr);

signals:
    void finished();
};

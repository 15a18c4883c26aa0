#pragma once
#include <QWidget>

// The client's one top-level window: frameless, fixed size, built area by area.
class MainWindow : public QWidget
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);
};

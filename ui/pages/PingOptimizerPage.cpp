#include "ui/pages/PingOptimizerPage.h"

PingOptimizerPage::PingOptimizerPage(QWidget *parent) : QWidget(parent) {}

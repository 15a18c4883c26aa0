#pragma once
// The server region page of a game's connection view, shown in place of the
// connection page: its back button and title, the explanation panel on the
// right, and the picker panel on the left (the Automatic and Manual cards,
// the search field, the region list and the servers page). The picker's
// behaviour lives in ServerPicker, which works on the widgets built here.
// Texts are set once; the page keeps its left-to-right layout in every
// language.

#include "ui/pages/servers/ServerPicker.h"

#include <QObject>

class QLabel;
class QPushButton;
class QWidget;

class ServerRegionPage : public QObject
{
    Q_OBJECT
public:
    // The twelve regions of the list, in order ("Auto" first), in English.
    static const QStringList &regionNames();

    ServerRegionPage(QWidget *rootFrame, int windowWidth, QObject *parent);

    QPushButton *backButton() const { return m_back; }
    QLabel *title() const { return m_title; }
    QWidget *leftPanel() const { return m_leftPanel; }
    QWidget *rightPanel() const { return m_rightPanel; }
    const ServerPicker::Widgets &pickerWidgets() const { return m_picker; }

    // Every part of the page shown (true) or hidden.
    void setShown(bool shown);

signals:
    void backClicked();

private:
    void buildRightPanel(QWidget *rootFrame, int windowWidth);
    void buildLeftPanel(QWidget *rootFrame, int windowWidth);
    void buildCards(QWidget *panel);
    void buildSearch(QWidget *panel);
    void buildRegionList(QWidget *panel);

    QPushButton *m_back = nullptr;
    QLabel *m_title = nullptr;
    QWidget *m_rightPanel = nullptr;
    QWidget *m_leftPanel = nullptr;
    ServerPicker::Widgets m_picker;
};

#pragma once
#include <QString>

class QLabel;
class QObject;
class QPushButton;
class QWidget;
class SettingsStore;

// The small controls of the settings page's option rows: a 40 x 22 switch
// bound to a boolean option, an info icon that turns white and shows a
// tooltip card under the pointer, and a "Recommended" badge beside it.
// A switch's state lives in its hit button's "on" property; a null store
// means there is no database (switches flip but store nothing).
namespace SettingsControls {

struct SettingsSwitchWidgets
{
    QWidget *track = nullptr;
    QWidget *knob = nullptr;
    QString trackName;
    QString knobName;
};

// The look for the state: track and knob colours, knob at (21, 3) or (3, 3).
void styleSettingsSwitch(const SettingsSwitchWidgets &widgets, bool on);
// Flips the switch, restyles it and stores the new state (a failed write
// leaves the new state on screen).
void toggleSettingsSwitch(QPushButton *hit, const SettingsSwitchWidgets &widgets, const QString &key,
                          SettingsStore *store);

// Builds a switch at (x, y) in the card showing the stored state (the default
// is stored when the key has none) and wires its click. The click's context
// is `context`, or the track when none is given.
QPushButton *makeSettingsSwitch(QWidget *card, const QString &trackName, const QString &knobName,
                                const QString &hitName, const QString &key, bool defaultOn, int x, int y,
                                SettingsStore *store, QObject *context = nullptr);

// A switch whose click runs one of the named toggles below, with `context`
// as the click's context (the inline switches of the upper cards).
using NamedToggle = void (*)(QPushButton *hit, QWidget *track, QWidget *knob, const QString &key,
                             SettingsStore *store);
QPushButton *makeNamedSwitch(QWidget *card, const QString &stem, const QString &key, bool defaultOn, int x,
                             int y, SettingsStore *store, QObject *context, NamedToggle toggle);

// The inline switches of the Application behavior and Notifications cards.
void styleStartupSwitch(QWidget *track, QWidget *knob, bool on);
void styleTraySwitch(QWidget *track, QWidget *knob, bool on);
void styleNotifConnSwitch(QWidget *track, QWidget *knob, bool on);
void styleNotifServerSwitch(QWidget *track, QWidget *knob, bool on);
void toggleStartupSwitch(QPushButton *hit, QWidget *track, QWidget *knob, const QString &key,
                         SettingsStore *store);
void toggleTraySwitch(QPushButton *hit, QWidget *track, QWidget *knob, const QString &key,
                      SettingsStore *store);
void toggleNotifConnSwitch(QPushButton *hit, QWidget *track, QWidget *knob, const QString &key,
                           SettingsStore *store);
void toggleNotifServerSwitch(QPushButton *hit, QWidget *track, QWidget *knob, const QString &key,
                             SettingsStore *store);

// A 21 x 21 help icon at (x, y) that turns white under the pointer.
QLabel *makeInfoIcon(QWidget *card, const QString &name, int x, int y);
// The description card under the pointer in place of the system tool tip.
void setInfoTooltip(QLabel *icon, const QString &text);

// A "Recommended" badge fitted to its text, not yet placed. The catalogue
// context of its text is given ("QObject" or "MainWindow").
QLabel *makeRecommendedBadge(QWidget *card, const QString &name, const char *context = "QObject");
// Beside the anchor (after it, or before it near the card's right edge),
// never left of x 20, vertically centred on centreY.
void placeBadge(QWidget *container, QWidget *anchor, QWidget *badge, int centreY);

} // namespace SettingsControls

#pragma once
#include <QFont>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class QLabel;
class QObject;
class QWidget;
class QxSelectPopup;
class SettingsStore;

// The single-choice fields of the settings page: a dark rounded box with an
// optional icon, the value and a caret, opening a select popup attached to
// it. The box carries its closed, open and open-up sheets as the dynamic
// properties "qxClosedStyle", "qxOpenStyle" and "qxOpenUpStyle".
namespace SettingsSelectField {

struct Widgets
{
    QWidget *box = nullptr;
    QLabel *icon = nullptr; // null without an icon path
    QLabel *text = nullptr;
    QLabel *caret = nullptr;
};

// Where the icon sits and where the value text starts for an icon size,
// icon left and icon gap (see makeSelectField); textX 14 without an icon.
struct IconPlace
{
    int size = 0;
    int x = 0;
    int textX = 14;
};
IconPlace iconPlace(bool hasIcon, int boxHeight, int iconSize, int iconLeft, int iconGap);

Widgets makeSelectField(const QFont &textFont, const QString &textSheet, QWidget *card,
                        const QString &boxName, int x, int y, int w, int h, const QString &iconPath,
                        const QString &initialText, const QString &iconName, const QString &textName,
                        const QString &caretName, int iconSize, int iconLeft, int iconGap);

// A transparent button over the whole box (named after it with "Hit") that
// runs the toggle; the click's context is `context`. Nothing without a box.
QWidget *addOptionHitArea(QObject *context, QWidget *box, std::function<void()> toggle);

// The settings look of a popup: attached, flat, 43-high rows whose text
// starts at `inset` (the box's value text x). A null popup is left alone.
void applyDefaultSelectStyle(QxSelectPopup *popup, int inset);

// The box's closed look (a popup's hidden handler).
void restoreSelectFieldStyle(QWidget *box, const QString &closedSheet);

// Hides each visible popup of `group`; then hides `popup` if it is still
// visible, or else opens it for the box (below, or above when the screen has
// no room) and gives the box the matching open sheet.
void hideOptionPopups(const QList<QxSelectPopup *> &group);
void toggleSelectPopup(QxSelectPopup *popup, QWidget *box, const QList<QxSelectPopup *> &group);

// Stored values and rows.
QString readDbSetting(SettingsStore *store, const QString &key, const QString &defaultValue);
int indexAmongThree(const QString &value, const QString &first, const QString &second, const QString &third);
int routeProtocolIndex(const QString &value);
// The name the choice stores for a row: `names` at the index, the first name
// for any index outside them.
QString choiceName(const QStringList &names, int index);

// One field's choice: store the English name, show it, mark the row, close the look.
struct Choice
{
    QString key;
    QStringList names;
};
void choose(const Choice &choice, int index, const Widgets &field, QxSelectPopup *popup,
            SettingsStore *store);

} // namespace SettingsSelectField

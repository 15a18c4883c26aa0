#pragma once
// The games grid's decisions as plain functions: which category an entry
// belongs to, under which key its clicks are counted, which chip selects
// what, the order of the tiles and where each one goes.

#include <QPoint>
#include <QString>
#include <QVector>

struct GameApiItem;

namespace GamesGridRules {

inline constexpr int kTileCap = 70;
inline constexpr int kLeftMargin = 20;
inline constexpr int kColumnPitch = 180;
inline constexpr int kRowPitch = 329;
inline constexpr int kRowGap = 24;
inline constexpr int kMaxColumns = 7;
inline constexpr int kChipCount = 6;

// "browser", "voice", "launcher", "streaming", "emulator" or "games", from the
// entry's type, tags and category.
QString gameCategoryKey(const GameApiItem &entry);
// "id:<id>" when the entry has an id, else "t:<title>|<platform>".
QString gameClickKey(const QString &id, const QString &title, const QString &platform);
// The category a chip selects: "" for All (id 0), then "games", "browser",
// "voice", "launcher", "streaming". False for an id outside the chips.
bool chipCategoryKey(int chipId, QString *key);
// The English text of a chip, for translation.
const char *chipText(int chipId);

// Columns that fit a section of this width, 1 ... 7.
int gridColumns(int sectionWidth);
// Indices into a filtered list: the most-clicked (at least once) first, at
// most one row of them, then every other entry in its own order.
QVector<int> orderByClicks(const QVector<int> &clicks, int columns);
QPoint tilePosition(int index, int columns);
// The content's height for count tiles, never below minHeight.
int contentHeight(int count, int columns, int minHeight);

} // namespace GamesGridRules

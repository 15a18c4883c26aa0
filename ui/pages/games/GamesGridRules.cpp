#include "ui/pages/games/GamesGridRules.h"

#include "services/GamesCatalogue.h"

#include <algorithm>

namespace GamesGridRules {

QString gameCategoryKey(const GameApiItem &entry)
{
    QString haystack = entry.type.trimmed().toLower();
    for (const QString &tag : entry.tags) {
        const QString t = tag.trimmed();
        if (!t.isEmpty())
            haystack += QLatin1Char(' ') + t.toLower();
    }
    const QString category = entry.category.trimmed();
    if (!category.isEmpty())
        haystack += QLatin1Char(' ') + category.toLower();

    struct Row
    {
        const char *key;
        std::initializer_list<const char *> words;
    };
    static const Row rows[] = {
        {"browser", {"browser"}},          {"voice", {"voice", "audio"}},
        {"launcher", {"launcher"}},        {"streaming", {"streaming", "stream"}},
        {"emulator", {"emulator", "emu"}},
    };
    for (const Row &row : rows) {
        for (const char *word : row.words) {
            if (haystack.contains(QLatin1String(word)))
                return QString::fromLatin1(row.key);
        }
    }
    return QStringLiteral("games");
}

QString gameClickKey(const QString &id, const QString &title, const QString &platform)
{
    const QString trimmedId = id.trimmed();
    if (!trimmedId.isEmpty())
        return QStringLiteral("id:") + trimmedId;
    return QStringLiteral("t:") + title.trimmed() + QLatin1Char('|') + platform.trimmed();
}

static const char *const kChips[kChipCount][2] = {
    {"", "All"},        {"games", "Games"},       {"browser", "Browser"},
    {"voice", "Voice"}, {"launcher", "Launcher"}, {"streaming", "Streaming"},
};

bool chipCategoryKey(int chipId, QString *key)
{
    if (chipId < 0 || chipId >= kChipCount)
        return false;
    *key = QString::fromLatin1(kChips[chipId][0]);
    return true;
}

const char *chipText(int chipId)
{
    return chipId >= 0 && chipId < kChipCount ? kChips[chipId][1] : "";
}

int gridColumns(int sectionWidth)
{
    return std::clamp((sectionWidth - 20 - 35 + 20) / kColumnPitch, 1, kMaxColumns);
}

QVector<int> orderByClicks(const QVector<int> &clicks, int columns)
{
    const int n = clicks.size();
    QVector<int> sorted(n);
    for (int i = 0; i < n; ++i)
        sorted[i] = i;
    std::stable_sort(sorted.begin(), sorted.end(), [&clicks](int a, int b) { return clicks[a] > clicks[b]; });

    QVector<int> out;
    out.reserve(n);
    QVector<bool> taken(n, false);
    for (int index : std::as_const(sorted)) {
        if (out.size() >= columns || clicks[index] < 1)
            break;
        out.append(index);
        taken[index] = true;
    }
    for (int i = 0; i < n; ++i) {
        if (!taken[i])
            out.append(i);
    }
    return out;
}

QPoint tilePosition(int index, int columns)
{
    return QPoint(kLeftMargin + (index % columns) * kColumnPitch, (index / columns) * kRowPitch);
}

int contentHeight(int count, int columns, int minHeight)
{
    const int rows = (count + columns - 1) / columns;
    return std::max(std::max(rows * kRowPitch - kRowGap + 20, 0), minHeight);
}

} // namespace GamesGridRules

#pragma once
// How much of what the service sends the client takes in. The service is
// outside the client's control, and so is whatever answers in its place (a
// captive portal, a proxy, an attacker on the path): every reply is read
// within these bounds, and what is kept on disk stays within them too. Each
// bound lies far above anything a real catalogue, relay list or
// notification list comes near, so only a broken or hostile reply meets one.

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

namespace ReplyBounds {

// A whole reply body. A catalogue of several thousand games of one to two
// KiB each stays far under it; a larger body is refused before it is
// parsed, and what was cached from an earlier reply stays.
constexpr qint64 kMaxBodyBytes = 16 * 1024 * 1024;
// Bodies above this are parsed on a worker thread: parsing a few hundred
// KiB of JSON already holds the GUI thread for milliseconds.
constexpr qint64 kParseOffThreadBytes = 256 * 1024;
// A text: title, name, category, id, address, tag, port or domain. Real
// ones are tens of characters.
constexpr int kMaxTextChars = 4096;
// A game's description or a notification's body: a few paragraphs at most.
constexpr int kMaxLongTextChars = 64 * 1024;
// Entries of one reply. The service's catalogue holds a few thousand games
// and its relay list a few hundred relays; a notification request asks for
// 20.
constexpr int kMaxGames = 20000;
constexpr int kMaxRelays = 5000;
constexpr int kMaxNotifications = 1000;
// A list inside one entry (a game's tags, ports, domains, boost profiles):
// real ones hold a handful to a few dozen values.
constexpr int kMaxListItems = 1000;
// Arrays and objects inside one entry: a game's boost profile holds its own
// port and domain lists, three levels down.
constexpr int kMaxDepth = 6;

// What bounding changed in one reply, for the one log line it gets.
struct Report
{
    int entries = 0;       // object entries the reply held
    int kept = 0;          // entries kept
    int refused = 0;       // entries refused whole (an over-long id)
    int textsCut = 0;      // texts cut to their bound
    int valuesDropped = 0; // over-long addresses, list items and nesting left out

    bool any() const { return entries != kept || textsCut > 0 || valuesDropped > 0; }
    // "kept 20000 of 100000 games (refused 0), cut 2 texts, left out 1 value"
    QString summary(const QString &what) const;
};

// How one kind of entry is bounded.
struct EntryRules
{
    int maxEntries = 0;
    // Only these members are kept when set (the rest is never read).
    QStringList onlyKeys;
    // An over-long text here refuses the entry: a cut id would name another.
    QStringList refuseKeys;
    // An over-long text here is left out: a cut address fetches something else.
    QStringList dropKeys;
    // kMaxLongTextChars instead of kMaxTextChars.
    QStringList longTextKeys;
};

// A text member of a reply, cut to its bound.
QString text(const QJsonValue &value, int limit = kMaxTextChars);
// A text member that is of no use cut short (a token, an id): empty when it
// is longer than its bound.
QString wholeText(const QJsonValue &value, int limit = kMaxTextChars);

const EntryRules &gameRules();
const EntryRules &relayRules();
const EntryRules &notificationRules();

// The object entries of `array` within the rules, in order: at most
// maxEntries of them, each bounded; elements that are not objects, and
// refused entries, are left out. Entries that need no change are shared,
// not copied.
QJsonArray bound(const QJsonArray &array, const EntryRules &rules, Report *report);

} // namespace ReplyBounds

#include "LayoutCheck.h"

#include "ui/widgets/FittedText.h"

#include <QAbstractButton>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QTextDocument>
#include <QWidget>

#include <algorithm>

namespace {

// Widgets meant to lie over their siblings, or over the whole window: the
// transparent hit buttons of a composite (a card, a pill, a select box), the
// circle's button over its two discs, and the dimmed backdrops of the
// window's dialogs.
bool coversOnPurpose(const QWidget *w)
{
    // A picture filling its whole parent is that parent's backdrop.
    if (qobject_cast<const QLabel *>(w) && w->parentWidget() && w->geometry() == w->parentWidget()->rect())
        return true;
    const QString name = w->objectName();
    return name.endsWith(QLatin1String("Hit")) || name.endsWith(QLatin1String("ClickArea")) ||
           name.endsWith(QLatin1String("Click")) || name.endsWith(QLatin1String("Backdrop")) ||
           name == QLatin1String("ConnCircleButton");
}

// The part of `w` the window shows: its rectangle in the window's
// coordinates, cut by every ancestor's.
QRect shownRect(const QWidget *w, const QWidget *window)
{
    QRect r(w->mapTo(window, QPoint(0, 0)), w->size());
    for (const QWidget *p = w->parentWidget(); p && p != window; p = p->parentWidget())
        r &= QRect(p->mapTo(window, QPoint(0, 0)), p->size());
    return r;
}

bool shownIn(const QWidget *w, const QWidget *window)
{
    return w->window() == window && w->isVisible() && !shownRect(w, window).isEmpty();
}

bool isRichText(const QLabel *label)
{
    return label->textFormat() == Qt::RichText ||
           (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(label->text()));
}

QString describe(const QWidget *w)
{
    QString name = w->objectName();
    if (name.isEmpty()) {
        name = QString::fromLatin1(w->metaObject()->className());
        if (const QWidget *p = w->parentWidget())
            name +=
                QStringLiteral(" in ") + (p->objectName().isEmpty() ? QStringLiteral("?") : p->objectName());
    }
    if (const auto *label = qobject_cast<const QLabel *>(w))
        name += QStringLiteral(" \"%1\"").arg(label->text().left(40));
    return name;
}

// Where a label's text is drawn: its lines placed by the label's alignment
// (as the label aligns them for the text's direction); for one line, only
// the inked part of it, so stacked labels whose line boxes touch do not count.
QRect textRect(const QLabel *label)
{
    const QFontMetrics metrics(label->font());
    int width = 0;
    const QStringList lines = label->text().split(QLatin1Char('\n'));
    for (const QString &line : lines)
        width = std::max(width, metrics.horizontalAdvance(line));
    const QSize size(width, metrics.height() * int(lines.size()));
    const QRect area =
        label->contentsRect().adjusted(label->margin(), label->margin(), -label->margin(), -label->margin());
    const Qt::LayoutDirection direction = label->text().isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight;
    const QRect placed =
        QStyle::alignedRect(direction, QStyle::visualAlignment(direction, label->alignment()), size, area);
    QRect drawn = placed;
    if (lines.size() == 1) {
        const QRect ink = metrics.tightBoundingRect(label->text());
        drawn = ink.translated(placed.left(), placed.top() + metrics.ascent());
    }
    return drawn.translated(label->pos()) & label->geometry();
}

// Whether a sibling stacked above `w` covers it whole (a page over the
// whole window, such as the ping sweep's).
bool coveredFromAbove(const QWidget *w)
{
    const QWidget *parent = w->parentWidget();
    if (!parent)
        return false;
    const QObjectList &siblings = parent->children();
    for (qsizetype i = siblings.indexOf(const_cast<QWidget *>(w)) + 1; i < siblings.size(); ++i) {
        const auto *above = qobject_cast<const QWidget *>(siblings.at(i));
        if (above && !above->isWindow() && above->isVisible() && above->geometry().contains(w->geometry()) &&
            !above->testAttribute(Qt::WA_TransparentForMouseEvents))
            return true;
    }
    return false;
}

void checkNavigation(QWidget *window, QStringList *faults)
{
    QList<QRect> navigation;
    QList<QWidget *> navigationWidgets;
    for (const char *name : {"HeaderNavDots", "FixedMiniLogo"}) {
        QWidget *w = window->findChild<QWidget *>(QLatin1String(name));
        if (w && shownIn(w, window) && !coveredFromAbove(w)) {
            navigation << shownRect(w, window);
            navigationWidgets << w;
        }
    }
    if (navigation.isEmpty())
        return;
    QList<QWidget *> controls;
    for (QAbstractButton *b : window->findChildren<QAbstractButton *>())
        controls << b;
    for (QLineEdit *e : window->findChildren<QLineEdit *>())
        controls << e;
    for (QWidget *control : std::as_const(controls)) {
        if (!shownIn(control, window) || !control->isEnabled() || coversOnPurpose(control))
            continue;
        const bool own =
            std::any_of(navigationWidgets.begin(), navigationWidgets.end(),
                        [control](QWidget *n) { return n == control || n->isAncestorOf(control); });
        if (own)
            continue;
        const QRect r = shownRect(control, window);
        for (const QRect &column : std::as_const(navigation)) {
            if (r.intersects(column))
                *faults << QStringLiteral("under the side navigation: %1 at %2,%3 %4x%5")
                               .arg(describe(control))
                               .arg(r.x())
                               .arg(r.y())
                               .arg(r.width())
                               .arg(r.height());
        }
    }
}

void checkLabels(QWidget *window, QStringList *faults)
{
    for (QLabel *label : window->findChildren<QLabel *>()) {
        if (!shownIn(label, window) || label->text().isEmpty() || isRichText(label))
            continue;
        if (FittedText::isElidedOnPurpose(label))
            continue;
        if (label->wordWrap()) {
            // The last line's descent may hang below the label unseen.
            const int needed = label->heightForWidth(label->width()) - QFontMetrics(label->font()).descent();
            if (needed > label->height() + 2)
                *faults << QStringLiteral("wrapped text taller than its label: %1 needs %2, has %3")
                               .arg(describe(label))
                               .arg(needed)
                               .arg(label->height());
            continue;
        }
        const QFontMetrics metrics(label->font());
        int needed = 0;
        for (const QString &line : label->text().split(QLatin1Char('\n')))
            needed = std::max(needed, metrics.horizontalAdvance(line));
        // What of its contents the window shows: the label's own contents,
        // cut where an ancestor ends.
        const QRect contents = label->contentsRect().adjusted(label->margin(), 0, -label->margin(), 0);
        const QRect shown = shownRect(label, window).translated(-label->mapTo(window, QPoint(0, 0)));
        const int room = (contents & shown).width();
        if (needed > room + 1)
            *faults << QStringLiteral("text wider than its label: %1 needs %2, shows %3")
                           .arg(describe(label))
                           .arg(needed)
                           .arg(room);
        // A label draws a right-to-left text with its side mirrored unless
        // the side is absolute: a left-aligned Persian text lands right.
        const Qt::Alignment side = label->alignment() & (Qt::AlignLeft | Qt::AlignRight | Qt::AlignAbsolute);
        if (!(side & Qt::AlignAbsolute) && (side & (Qt::AlignLeft | Qt::AlignRight)) &&
            label->text().isRightToLeft() && needed + 4 < room &&
            label->width() > label->sizeHint().width() + 2)
            *faults << QStringLiteral("drawn on the mirrored side: %1 aligned %2")
                           .arg(describe(label),
                                side & Qt::AlignLeft ? QStringLiteral("left") : QStringLiteral("right"));
    }
}

// A child that takes part in the overlap check, and where it draws.
bool overlapRect(QWidget *w, QRect *rect)
{
    if (coversOnPurpose(w))
        return false;
    if (auto *label = qobject_cast<QLabel *>(w)) {
        if (label->text().isEmpty() && !label->pixmap().isNull()) {
            // A picture: where it is not transparent, as the label places it.
            const QImage image = label->pixmap().toImage();
            QRect ink;
            for (int y = 0; y < image.height(); ++y) {
                for (int x = 0; x < image.width(); ++x) {
                    if (qAlpha(image.pixel(x, y)) > 16)
                        ink |= QRect(x, y, 1, 1);
                }
            }
            const QSize size = label->pixmap().deviceIndependentSize().toSize();
            const QRect placed =
                QStyle::alignedRect(Qt::LeftToRight, label->alignment(), size, label->contentsRect());
            const qreal ratio = label->pixmap().devicePixelRatio();
            const QRect inked(placed.x() + int(ink.x() / ratio), placed.y() + int(ink.y() / ratio),
                              int(ink.width() / ratio), int(ink.height() / ratio));
            *rect = inked.translated(label->pos()) & label->geometry();
            return !rect->isEmpty();
        }
        if (label->text().isEmpty())
            return false;
        if (label->wordWrap() && !isRichText(label)) {
            // The wrapped lines' height, placed as the label aligns them.
            const QSize size(label->width(),
                             std::min(label->height(), label->heightForWidth(label->width())));
            const QRect placed = QStyle::alignedRect(
                Qt::LeftToRight, label->alignment() & Qt::AlignVertical_Mask, size, label->rect());
            *rect = placed.translated(label->pos());
            return true;
        }
        if (isRichText(label)) {
            *rect = label->geometry();
            return true;
        }
        *rect = textRect(label);
        return !rect->isEmpty();
    }
    if (qobject_cast<QAbstractButton *>(w) || qobject_cast<QLineEdit *>(w)) {
        *rect = w->geometry();
        return true;
    }
    return false;
}

void checkSiblings(QWidget *window, QStringList *faults)
{
    QList<QWidget *> parents = window->findChildren<QWidget *>();
    parents.prepend(window);
    for (QWidget *parent : std::as_const(parents)) {
        if (parent != window && !shownIn(parent, window))
            continue;
        QList<QPair<QWidget *, QRect>> pieces;
        for (QObject *child : parent->children()) {
            auto *w = qobject_cast<QWidget *>(child);
            QRect r;
            if (w && !w->isWindow() && w->isVisible() && overlapRect(w, &r))
                pieces << qMakePair(w, r);
        }
        for (int i = 0; i < pieces.size(); ++i) {
            for (int j = i + 1; j < pieces.size(); ++j) {
                const QRect both = pieces[i].second & pieces[j].second;
                // A line box may touch its neighbour's by a pixel or two.
                if (both.width() <= 2 || both.height() <= 2)
                    continue;
                *faults << QStringLiteral("over each other: %1 and %2 in %3")
                               .arg(describe(pieces[i].first), describe(pieces[j].first),
                                    parent->objectName().isEmpty() ? QStringLiteral("?")
                                                                   : parent->objectName());
            }
        }
    }
}

} // namespace

namespace LayoutCheck {

QStringList findFaults(QWidget *window)
{
    QStringList faults;
    checkNavigation(window, &faults);
    checkLabels(window, &faults);
    checkSiblings(window, &faults);
    // The window's own popups (select lists, cards) are windows of their own.
    for (QWidget *w : window->findChildren<QWidget *>()) {
        if (w->isWindow() && w->isVisible()) {
            checkLabels(w, &faults);
            checkSiblings(w, &faults);
        }
    }
    faults.removeDuplicates();
    return faults;
}

} // namespace LayoutCheck

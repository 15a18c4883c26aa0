#pragma once
// One-line labels whose text changes while the window runs: the label takes
// the width of its text (a label keeps the size of its first text otherwise,
// and a longer later text is cut mid-letter), within the room it has. A text
// longer than that room ends in an ellipsis and the whole text becomes the
// label's tooltip.

#include <QString>

class QLabel;

namespace FittedText {

// The width `label` needs to show `text` whole: the text's advance in the
// label's (polished) font plus its margins and style sheet padding.
int neededWidth(QLabel *label, const QString &text);

// Sets the text and resizes the label to it, at most `maxWidth` wide; the
// left edge stays where it is.
void fit(QLabel *label, const QString &text, int maxWidth);

// Sets the text within the label's present width (a centred or fixed label).
void elide(QLabel *label, const QString &text);

// Whether the label shows a text cut short on purpose: an ellipsis at its
// end and the whole text as its tooltip.
bool isElidedOnPurpose(const QLabel *label);

} // namespace FittedText

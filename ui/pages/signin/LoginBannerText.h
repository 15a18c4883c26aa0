#pragma once
// How the sign-in page's error banner lays out a message: on one line when it
// fits, otherwise broken once at the place a reader expects (the end of the
// first sentence, or the last blank that still fits).

#include <QString>

#include <functional>

struct LoginBannerText
{
    QString text;         // what the label shows, with the chosen line break
    int lines = 1;        // line breaks + 1
    bool wrapped = false; // false: one line, vertically centred
};

// `advance` gives a text's horizontal advance in the label's font; it must grow
// with the text's length (it is probed by bisection, so a very long message
// costs a few dozen measurements, not one per character).
LoginBannerText breakLoginBannerText(const QString &text, int availableWidth,
                                     const std::function<int(const QString &)> &advance);

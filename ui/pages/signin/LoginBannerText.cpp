#include "ui/pages/signin/LoginBannerText.h"

LoginBannerText breakLoginBannerText(const QString &text, int availableWidth,
                                     const std::function<int(const QString &)> &advance)
{
    LoginBannerText out;
    out.text = text;
    if (advance(text) <= availableWidth) {
        out.lines = int(text.count(QLatin1Char('\n'))) + 1;
        return out;
    }

    QString t = text;
    static const QLatin1String kMismatch(" does not match.");
    if (t.endsWith(kMismatch))
        t = t.left(t.size() - kMismatch.size()) + QLatin1String(" does not\nmatch.");

    if (!t.contains(QLatin1Char('\n'))) {
        const qsizetype i = t.indexOf(QLatin1String(". "));
        if (i > 0 && i < t.size() - 2)
            t[i + 1] = QLatin1Char('\n');
    }

    if (!t.contains(QLatin1Char('\n'))) {
        // Longest prefix that fits, by bisection over its length.
        qsizetype lo = 0;
        qsizetype hi = t.size();
        while (lo < hi) {
            const qsizetype mid = (lo + hi + 1) / 2;
            if (advance(t.left(mid)) <= availableWidth)
                lo = mid;
            else
                hi = mid - 1;
        }
        if (lo >= 1) {
            const qsizetype blank = t.left(lo).lastIndexOf(QLatin1Char(' '));
            const qsizetype cut = blank > 10 ? blank : lo;
            t = t.left(cut).trimmed() + QLatin1Char('\n') + t.mid(cut).trimmed();
        }
    }

    out.text = t;
    out.lines = int(t.count(QLatin1Char('\n'))) + 1;
    out.wrapped = true;
    return out;
}

#pragma once

#include <QString>

// What the pages ask of the UI language, in one place: whether a code is
// Persian (the pages mirror for it) and their texts in the current language.
namespace Language {

// A language code is Persian when, trimmed and lower-cased, it is "fa-ir"
// or begins with "fa".
bool isPersian(const QString &languageCode);

// A window text in the current language. Most texts are translated under the
// "MainWindow" context; the games grid, the hero card and a few badges keep
// theirs under "QObject".
QString windowText(const char *text);
QString objectText(const char *text);

} // namespace Language

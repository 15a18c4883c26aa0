#pragma once
// How the client hands an address to the user's browser. The window passes the
// desktop's opener; tests pass one that records what would have been opened.

#include <QUrl>

#include <functional>

// Returns whether the address was handed over.
using UrlOpener = std::function<bool(const QUrl &)>;

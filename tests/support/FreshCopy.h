#pragma once
// A list of its own, for handing what one thread filled to another. A copy
// that shared its storage with the original would have Qt count the sharing
// inside Qt, out of ThreadSanitizer's sight, and the next append to the
// original would look like a race.

#include <QList>

template <typename T> QList<T> freshCopy(const QList<T> &list)
{
    return QList<T>(list.cbegin(), list.cend());
}

#pragma once

#include <QRegularExpression>
#include <QTest>

namespace TestSupport {

// Call from a UI test's init(): any painter warning while a test function
// runs fails it (two painters on one device, painting outside paintEvent,
// a painter used after it ended).
inline void failOnPainterWarnings()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral("QPainter")));
    QTest::failOnWarning(QRegularExpression(QStringLiteral("Painter not active")));
}

} // namespace TestSupport

#include "i18n/Language.h"

#include <QCoreApplication>

namespace Language {

bool isPersian(const QString &languageCode)
{
    const QString code = languageCode.trimmed().toLower();
    return code == QLatin1String("fa-ir") || code.startsWith(QLatin1String("fa"));
}

QString windowText(const char *text)
{
    return QCoreApplication::translate("MainWindow", text);
}

QString objectText(const char *text)
{
    return QCoreApplication::translate("QObject", text);
}

} // namespace Language

#include "i18n/TranslationManager.h"

#include "i18n/Language.h"
#include "storage/DatabaseManager.h"

#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QRegularExpression>
#include <QTranslator>

namespace {

const QString kLanguageKey = QStringLiteral("settings/ui_language");
const QString kEnglish = QStringLiteral("en-US");
const QString kPersian = QStringLiteral("fa-IR");

TranslationManager::Store databaseStore()
{
    TranslationManager::Store store;
    store.readOrInit = [](const QString &key, const QString &defaultValue) {
        DatabaseManager *db = DatabaseManager::instance();
        return db ? db->getMetadataOrInit(key, defaultValue) : defaultValue;
    };
    store.write = [](const QString &key, const QString &value) {
        DatabaseManager *db = DatabaseManager::instance();
        return db && db->setMetadata(key, value);
    };
    return store;
}

} // namespace

TranslationManager *TranslationManager::instance()
{
    static TranslationManager manager;
    return &manager;
}

TranslationManager::TranslationManager(QObject *parent) : QObject(parent), m_store(databaseStore()) {}

TranslationManager::~TranslationManager()
{
    // The process-wide instance dies after the application object; only
    // touch the application's translator list while it still exists.
    if (QCoreApplication::instance()) {
        if (m_appTranslator)
            QCoreApplication::removeTranslator(m_appTranslator);
        if (m_qtTranslator)
            QCoreApplication::removeTranslator(m_qtTranslator);
    }
    delete m_appTranslator;
    delete m_qtTranslator;
}

QString TranslationManager::currentLanguage() const
{
    return m_currentLanguage;
}

QString TranslationManager::normalizeLanguageCode(const QString &code)
{
    static const QRegularExpression persian(QStringLiteral("\\bfa\\s*[-_]?\\s*ir\\b"),
                                            QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression english(QStringLiteral("\\ben\\s*[-_]?\\s*us\\b"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QString c = code.trimmed().toLower();
    if (c.isEmpty())
        return kEnglish;
    if (persian.match(c).hasMatch())
        return kPersian;
    if (english.match(c).hasMatch())
        return kEnglish;
    if (c.startsWith(QLatin1String("fa")))
        return kPersian;
    return kEnglish;
}

void TranslationManager::setLanguage(const QString &code, bool persist)
{
    const QString normalized = normalizeLanguageCode(code);
    if (normalized == m_currentLanguage)
        return;
    m_currentLanguage = normalized;

    if (persist && m_store.write)
        m_store.write(kLanguageKey, m_currentLanguage);

    // Pages mirror their own widgets for Persian; the application as a whole
    // stays left-to-right.
    QGuiApplication::setLayoutDirection(Qt::LeftToRight);

    if (m_appTranslator)
        QCoreApplication::removeTranslator(m_appTranslator);
    if (m_qtTranslator)
        QCoreApplication::removeTranslator(m_qtTranslator);
    delete m_appTranslator;
    delete m_qtTranslator;
    m_appTranslator = new QTranslator(this);
    m_qtTranslator = new QTranslator(this);

    loadAppTranslator(m_currentLanguage);
    loadQtTranslator(m_currentLanguage);

    if (!m_appTranslator->isEmpty())
        QCoreApplication::installTranslator(m_appTranslator);
    if (!m_qtTranslator->isEmpty())
        QCoreApplication::installTranslator(m_qtTranslator);

    emit languageChanged(m_currentLanguage);
}

void TranslationManager::loadSavedLanguage()
{
    const QString saved = m_store.readOrInit ? m_store.readOrInit(kLanguageKey, kEnglish) : kEnglish;
    setLanguage(normalizeLanguageCode(saved), false);
}

void TranslationManager::setStore(Store store)
{
    m_store = std::move(store);
}

void TranslationManager::setTranslationFolders(const QString &appFolder, const QString &qtFallbackFolder)
{
    m_appFolder = appFolder;
    m_qtFallbackFolder = qtFallbackFolder;
}

QString TranslationManager::appFolder() const
{
    return m_appFolder.isEmpty() ? QCoreApplication::applicationDirPath() : m_appFolder;
}

QString TranslationManager::qtFallbackFolder() const
{
    return m_qtFallbackFolder.isEmpty() ? QLibraryInfo::path(QLibraryInfo::TranslationsPath)
                                        : m_qtFallbackFolder;
}

void TranslationManager::loadAppTranslator(const QString &code)
{
    if (!m_appTranslator)
        m_appTranslator = new QTranslator(this);
    if (!Language::isPersian(code))
        return;
    const QString file = QStringLiteral("translations/app/quorlix_%1.qm").arg(QStringLiteral("fa"));
    (void)m_appTranslator->load(QDir(appFolder()).filePath(file));
}

void TranslationManager::loadQtTranslator(const QString &code)
{
    if (!m_qtTranslator)
        m_qtTranslator = new QTranslator(this);
    if (!Language::isPersian(code))
        return;
    const QString file = QStringLiteral("translations/qt_%1.qm").arg(QStringLiteral("fa"));
    if (!m_qtTranslator->load(QDir(appFolder()).filePath(file)))
        (void)m_qtTranslator->load(QStringLiteral("qt_%1").arg(QStringLiteral("fa")), qtFallbackFolder());
}

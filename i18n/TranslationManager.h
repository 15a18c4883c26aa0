#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QTranslator;

// The client's UI language ("en-US" or "fa-IR"): installs the matching Qt
// translators, remembers the choice in the cache database and tells every page
// to re-run its texts through languageChanged. Persian is loaded from .qm
// files beside the executable; English is the text in the code.
class TranslationManager : public QObject
{
    Q_OBJECT
public:
    // Where the language is kept between runs. readOrInit stores and returns
    // the default when the key is missing; an empty readOrInit means there is
    // no store (the language then starts as English).
    struct Store
    {
        std::function<QString(const QString &key, const QString &defaultValue)> readOrInit;
        std::function<bool(const QString &key, const QString &value)> write;
    };

    static TranslationManager *instance();

    // Tests create their own managers; the application uses instance().
    explicit TranslationManager(QObject *parent = nullptr);
    ~TranslationManager() override;

    QString currentLanguage() const;
    void setLanguage(const QString &code, bool persist);
    void loadSavedLanguage();
    static QString normalizeLanguageCode(const QString &code);

    // Seams: the store (the cache database's metadata by default), the
    // folder that holds "translations/..." (the executable's folder by
    // default) and Qt's own translations folder (the fallback for qt_fa.qm).
    void setStore(Store store);
    void setTranslationFolders(const QString &appFolder, const QString &qtFallbackFolder);

    QTranslator *appTranslator() const { return m_appTranslator; }
    QTranslator *qtTranslator() const { return m_qtTranslator; }

signals:
    void languageChanged(const QString &code);

private:
    void loadAppTranslator(const QString &code);
    void loadQtTranslator(const QString &code);
    QString appFolder() const;
    QString qtFallbackFolder() const;

    QString m_currentLanguage = QStringLiteral("en-US");
    QTranslator *m_qtTranslator = nullptr;
    QTranslator *m_appTranslator = nullptr;
    Store m_store;
    QString m_appFolder;
    QString m_qtFallbackFolder;
};

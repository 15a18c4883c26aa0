#pragma once
#include "ui/pages/settings/SettingsSelectField.h"
#include "ui/widgets/DecorativeWidgets.h"
#include "ui/widgets/WindowArea.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>

class QLabel;
class QPushButton;
class QWidget;
class QxSelectPopup;
class SettingsStore;
struct SwitchRowSpec;
class TranslationManager;

// The Setting section below its title: the "Reset  default" button, the
// Preferences card (language and window size) and the four option cards
// whose switches and select fields keep their options in the settings
// store. Its texts are translated once, when it is built, and it is never
// mirrored. The store and the translation manager may be null (nothing is
// then stored, or the language is left alone).
class SettingsSection : public QObject, public WindowArea
{
    Q_OBJECT
public:
    // `popupParent` holds the select popups (the window); `windowWidth` places
    // the reset button against the window's right edge.
    SettingsSection(QWidget *rootFrame, QWidget *popupParent, SettingsStore *store,
                    TranslationManager *translations, int windowWidth, QObject *parent);

    QPushButton *resetButton() const { return m_resetButton; }
    GradientBorderCard *preferencesCard() const { return m_preferencesCard; }
    GradientBorderCard *behaviorCard() const { return m_behaviorCard; }
    GradientBorderCard *notificationsCard() const { return m_notificationsCard; }
    GradientBorderCard *optimizationCard() const { return m_optimizationCard; }
    GradientBorderCard *advancedCard() const { return m_advancedCard; }
    QxSelectPopup *languagePopup() const { return m_languagePopup; }
    QxSelectPopup *screenPopup() const { return m_screenPopup; }
    QWidget *languageBox() const { return m_languageBox; }
    QWidget *screenBox() const { return m_screenBox; }
    QLabel *languageText() const { return m_languageText; }
    QLabel *screenText() const { return m_screenText; }
    QPushButton *resetNetworkButton() const { return m_resetNetworkButton; }

    // The four select fields, in the order of the options they hold.
    enum Select { Accuracy, RouteProtocol, IpVersion, Redirect };
    const SettingsSelectField::Widgets &selectField(Select which) const { return m_fields[which]; }
    QxSelectPopup *selectPopup(Select which) const { return m_popups[which]; }

    // The nine switches by their stem ("SettingsStartup", "SettingsOptSmart", ...).
    QPushButton *switchHit(const QString &stem) const { return m_switches.value(stem); }

public slots:
    void resetPreferences();
    void selectLanguage(int index);
    void selectWindowSize(int index);
    void togglePreferenceSelectPopup(QxSelectPopup *popup, QxSelectPopup *other, QWidget *box);
    void chooseSelect(Select which, int index);
    void toggleSelect(Select which);
    void hideOptionPopups();

private:
    void buildResetButton(int windowWidth);
    void buildPreferencesCard();
    void reconcilePreferences();
    void buildBehaviorCard();
    void buildNotificationsCard();
    void buildOptimizationCard();
    void buildAdvancedCard();
    GradientBorderCard *makeCard(const char *name, const char *titleName, const QString &title,
                                 const QRect &geometry);
    QLabel *addFactorySwitchRow(QWidget *card, const SwitchRowSpec &row);
    void buildSelect(Select which, QWidget *card);
    void wireSelect(Select which);
    void showStoredSelect(Select which);

    QWidget *m_rootFrame;
    QWidget *m_popupParent;
    QPointer<SettingsStore> m_store;
    QPointer<TranslationManager> m_translations;

    QPushButton *m_resetButton = nullptr;
    GradientBorderCard *m_preferencesCard = nullptr;
    QWidget *m_languageBox = nullptr;
    QWidget *m_screenBox = nullptr;
    QLabel *m_languageText = nullptr;
    QLabel *m_screenText = nullptr;
    QxSelectPopup *m_languagePopup = nullptr;
    QxSelectPopup *m_screenPopup = nullptr;

    GradientBorderCard *m_behaviorCard = nullptr;
    GradientBorderCard *m_notificationsCard = nullptr;
    GradientBorderCard *m_optimizationCard = nullptr;
    GradientBorderCard *m_advancedCard = nullptr;
    QPushButton *m_resetNetworkButton = nullptr;
    SettingsSelectField::Widgets m_fields[4];
    QxSelectPopup *m_popups[4] = {nullptr, nullptr, nullptr, nullptr};
    QHash<QString, QPushButton *> m_switches;
};

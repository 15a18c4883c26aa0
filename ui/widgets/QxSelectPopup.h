#pragma once
#include "ui/widgets/Palette.h"

#include <QFrame>
#include <QList>
#include <QPixmap>
#include <QRegion>
#include <QString>
#include <QWidget>

#include <functional>

class QLabel;
class QVBoxLayout;

// Every colour and metric of a select popup and its rows, copied by value.
struct QxSelectPopupStyle
{
    bool hasShadow = true;
    int shadowMargin = 10;
    int radius = 14;
    bool attached = false;
    bool openUp = false;
    int attachOverlap = 1;
    int detachedGap = 10;
    QString background = QStringLiteral(QX_RAISED);
    QString borderColor = QStringLiteral(QX_GREY_PRESSED);
    int borderWidth = 1;
    int cardPadding = 16;
    int rowSpacing = 8;
    int rowHeight = 64;
    int rowFontPx = 28;
    int rowHoverRadius = 10;
    int rowPaddingLeft = 20;
    int rowPaddingRight = 16;
    int rowInnerSpacing = 16;
    int checkSize = 24;
    int leftMinWidth = 0;
    QString hoverColor = QStringLiteral(QX_SELECT_ROW_HOVER);
};

// One clickable choice of a select popup: an optional left text, the right
// text and a check mark for the chosen row. Deliberately without a
// meta-object, so the style sheet's plain-widget rules reach it.
class QxPopupRow : public QWidget
{
public:
    struct Texts
    {
        QString left;
        QString right;
    };

    // Takes the row metrics and hover colour of `style` as they are now;
    // later style changes of the popup do not reach an existing row.
    QxPopupRow(int index, const Texts &texts, const QxSelectPopupStyle &style,
               std::function<void(int)> onClick, QWidget *parent);

    int index() const { return m_index; }
    // Shows the check mark (loading the picture on first use) or hides it.
    void setChecked(bool checked);

    QLabel *leftLabel() const { return m_left; }
    QLabel *rightLabel() const { return m_right; }
    QLabel *checkLabel() const { return m_check; }

    void applyLabelFonts();
    // The width the row needs to show its texts and check mark whole.
    int neededWidth() const;

protected:
    void mousePressEvent(QMouseEvent *event) override;

private:
    int m_index;
    int m_rowFontPx;
    int m_rowHoverRadius;
    int m_rowPaddingLeft;
    int m_rowPaddingRight;
    int m_rowInnerSpacing;
    int m_checkSize;
    int m_leftMinWidth;
    QString m_hoverColor;
    std::function<void(int)> m_onClick;
    QLabel *m_left = nullptr;
    QLabel *m_right = nullptr;
    QLabel *m_check = nullptr;
    bool m_checkLoaded = false;
    QPixmap m_checkPixmap;
};

// The drop-down list a select field opens below (or, near the screen's
// bottom, above) itself: a frameless translucent popup window holding a
// rounded card of rows. Its corners on the field's side are square when it
// is attached to the field. On a desktop that does not show translucent
// windows (X11 without a compositing manager) it is an opaque window of the
// card's own shape and colours, without the shadow.
class QxSelectPopup : public QFrame
{
public:
    explicit QxSelectPopup(QWidget *parent = nullptr);

    void setStyle(const QxSelectPopupStyle &style);
    const QxSelectPopupStyle &popupStyle() const { return m_style; }

    void setItems(const QList<QxPopupRow::Texts> &items);
    void setOnSelected(std::function<void(int)> callback) { m_onSelected = std::move(callback); }
    void setOnHidden(std::function<void()> callback) { m_onHidden = std::move(callback); }
    void setCheckedIndex(int index);
    int checkedIndex() const { return m_checkedIndex; }

    // Opens below the anchor when it fits on the anchor's screen, else above
    // (or on the roomier side when neither fits). True when opened above.
    // Without an anchor nothing happens and the result is false.
    bool showForAnchor(QWidget *anchor, int minWidth);
    // Opens below the anchor whatever room the screen has.
    void showBelow(QWidget *anchor, int minWidth);

    QFrame *card() const { return m_card; }
    const QList<QxPopupRow *> &rows() const { return m_rows; }
    // Whether the popup is a translucent window with its shadow, as the
    // desktop allowed at its last show.
    bool isTranslucent() const { return m_translucent; }

    void updateCardStyle();
    void handleRowClicked(int index);

protected:
    void hideEvent(QHideEvent *event) override;

private:
    void applyShadow();
    // Translucent with the shadow, or opaque, as the desktop shows windows.
    void followDesktop();
    void placeAndShow(QWidget *anchor, bool above);
    int fittingWidth(const QWidget *anchor, int minWidth) const;
    // The card's outline (its corners as the card style rounds them).
    QRegion cardShape() const;

    QFrame *m_card = nullptr;
    QWidget *m_rowsContainer = nullptr;
    QVBoxLayout *m_outerLayout = nullptr;
    QVBoxLayout *m_cardLayout = nullptr;
    QVBoxLayout *m_rowsLayout = nullptr;
    QList<QxPopupRow *> m_rows;
    int m_checkedIndex = 0;
    std::function<void(int)> m_onSelected;
    std::function<void()> m_onHidden;
    QxSelectPopupStyle m_style;
    bool m_translucent = true;
};

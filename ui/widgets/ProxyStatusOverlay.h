#pragma once
#include <QPixmap>
#include <QWidget>

class QGraphicsOpacityEffect;
class QLabel;
class QPropertyAnimation;
class QTimer;

// The window's one busy overlay: a frosted snapshot of the window with either a
// spinner and a title (message mode) or a progress ring with the megabytes
// received (progress mode). Fades in on show and out on request.
class ProxyStatusOverlay : public QWidget
{
    Q_OBJECT
public:
    // fadeMs: how long the fades in and out take (the window's is 300 ms).
    explicit ProxyStatusOverlay(QWidget *parent = nullptr, int fadeMs = 300);

    void showMessage(const QString &text);
    void showProgress(const QString &text, int percent, qint64 receivedBytes, qint64 totalBytes);
    void fadeOut();
    void captureBlurredBackground();

    // Read-only views for the window's own checks and tests.
    QString titleText() const;
    QString subtitleText() const;
    bool isSubtitleShown() const;
    bool isProgressMode() const { return m_progressMode; }
    int percent() const { return m_percent; }
    const QPixmap &blurredBackdrop() const { return m_blurredBackdrop; }
    bool isRepaintTimerActive() const;
    bool isFadingOut() const;
    bool isFadingIn() const;

    // The subtitle of progress mode: "%1%" without a total, else
    // "%1% - %2 MB / %3 MB" with one decimal.
    static QString progressSubtitle(int percent, qint64 receivedBytes, qint64 totalBytes);

signals:
    void finished();

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void presentFresh();

    QLabel *m_spinnerLabel = nullptr;
    QLabel *m_titleLabel = nullptr;
    QLabel *m_subtitleLabel = nullptr;
    QPropertyAnimation *m_fadeIn = nullptr;
    QPropertyAnimation *m_fadeOut = nullptr;
    QPropertyAnimation *m_rotation = nullptr;
    QGraphicsOpacityEffect *m_opacity = nullptr;
    QTimer *m_repaintTimer = nullptr;
    QPixmap m_backdrop;
    QPixmap m_blurredBackdrop;
    bool m_progressMode = false;
    int m_percent = 0;
    qint64 m_receivedBytes = 0;
    qint64 m_totalBytes = 0;
};

#pragma once
// Dims the sign-in page while the browser sign-in waits for the user and the
// provider: a dark panel with the logo, a spinner of eight dots, a message, a
// hint and "Cancel". The page connects "Cancel" (found by its object name
// "AuthProgressCancel"); the overlay does nothing on it by itself.

#include <QWidget>

class QLabel;
class QPushButton;
class QTimer;

class AuthProgressOverlay : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kSpinnerIntervalMs = 90;
    static constexpr int kDots = 8;

    explicit AuthProgressOverlay(QWidget *parent = nullptr);
    ~AuthProgressOverlay() override;

    // Shows the overlay with `message` and runs the spinner, continuing from
    // the step it stopped at.
    void start(const QString &message);
    // Stops the spinner and hides the overlay.
    void stop();

    int step() const;
    QString message() const;
    bool isSpinning() const;

    // The opacity of dot i (0..7, clockwise) while `step` is the brightest:
    // each dot after it is 28 dimmer, never below 60.
    static int dotAlpha(int i, int step);

protected:
    // The overlay keeps the geometry its page gave it.
    void resizeEvent(QResizeEvent *event) override;

private slots:
    void onSpinnerTick();

private:
    class RingSpinner;

    RingSpinner *m_spinner = nullptr;
    QLabel *m_text = nullptr;
    QLabel *m_hint = nullptr;
    QPushButton *m_cancel = nullptr;
    QTimer *m_timer = nullptr;
    int m_step = 0;
};

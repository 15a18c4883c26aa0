#pragma once
// The page that covers the whole window while the relays are measured: the
// "Analyzing routes" ring and bar, six region dots lit in turn, and a header
// band of its own (minimise, close, drag) because it hides the window's. The
// measuring is PingSweep's; a page without one finishes at once.

#include <QMap>
#include <QPoint>
#include <QPointer>
#include <QWidget>

class CircularProgressWidget;
class PingSweep;
class QFrame;
class QLabel;
class QPushButton;

class PingOptimizerPage : public QWidget
{
    Q_OBJECT
public:
    explicit PingOptimizerPage(QWidget *parent = nullptr, PingSweep *sweep = nullptr);

    static const QStringList &regions();
    static constexpr int kHeaderHeight = 60;

    // Starts a new analysis (showing the page starts one too).
    void startAnalysis();
    void setProgress(int current, int total, int percent);

    CircularProgressWidget *circularProgress() const { return m_circle; }
    QWidget *progressFill() const { return m_fill; }
    QLabel *regionDot(const QString &region) const { return m_regionDots.value(region); }
    QPushButton *minimizeButton() const { return m_minimize; }
    QPushButton *closeButton() const { return m_close; }

signals:
    void finished();

public slots:
    void updateProgress() {}

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void fitOverlays(bool withSection);
    void resetRegionDots();
    void animateRegionDots();
    QWidget *window_() const;

    PingSweep *m_sweep;
    QLabel *m_banner = nullptr;
    QWidget *m_header = nullptr;
    QFrame *m_separator = nullptr;
    QWidget *m_section = nullptr;
    CircularProgressWidget *m_circle = nullptr;
    QWidget *m_track = nullptr;
    QWidget *m_fill = nullptr;
    QPushButton *m_minimize = nullptr;
    QPushButton *m_close = nullptr;
    QMap<QString, QLabel *> m_regionDots;
    bool m_dragging = false;
    QPoint m_dragOffset;
};

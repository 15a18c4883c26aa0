#include "ui/widgets/IconTint.h"

#include <QHash>
#include <QPair>

#include <QFile>
#include <QIconEngine>
#include <QImage>
#include <QPainter>

#include <optional>

QPixmap tintPixmap(const QPixmap &pixmap, const QColor &color)
{
    QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    QPainter painter(&image);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(image.rect(), color);
    painter.end();
    return QPixmap::fromImage(image);
}

namespace {

QIcon drawTintedIcon(const QString &path, const QSize &size, const QColor &color)
{
    // An icon is tinted in more than one colour (a navigation button's normal
    // and active look): its file is read and drawn at the size once.
    static QHash<QPair<QString, QSize>, QImage> drawn;
    const auto key = qMakePair(path, size);
    QPixmap source;
    if (const auto it = drawn.constFind(key); it != drawn.constEnd()) {
        source = QPixmap::fromImage(*it);
    } else {
        source = QIcon(path).pixmap(size);
        if (!source.isNull())
            drawn.insert(key, source.toImage());
    }
    if (source.isNull())
        source = QPixmap(path);
    if (source.isNull())
        return QIcon(path);
    const QPixmap scaled = source.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QImage image(scaled.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.drawPixmap(0, 0, scaled);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(image.rect(), color);
    painter.end();
    return QIcon(QPixmap::fromImage(image));
}

// The tinted icon, drawn the first time someone asks for a pixmap of it or
// paints it: a navigation the sign-in page covers is never drawn before the
// window's first frame. Answers as the drawn icon answers.
class LazyTintedIconEngine : public QIconEngine
{
public:
    LazyTintedIconEngine(const QString &path, const QSize &size, const QColor &color)
        : m_path(path), m_size(size), m_color(color)
    {}

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        drawn().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return drawn().pixmap(size, 1.0, mode, state);
    }
    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State state, qreal scale) override
    {
        // QIcon asks with the size in device pixels.
        QPixmap pixmap = drawn().pixmap(size / scale, scale, mode, state);
        return pixmap;
    }
    QSize actualSize(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return drawn().actualSize(size, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override
    {
        return drawn().availableSizes(mode, state);
    }
    bool isNull() override
    {
        // Without drawing: what the resource system holds is drawable.
        return m_drawn ? m_drawn->isNull() : !QFile::exists(m_path);
    }
    QString key() const override { return QStringLiteral("QuorlixLazyTintedIcon"); }
    QIconEngine *clone() const override
    {
        auto *copy = new LazyTintedIconEngine(m_path, m_size, m_color);
        copy->m_drawn = m_drawn;
        return copy;
    }

private:
    const QIcon &drawn()
    {
        if (!m_drawn)
            m_drawn = drawTintedIcon(m_path, m_size, m_color);
        return *m_drawn;
    }

    QString m_path;
    QSize m_size;
    QColor m_color;
    std::optional<QIcon> m_drawn;
};

} // namespace

QIcon tintedIcon(const QString &path, const QSize &size, const QColor &color)
{
    return QIcon(new LazyTintedIconEngine(path, size, color));
}

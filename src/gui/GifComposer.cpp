#include "GifComposer.h"

#include <QBuffer>
#include <QImageReader>
#include <QPainter>

#include "GifBlockWalker.h"

namespace {

constexpr QImage::Format kCanvasFormat = QImage::Format_ARGB32_Premultiplied;
// A control shows small pictures; larger ones are refused rather than
// allocated.
constexpr int kMaxPictureSide = 4096;
// Pixels of all frames together (4 bytes each).
constexpr qint64 kMaxFramePixels = qint64{64} << 20;

bool SizeIsSane(const QSize& size) {
    return size.width() > 0 && size.height() > 0 && size.width() <= kMaxPictureSide &&
           size.height() <= kMaxPictureSide;
}

QImage ReadImage(const QByteArray& bytes, const char* format) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    QImage image;
    if (!reader.read(&image)) {
        return {};
    }
    return image;
}

}  // namespace

bool DecodePicture(const QByteArray& data, PICTURE_DATA& picture) {
    picture = PICTURE_DATA();
    const auto* bytes = reinterpret_cast<const uint8_t*>(data.constData());
    const auto size = static_cast<size_t>(data.size());
    if (IsGifData(bytes, size) && CountGifFrames(bytes, size) != 1) {
        int width = 0;
        int height = 0;
        std::vector<GIF_FRAME_DATA> pieces;
        if (!SplitGif(bytes, size, width, height, pieces)) {
            return false;
        }
        picture.size = QSize(width, height);
        if (!SizeIsSane(picture.size)) {
            return false;
        }
        picture.isGif = true;
        const QRect screen(QPoint(0, 0), picture.size);
        qint64 pixels = 0;
        for (const GIF_FRAME_DATA& piece : pieces) {
            // Only the part of a frame inside the picture is ever drawn.
            const QRect rect =
                QRect(piece.left, piece.top, piece.width, piece.height).intersected(screen);
            pixels += qint64{rect.width()} * rect.height();
            if (rect.isEmpty() || pixels > kMaxFramePixels) {
                continue;
            }
            const QByteArray file(reinterpret_cast<const char*>(piece.gif.data()),
                                  static_cast<qsizetype>(piece.gif.size()));
            const QImage decoded = ReadImage(file, "gif");
            if (decoded.isNull()) {
                continue;
            }
            PICTURE_FRAME frame;
            frame.rect = rect;
            // The reader lays the frame out on the whole screen; keep only
            // the frame's own area.
            frame.image = decoded.copy(frame.rect).convertToFormat(kCanvasFormat);
            frame.delay = piece.delay;
            frame.disposal = piece.disposal;
            picture.frames.push_back(std::move(frame));
        }
        return !picture.frames.empty();
    }
    const QImage still = ReadImage(data, nullptr);
    if (still.isNull() || !SizeIsSane(still.size())) {
        return false;
    }
    PICTURE_FRAME frame;
    frame.image = still.convertToFormat(kCanvasFormat);
    frame.rect = QRect(QPoint(0, 0), still.size());
    picture.size = still.size();
    picture.frames.push_back(std::move(frame));
    return true;
}

int FrameDelayMs(int delay) {
    return delay < 5 ? 100 : delay * 10;
}

void CGifComposer::Reset(PICTURE_DATA picture, const QColor& background) {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_picture = std::move(picture);
    m_background = background;
    m_current = 0;
    m_saved = QImage();
    if (m_picture.size.isEmpty()) {
        m_canvas = QImage();
        return;
    }
    m_canvas = QImage(m_picture.size, kCanvasFormat);
    m_canvas.fill(m_background);
}

void CGifComposer::Clear() {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_picture = PICTURE_DATA();
    m_canvas = QImage();
    m_saved = QImage();
    m_current = 0;
}

const PICTURE_FRAME* CGifComposer::Current() const {
    return m_current < m_picture.frames.size() ? &m_picture.frames[m_current] : nullptr;
}

void CGifComposer::RenderCurrent() {
    std::lock_guard<std::mutex> guard(m_mutex);
    const PICTURE_FRAME* frame = Current();
    if (frame == nullptr || m_canvas.isNull()) {
        return;
    }
    if (frame->disposal == 3) {
        m_saved = m_canvas.copy(frame->rect);
    }
    QPainter painter(&m_canvas);
    painter.drawImage(frame->rect.topLeft(), frame->image);
}

void CGifComposer::DisposeCurrent() {
    std::lock_guard<std::mutex> guard(m_mutex);
    const PICTURE_FRAME* frame = Current();
    if (frame == nullptr || m_canvas.isNull()) {
        return;
    }
    if (frame->disposal == 2) {
        QPainter painter(&m_canvas);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.fillRect(frame->rect, m_background);
    } else if (frame->disposal == 3 && !m_saved.isNull()) {
        QPainter painter(&m_canvas);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(frame->rect.topLeft(), m_saved);
        m_saved = QImage();
    }
}

void CGifComposer::Advance() {
    std::lock_guard<std::mutex> guard(m_mutex);
    if (m_picture.frames.empty()) {
        return;
    }
    if (++m_current >= m_picture.frames.size()) {
        m_current = 0;
        if (!m_canvas.isNull()) {
            m_canvas.fill(m_background);
        }
    }
}

int CGifComposer::CurrentIndex() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return static_cast<int>(m_current);
}

int CGifComposer::CurrentDelayMs() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    const PICTURE_FRAME* frame = Current();
    return FrameDelayMs(frame == nullptr ? -1 : frame->delay);
}

QImage CGifComposer::Snapshot() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_canvas.copy();
}

void CGifComposer::PaintTo(QPainter& painter, const QPoint& source, const QSize& size) const {
    std::lock_guard<std::mutex> guard(m_mutex);
    if (m_canvas.isNull()) {
        return;
    }
    painter.drawImage(QPoint(0, 0), m_canvas, QRect(source, size));
}

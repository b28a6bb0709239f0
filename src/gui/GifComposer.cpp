#include "GifComposer.h"

#include <QBuffer>
#include <QImageReader>
#include <algorithm>
#include <cstring>

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

size_t PixelCount(const QSize& size) {
    return static_cast<size_t>(size.width()) * static_cast<size_t>(size.height());
}

PICTURE_PIXELS ToPixels(const QImage& image) {
    const QImage converted = image.convertToFormat(kCanvasFormat);
    const auto width = static_cast<size_t>(converted.width());
    PICTURE_PIXELS pixels(PixelCount(converted.size()));
    for (int y = 0; y < converted.height(); ++y) {
        std::memcpy(&pixels[static_cast<size_t>(y) * width], converted.constScanLine(y),
                    width * sizeof(uint32_t));
    }
    return pixels;
}

// The index of (x, y) in a buffer `width` pixels wide.
size_t At(int width, int x, int y) {
    return static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x);
}

PICTURE_PIXELS ReadRect(const PICTURE_PIXELS& canvas, int width, const QRect& rect) {
    PICTURE_PIXELS out(PixelCount(rect.size()));
    for (int y = 0; y < rect.height(); ++y) {
        const auto from =
            canvas.begin() + static_cast<ptrdiff_t>(At(width, rect.x(), rect.y() + y));
        std::copy(from, from + rect.width(),
                  out.begin() + static_cast<ptrdiff_t>(At(rect.width(), 0, y)));
    }
    return out;
}

void WriteRect(PICTURE_PIXELS& canvas, int width, const QRect& rect, const PICTURE_PIXELS& pixels) {
    for (int y = 0; y < rect.height(); ++y) {
        const auto from = pixels.begin() + static_cast<ptrdiff_t>(At(rect.width(), 0, y));
        std::copy(from, from + rect.width(),
                  canvas.begin() + static_cast<ptrdiff_t>(At(width, rect.x(), rect.y() + y)));
    }
}

void FillRect(PICTURE_PIXELS& canvas, int width, const QRect& rect, uint32_t pixel) {
    for (int y = 0; y < rect.height(); ++y) {
        const auto from =
            canvas.begin() + static_cast<ptrdiff_t>(At(width, rect.x(), rect.y() + y));
        std::fill(from, from + rect.width(), pixel);
    }
}

// Source over destination, premultiplied. A GIF pixel is either opaque or
// wholly transparent (its transparency is one palette index), which the first
// two cases take; a still picture of another format may blend.
uint32_t SourceOver(uint32_t source, uint32_t destination) {
    const uint32_t alpha = source >> 24;
    if (alpha == 255) {
        return source;
    }
    if (alpha == 0) {
        return destination;
    }
    const uint32_t rest = 255 - alpha;
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const uint32_t s = (source >> shift) & 0xFF;
        const uint32_t d = (destination >> shift) & 0xFF;
        out |= (s + (d * rest + 127) / 255) << shift;
    }
    return out;
}

// The frame lies within the picture and carries a pixel for every point.
bool FrameFits(const PICTURE_FRAME& frame, const QSize& size) {
    return !frame.rect.isEmpty() && QRect(QPoint(0, 0), size).contains(frame.rect) &&
           frame.pixels.size() == PixelCount(frame.rect.size());
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
            frame.pixels = ToPixels(decoded.copy(frame.rect));
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
    frame.pixels = ToPixels(still);
    frame.rect = QRect(QPoint(0, 0), still.size());
    picture.size = still.size();
    picture.frames.push_back(std::move(frame));
    return true;
}

int FrameDelayMs(int delay) {
    return delay < 5 ? 100 : delay * 10;
}

void CGifComposer::Reset(PICTURE_DATA picture, const QColor& background) {
    // Composing then needs no bounds checks.
    std::erase_if(picture.frames,
                  [&](const PICTURE_FRAME& frame) { return !FrameFits(frame, picture.size); });
    std::lock_guard<std::mutex> guard(m_mutex);
    m_picture = std::move(picture);
    m_background = qPremultiply(background.rgba());
    m_current = 0;
    m_saved.clear();
    m_canvas.assign(m_picture.size.isEmpty() ? 0 : PixelCount(m_picture.size), m_background);
}

void CGifComposer::Clear() {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_picture = PICTURE_DATA();
    m_canvas.clear();
    m_saved.clear();
    m_current = 0;
}

const PICTURE_FRAME* CGifComposer::Current() const {
    return m_current < m_picture.frames.size() ? &m_picture.frames[m_current] : nullptr;
}

void CGifComposer::RenderCurrent() {
    std::lock_guard<std::mutex> guard(m_mutex);
    const PICTURE_FRAME* frame = Current();
    if (frame == nullptr || m_canvas.empty()) {
        return;
    }
    const int width = m_picture.size.width();
    const QRect& rect = frame->rect;
    if (frame->disposal == 3) {
        m_saved = ReadRect(m_canvas, width, rect);
    }
    for (int y = 0; y < rect.height(); ++y) {
        uint32_t* row = &m_canvas[At(width, rect.x(), rect.y() + y)];
        const uint32_t* source = &frame->pixels[At(rect.width(), 0, y)];
        for (int x = 0; x < rect.width(); ++x) {
            row[x] = SourceOver(source[x], row[x]);
        }
    }
}

void CGifComposer::DisposeCurrent() {
    std::lock_guard<std::mutex> guard(m_mutex);
    const PICTURE_FRAME* frame = Current();
    if (frame == nullptr || m_canvas.empty()) {
        return;
    }
    const int width = m_picture.size.width();
    if (frame->disposal == 2) {
        FillRect(m_canvas, width, frame->rect, m_background);
    } else if (frame->disposal == 3 && !m_saved.empty()) {
        WriteRect(m_canvas, width, frame->rect, m_saved);
        m_saved.clear();
    }
}

void CGifComposer::Advance() {
    std::lock_guard<std::mutex> guard(m_mutex);
    if (m_picture.frames.empty()) {
        return;
    }
    if (++m_current >= m_picture.frames.size()) {
        m_current = 0;
        std::fill(m_canvas.begin(), m_canvas.end(), m_background);
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
    if (m_canvas.empty()) {
        return {};
    }
    QImage image(m_picture.size, kCanvasFormat);
    if (image.isNull()) {
        return {};
    }
    const auto width = static_cast<size_t>(m_picture.size.width());
    for (int y = 0; y < image.height(); ++y) {
        std::memcpy(image.scanLine(y), &m_canvas[static_cast<size_t>(y) * width],
                    width * sizeof(uint32_t));
    }
    return image;
}

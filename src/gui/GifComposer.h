// Decoding of a picture into frames and their composition off screen, the
// way an animated GIF is meant to play: each frame drawn over the picture
// at its offset, then disposed of by its disposal method. The composition
// is guarded by a lock, so one thread may compose while another paints.
//
// Composing works on plain pixel buffers only: the animation thread must not
// reach Qt's process-wide state (the raster paint engine and the image
// handlers live in globals that exit() may already have destroyed while the
// thread still runs). Qt images are made from and into the buffers on the
// window's thread only: when a picture is loaded and when it is painted.
#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QRect>
#include <cstdint>
#include <mutex>
#include <vector>

// Premultiplied ARGB32 pixels (QImage::Format_ARGB32_Premultiplied), row by
// row without padding.
using PICTURE_PIXELS = std::vector<uint32_t>;

struct PICTURE_FRAME {
    PICTURE_PIXELS pixels;  // the frame's own pixels, rect.width() per row
    QRect rect;             // where the frame lies within the picture
    int delay = -1;         // hundredths of a second; -1 without a graphic control
    int disposal = 0;       // 0, 1: leave; 2: background; 3: restore what lay under
};

struct PICTURE_DATA {
    QSize size;
    bool isGif = false;  // an animation cut into frames by the block walker
    std::vector<PICTURE_FRAME> frames;

    bool IsAnimated() const { return isGif && frames.size() > 1; }
};

// An animated GIF is cut into single-frame GIFs, each decoded by Qt's image
// reader (frames that do not decode are left out); anything else, a GIF of
// one frame included, is decoded whole as a still picture. False when no
// frame could be decoded. Call on the window's thread.
bool DecodePicture(const QByteArray& data, PICTURE_DATA& picture);

// How long a frame stays, in milliseconds: delay x 10, or 100 for delays of
// 0 to 4 and for frames without a delay.
int FrameDelayMs(int delay);

class CGifComposer {
public:
    // Takes the frames and fills the composition with the background.
    void Reset(PICTURE_DATA picture, const QColor& background);
    void Clear();

    const PICTURE_DATA& Picture() const { return m_picture; }
    bool IsEmpty() const { return m_picture.frames.empty(); }

    // The animation's steps, in the order the player calls them:
    // RenderCurrent, wait CurrentDelayMs, DisposeCurrent, Advance. They touch
    // nothing of Qt's and may run on any thread.
    void RenderCurrent();
    void DisposeCurrent();
    // Moves to the next frame; after the last one the animation starts
    // again from the background.
    void Advance();
    int CurrentIndex() const;
    int CurrentDelayMs() const;

    // A copy of the composition as a Qt image, for painting and tests; call
    // on the window's thread. Null when nothing is loaded.
    QImage Snapshot() const;

private:
    const PICTURE_FRAME* Current() const;

    mutable std::mutex m_mutex;
    PICTURE_DATA m_picture;
    uint32_t m_background = 0;  // premultiplied
    PICTURE_PIXELS m_canvas;    // m_picture.size, row by row
    PICTURE_PIXELS m_saved;     // what lay under a frame with disposal 3
    size_t m_current = 0;
};

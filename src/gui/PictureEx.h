// A picture control that plays an animated GIF on a thread of its own. The
// thread composes the frames into a pixel buffer and marks the picture
// changed; the control turns the buffer into an image and repaints on its
// own thread. Other pictures are shown still. While the thread runs, its
// stop is registered as an exit stop (ExitStops.h), so that a process ended
// by exit() joins it before the statics go.
#pragma once

#include <QByteArray>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <atomic>

#include "ExitStops.h"
#include "GifComposer.h"
#include "platform/Pub.h"

class CPictureEx : public QWidget {
    Q_OBJECT

public:
    explicit CPictureEx(QWidget* parent = nullptr);
    ~CPictureEx() override;

    // Loads the resource ":/<type>/<name>" (the main window's busy
    // animation is Load("130", "GIF")).
    bool Load(const QString& resourceName, const QString& resourceType);
    // Loads a picture from memory: an animated GIF is cut into its frames,
    // anything else is decoded whole.
    bool Load(const QByteArray& bytes);
    // Starts the animation thread for an animated GIF, or renders any other
    // picture once. False when nothing is loaded.
    bool Draw();
    // Ends the animation; returns at once when no thread runs.
    void Stop();
    // Stops and forgets the picture.
    void UnLoad();

    bool IsLoaded() const { return m_loaded; }
    bool IsAnimated() const { return m_composer.Picture().IsAnimated(); }
    bool IsPlaying() const { return m_playing.load(); }
    bool HasThread() const { return m_thread != nullptr; }
    QSize PictureSize() const { return m_composer.Picture().size; }
    int FrameCount() const { return static_cast<int>(m_composer.Picture().frames.size()); }
    const PICTURE_FRAME& Frame(int index) const;
    // Number of frames the thread has rendered since Draw.
    int RenderedFrames() const { return m_rendered.load(); }
    QImage Snapshot() const { return m_composer.Snapshot(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void ThreadMain();
    // Ends and joins the thread; touches nothing of Qt's, so that it may run
    // as the exit stop.
    void StopThread();

    CGifComposer m_composer;
    bool m_loaded = false;
    std::atomic<bool> m_playing{false};
    std::atomic<bool> m_exit{false};
    std::atomic<bool> m_running{false};
    std::atomic<int> m_rendered{0};
    std::atomic<bool> m_changed{false};  // a frame was composed since the last repaint
    QTimer m_repaintTimer;
    CPUB_Event m_exitEvent{true, false};
    PUB_THREAD m_thread;
    CExitStop m_exitStop;  // registered while m_thread runs
};

#include "PictureEx.h"

#include <QFile>
#include <QPaintEvent>
#include <QPainter>

#include "app/Logger.h"

FH_LOG_SOURCE("PictureEx");

namespace {

// How often the control looks for a newly composed frame; well below the
// shortest frame time that the animation uses.
constexpr int kRepaintPollMs = 20;

}  // namespace

CPictureEx::CPictureEx(QWidget* parent) : QWidget(parent) {
    // The composition covers the whole control; Qt need not clear it first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    // The animation thread never touches the widget: it only marks the
    // composition changed, and this timer repaints on the control's thread.
    m_repaintTimer.setInterval(kRepaintPollMs);
    connect(&m_repaintTimer, &QTimer::timeout, this, [this] {
        if (m_changed.exchange(false)) {
            update();
        }
    });
}

CPictureEx::~CPictureEx() {
    Stop();
}

bool CPictureEx::Load(const QString& resourceName, const QString& resourceType) {
    QFile file(QStringLiteral(":/") + resourceType + QLatin1Char('/') + resourceName);
    if (!file.open(QIODevice::ReadOnly)) {
        LOG_WARN("CPictureEx::Load", "resource %s not found",
                 qPrintable(resourceType + QLatin1Char('/') + resourceName));
        UnLoad();
        return false;
    }
    return Load(file.readAll());
}

bool CPictureEx::Load(const QByteArray& bytes) {
    UnLoad();
    PICTURE_DATA picture;
    if (!DecodePicture(bytes, picture)) {
        return false;
    }
    const QSize size = picture.size;
    m_composer.Reset(std::move(picture), palette().color(QPalette::Button));
    // The control takes the picture's size; its position stays.
    setFixedSize(size);
    m_loaded = true;
    return true;
}

bool CPictureEx::Draw() {
    if (!m_loaded) {
        return false;
    }
    if (!IsAnimated()) {
        m_composer.RenderCurrent();
        update();
        return true;
    }
    if (m_thread) {
        return true;  // already playing
    }
    m_exit = false;
    m_rendered = 0;
    m_thread = PUB_CreateThread([this] { ThreadMain(); }, &m_running);
    if (!m_thread) {
        LOG_ERROR("CPictureEx::Draw", "animation thread failed to start");
        return false;
    }
    m_exitStop = RegisterExitStop([this] { StopThread(); });
    m_repaintTimer.start();
    return true;
}

void CPictureEx::ThreadMain() {
    m_playing = true;
    m_composer.DisposeCurrent();
    while (!m_exit) {
        m_composer.RenderCurrent();
        ++m_rendered;
        m_changed = true;
        if (m_exit) {
            break;
        }
        m_exitEvent.Wait(m_composer.CurrentDelayMs());
        if (m_exit) {
            break;
        }
        m_composer.DisposeCurrent();
        m_composer.Advance();
    }
    m_playing = false;
}

void CPictureEx::StopThread() {
    m_playing = false;
    if (!m_thread) {
        return;
    }
    m_exit = true;
    m_exitEvent.Set();
    // The loop looks at the exit flag between every step, so it ends within
    // one frame's composition; it is joined so that it never outlives the
    // control it draws into.
    PUB_ExitThread(m_thread, &m_running);
    m_exitEvent.Reset();
    m_exit = false;
}

void CPictureEx::Stop() {
    // Unregistered first: once that returns, the exit stop neither runs nor
    // will, so the thread is joined from one side only.
    m_exitStop.Reset();
    const bool hadThread = m_thread != nullptr;
    StopThread();
    if (!hadThread) {
        return;
    }
    m_repaintTimer.stop();
    if (m_changed.exchange(false)) {
        update();
    }
}

void CPictureEx::UnLoad() {
    Stop();
    m_composer.Clear();
    m_loaded = false;
    m_rendered = 0;
}

const PICTURE_FRAME& CPictureEx::Frame(int index) const {
    static const PICTURE_FRAME kNoFrame;
    const auto& frames = m_composer.Picture().frames;
    if (index < 0 || static_cast<size_t>(index) >= frames.size()) {
        return kNoFrame;
    }
    return frames[static_cast<size_t>(index)];
}

void CPictureEx::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    if (!m_loaded) {
        painter.fillRect(rect(), palette().color(QPalette::Window));
        return;
    }
    // The thread's pixels become an image here, on the control's thread.
    painter.drawImage(QPoint(0, 0), m_composer.Snapshot());
}

#include <gtest/gtest.h>

#include <QBuffer>
#include <QFile>
#include <QImage>

#include "ExitStops.h"
#include "GifBlockWalker.h"
#include "GifComposer.h"
#include "GuiResources.h"
#include "GuiTestSupport.h"
#include "PictureEx.h"

namespace {

constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kRed = 0xFF0000;
constexpr uint32_t kGreen = 0x00FF00;
constexpr uint32_t kBlue = 0x0000FF;
const QColor kBackground(10, 20, 30);

// Four frames over an 8 x 8 screen: a red field that stays (disposal 1), a
// green square put back to what lay under it (3), a blue square in a local
// colour table with a comment before it that goes back to the background
// (2), and a green dot without a graphic control.
QByteArray FourFrameGif() {
    CTestGif gif(8, 8, {kWhite, kRed, kGreen, kBlue});
    gif.Application();
    gif.GraphicControl(1, 10);
    gif.Image(0, 0, 8, 8, 1);
    gif.GraphicControl(3, 0);
    gif.Image(2, 2, 2, 2, 2);
    gif.GraphicControl(2, 7);
    gif.Comment("between");
    gif.Image(4, 4, 4, 4, 3, {kBlue, kBlue, kBlue, kBlue});
    gif.Image(0, 0, 1, 1, 2);
    return gif.Finish();
}

QByteArray Resource130() {
    InitGuiResources();
    QFile file(QStringLiteral(":/GIF/130"));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return file.readAll();
}

QRgb Pixel(const QImage& image, int x, int y) {
    return image.pixel(x, y) & 0xFFFFFF;
}

class PictureExTest : public CGuiTest {};

}  // namespace

TEST_F(PictureExTest, WalkerCutsFramesWithTheirTiming) {
    const QByteArray data = FourFrameGif();
    const auto* bytes = reinterpret_cast<const uint8_t*>(data.constData());
    EXPECT_TRUE(IsGifData(bytes, static_cast<size_t>(data.size())));
    EXPECT_EQ(CountGifFrames(bytes, static_cast<size_t>(data.size())), 4);

    int width = 0;
    int height = 0;
    std::vector<GIF_FRAME_DATA> frames;
    ASSERT_TRUE(SplitGif(bytes, static_cast<size_t>(data.size()), width, height, frames));
    EXPECT_EQ(width, 8);
    EXPECT_EQ(height, 8);
    ASSERT_EQ(frames.size(), 4u);
    const int delays[] = {10, 0, 7, -1};
    const int disposals[] = {1, 3, 2, 0};
    const QRect rects[] = {{0, 0, 8, 8}, {2, 2, 2, 2}, {4, 4, 4, 4}, {0, 0, 1, 1}};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(frames[i].delay, delays[i]) << i;
        EXPECT_EQ(frames[i].disposal, disposals[i]) << i;
        EXPECT_EQ(QRect(frames[i].left, frames[i].top, frames[i].width, frames[i].height), rects[i])
            << i;
        // Each piece is a GIF of its own: prologue, the frame, the trailer.
        EXPECT_EQ(frames[i].gif.front(), 'G');
        EXPECT_EQ(frames[i].gif.back(), 0x3B);
        EXPECT_EQ(CountGifFrames(frames[i].gif.data(), frames[i].gif.size()), 1) << i;
    }
    EXPECT_EQ(FrameDelayMs(10), 100);
    EXPECT_EQ(FrameDelayMs(0), 100);
    EXPECT_EQ(FrameDelayMs(4), 100);
    EXPECT_EQ(FrameDelayMs(5), 50);
    EXPECT_EQ(FrameDelayMs(-1), 100);
}

TEST_F(PictureExTest, WalkerNeverReadsPastTheData) {
    const QByteArray whole = FourFrameGif();
    for (qsizetype cut = 0; cut <= whole.size(); ++cut) {
        const QByteArray part = whole.left(cut);
        const auto* bytes = reinterpret_cast<const uint8_t*>(part.constData());
        const int count = CountGifFrames(bytes, static_cast<size_t>(part.size()));
        EXPECT_LE(count, 4);
        PICTURE_DATA picture;
        DecodePicture(part, picture);  // must not crash
    }
    // Unknown block kinds end the walk.
    CTestGif gif(8, 8, {kWhite, kRed, kGreen, kBlue});
    gif.Image(0, 0, 8, 8, 1);
    QByteArray odd = gif.Unfinished();
    odd.append("\x99\x01\x02", 3);
    const auto* bytes = reinterpret_cast<const uint8_t*>(odd.constData());
    EXPECT_EQ(CountGifFrames(bytes, static_cast<size_t>(odd.size())), 1);
    EXPECT_FALSE(IsGifData(reinterpret_cast<const uint8_t*>("GIF90a1234567"), 13));
}

TEST_F(PictureExTest, ResourceIsTwelveFramesOfFiftyMilliseconds) {
    const QByteArray data = Resource130();
    EXPECT_EQ(CountGifFrames(reinterpret_cast<const uint8_t*>(data.constData()),
                             static_cast<size_t>(data.size())),
              12);
    CPictureEx picture;
    ASSERT_TRUE(picture.Load(QStringLiteral("130"), QStringLiteral("GIF")));
    EXPECT_TRUE(picture.IsAnimated());
    EXPECT_EQ(picture.PictureSize(), QSize(32, 32));
    EXPECT_EQ(picture.size(), QSize(32, 32));
    ASSERT_EQ(picture.FrameCount(), 12);
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(FrameDelayMs(picture.Frame(i).delay), 50) << i;
    }
    EXPECT_FALSE(picture.Load(QStringLiteral("999"), QStringLiteral("GIF")));
    EXPECT_FALSE(picture.IsLoaded());
    EXPECT_FALSE(picture.Draw());
}

TEST_F(PictureExTest, ComposerAppliesTheDisposalMethods) {
    PICTURE_DATA picture;
    ASSERT_TRUE(DecodePicture(FourFrameGif(), picture));
    ASSERT_TRUE(picture.IsAnimated());
    ASSERT_EQ(picture.frames.size(), 4u);
    EXPECT_EQ(picture.frames[2].rect.size(), QSize(4, 4));
    ASSERT_EQ(picture.frames[2].pixels.size(), 16u);
    EXPECT_EQ(picture.frames[2].pixels[15], 0xFF0000FFu);  // opaque blue

    CGifComposer composer;
    composer.Reset(std::move(picture), kBackground);
    const QRgb bg = kBackground.rgb() & 0xFFFFFF;
    EXPECT_EQ(Pixel(composer.Snapshot(), 0, 0), bg);

    composer.DisposeCurrent();  // before the first frame: nothing to undo
    composer.RenderCurrent();
    EXPECT_EQ(Pixel(composer.Snapshot(), 7, 7), kRed);
    composer.DisposeCurrent();  // 1: stays
    composer.Advance();
    EXPECT_EQ(Pixel(composer.Snapshot(), 7, 7), kRed);

    composer.RenderCurrent();
    EXPECT_EQ(Pixel(composer.Snapshot(), 2, 2), kGreen);
    EXPECT_EQ(Pixel(composer.Snapshot(), 4, 4), kRed);
    composer.DisposeCurrent();  // 3: what lay under comes back
    EXPECT_EQ(Pixel(composer.Snapshot(), 2, 2), kRed);
    EXPECT_EQ(Pixel(composer.Snapshot(), 3, 3), kRed);
    composer.Advance();

    composer.RenderCurrent();
    EXPECT_EQ(Pixel(composer.Snapshot(), 5, 5), kBlue);
    EXPECT_EQ(composer.CurrentDelayMs(), 70);
    composer.DisposeCurrent();  // 2: background
    EXPECT_EQ(Pixel(composer.Snapshot(), 5, 5), bg);
    EXPECT_EQ(Pixel(composer.Snapshot(), 3, 3), kRed);
    composer.Advance();

    composer.RenderCurrent();
    EXPECT_EQ(Pixel(composer.Snapshot(), 0, 0), kGreen);
    EXPECT_EQ(composer.CurrentDelayMs(), 100);  // no graphic control
    composer.DisposeCurrent();
    composer.Advance();  // back to the first frame, over the background
    EXPECT_EQ(composer.CurrentIndex(), 0);
    EXPECT_EQ(Pixel(composer.Snapshot(), 0, 0), bg);
    EXPECT_EQ(Pixel(composer.Snapshot(), 7, 7), bg);
}

TEST_F(PictureExTest, ComposerKeepsWhatLiesUnderTransparentPixels) {
    // A GIF's transparency is one palette index: those pixels leave the
    // picture as it was, every other one covers it.
    CTestGif gif(4, 4, {kWhite, kRed, kGreen, kBlue});
    gif.GraphicControl(1, 10);
    gif.Image(0, 0, 4, 4, 1);
    gif.GraphicControl(1, 10, 2);
    gif.Image(1, 1, 2, 2, 2);  // all of it the transparent index
    gif.GraphicControl(1, 10, 2);
    gif.Image(0, 0, 1, 1, 3);
    PICTURE_DATA picture;
    ASSERT_TRUE(DecodePicture(gif.Finish(), picture));
    ASSERT_EQ(picture.frames.size(), 3u);
    CGifComposer composer;
    composer.Reset(std::move(picture), kBackground);
    for (int i = 0; i < 3; ++i) {
        composer.RenderCurrent();
        composer.DisposeCurrent();
        composer.Advance();
    }
    // The last Advance started over; the pictures of the round are gone.
    EXPECT_EQ(Pixel(composer.Snapshot(), 1, 1), kBackground.rgb() & 0xFFFFFF);
    for (int i = 0; i < 2; ++i) {
        composer.RenderCurrent();
        composer.Advance();
    }
    EXPECT_EQ(Pixel(composer.Snapshot(), 1, 1), kRed);
    EXPECT_EQ(Pixel(composer.Snapshot(), 2, 2), kRed);
    composer.RenderCurrent();
    EXPECT_EQ(Pixel(composer.Snapshot(), 0, 0), kBlue);
    EXPECT_EQ(Pixel(composer.Snapshot(), 1, 1), kRed);

    // A still picture of another format may be partly transparent: it is
    // blended over the background.
    QImage half(2, 1, QImage::Format_ARGB32);
    half.setPixel(0, 0, qRgba(255, 0, 0, 128));
    half.setPixel(1, 0, qRgba(0, 0, 0, 0));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(half.save(&buffer, "PNG"));
    ASSERT_TRUE(DecodePicture(png, picture));
    composer.Reset(std::move(picture), kBackground);
    composer.RenderCurrent();
    const QImage shown = composer.Snapshot();
    EXPECT_NEAR(qRed(shown.pixel(0, 0)), 128 + 10 / 2, 2);
    EXPECT_NEAR(qBlue(shown.pixel(0, 0)), 30 / 2, 2);
    EXPECT_EQ(Pixel(shown, 1, 0), kBackground.rgb() & 0xFFFFFF);
    EXPECT_EQ(qAlpha(shown.pixel(0, 0)), 255);
}

// A GIF of one frame and a picture of another format are drawn once; no
// thread is started and stopping returns at once.
TEST_F(PictureExTest, StillPicturesAreShownWithoutAThread) {
    CPictureEx picture;
    picture.Stop();
    picture.UnLoad();
    EXPECT_FALSE(picture.HasThread());
    CTestGif gif(6, 5, {kWhite, kRed, kGreen, kBlue});
    gif.GraphicControl(0, 20);
    gif.Image(0, 0, 6, 5, 3);
    ASSERT_TRUE(picture.Load(gif.Finish()));
    EXPECT_FALSE(picture.IsAnimated());
    EXPECT_EQ(picture.PictureSize(), QSize(6, 5));
    ASSERT_TRUE(picture.Draw());
    EXPECT_FALSE(picture.HasThread());
    EXPECT_FALSE(picture.IsPlaying());
    EXPECT_EQ(Pixel(picture.Snapshot(), 5, 4), kBlue);
    picture.Stop();
    EXPECT_EQ(Pixel(picture.Snapshot(), 5, 4), kBlue);

    QImage image(7, 3, QImage::Format_RGB32);
    image.fill(QColor(0, 128, 0));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(image.save(&buffer, "PNG"));
    ASSERT_TRUE(picture.Load(png));
    EXPECT_EQ(picture.PictureSize(), QSize(7, 3));
    EXPECT_TRUE(picture.Draw());
    EXPECT_FALSE(picture.HasThread());
    EXPECT_EQ(Pixel(picture.Snapshot(), 6, 2), 0x008000u);
    EXPECT_FALSE(picture.Load(QByteArray("not a picture")));
    EXPECT_FALSE(picture.IsLoaded());

    ASSERT_TRUE(picture.Load(QStringLiteral("130"), QStringLiteral("GIF")));
    picture.Stop();  // an animation loaded but never drawn
    EXPECT_FALSE(picture.HasThread());
}

TEST_F(PictureExTest, AnimationThreadPlaysAndStops) {
    CPictureEx picture;
    ASSERT_TRUE(picture.Load(FourFrameGif()));
    ASSERT_TRUE(picture.Draw());
    EXPECT_TRUE(picture.HasThread());
    // The first frame is drawn at once; the second after its 100 ms.
    ASSERT_TRUE(testing_support::WaitFor([&] { return picture.RenderedFrames() >= 2; }));
    EXPECT_TRUE(picture.IsPlaying());
    ProcessGuiEvents();  // repaint requests from the thread
    picture.Stop();
    EXPECT_FALSE(picture.HasThread());
    EXPECT_FALSE(picture.IsPlaying());
    const int rendered = picture.RenderedFrames();
    ProcessGuiEvents();
    EXPECT_EQ(picture.RenderedFrames(), rendered);

    // It can play again, and a new load stops the old animation first.
    ASSERT_TRUE(picture.Draw());
    ASSERT_TRUE(testing_support::WaitFor([&] { return picture.RenderedFrames() >= 1; }));
    ASSERT_TRUE(picture.Load(QStringLiteral("130"), QStringLiteral("GIF")));
    EXPECT_FALSE(picture.HasThread());
    ASSERT_TRUE(picture.Draw());
    picture.UnLoad();
    EXPECT_FALSE(picture.HasThread());
    EXPECT_EQ(picture.FrameCount(), 0);
}

TEST_F(PictureExTest, RunningAnimationIsStoppedByTheExitStops) {
    CPictureEx picture;
    ASSERT_TRUE(picture.Load(FourFrameGif()));
    ASSERT_TRUE(picture.Draw());
    ASSERT_TRUE(testing_support::WaitFor([&] { return picture.RenderedFrames() >= 1; }));
    // What runs before exit() destroys the statics: the thread is joined.
    RunExitStops();
    EXPECT_FALSE(picture.HasThread());
    EXPECT_FALSE(picture.IsPlaying());
    picture.Stop();  // the control's own stop afterwards is harmless

    // It plays again, and a picture that goes leaves no stop behind: a
    // later run would call into freed memory (the sanitizer build sees it).
    ASSERT_TRUE(picture.Draw());
    ASSERT_TRUE(testing_support::WaitFor([&] { return picture.RenderedFrames() >= 1; }));
    {
        CPictureEx other;
        ASSERT_TRUE(other.Load(FourFrameGif()));
        ASSERT_TRUE(other.Draw());
    }
    picture.Stop();
    ASSERT_TRUE(picture.Draw());
    picture.UnLoad();
    RunExitStops();
    EXPECT_FALSE(picture.HasThread());
}

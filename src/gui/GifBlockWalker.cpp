#include "GifBlockWalker.h"

#include <cstring>

namespace {

constexpr size_t kHeaderLength = 6;
constexpr size_t kScreenLength = 7;
constexpr size_t kNone = static_cast<size_t>(-1);

uint16_t ReadLe16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

// Size in bytes of a colour table whose size field is `flags & 7`.
size_t ColourTableLength(uint8_t flags) {
    return 3u * (size_t{1} << ((flags & 0x07) + 1));
}

// Where a frame's blocks lie in the file.
struct FrameSpan {
    size_t start;       // graphic control, or the descriptor itself
    size_t end;         // one past the frame's last data byte
    size_t control;     // last graphic control before the descriptor, or kNone
    size_t descriptor;  // the image descriptor or plain text block
    GifBlockKind kind;  // ImageDescriptor or PlainText
};

std::vector<FrameSpan> FindFrames(CGifBlockWalker& walker) {
    std::vector<FrameSpan> spans;
    size_t start = kNone;
    size_t control = kNone;
    GIF_BLOCK block;
    while (walker.Next(block)) {
        switch (block.kind) {
            case GifBlockKind::GraphicControl:
                if (start == kNone) {
                    start = block.offset;
                }
                control = block.offset;
                break;
            case GifBlockKind::ImageDescriptor:
            case GifBlockKind::PlainText:
                spans.push_back({start == kNone ? block.offset : start, block.offset + block.length,
                                 control, block.offset, block.kind});
                start = kNone;
                control = kNone;
                break;
            default:
                break;
        }
    }
    return spans;
}

}  // namespace

CGifBlockWalker::CGifBlockWalker(const uint8_t* data, size_t size) : m_data(data), m_size(size) {
    if (data == nullptr || size < kHeaderLength + kScreenLength) {
        return;
    }
    if (std::memcmp(data, "GIF87a", 6) != 0 && std::memcmp(data, "GIF89a", 6) != 0) {
        return;
    }
    const uint8_t* screen = data + kHeaderLength;
    m_width = ReadLe16(screen);
    m_height = ReadLe16(screen + 2);
    m_prologue = kHeaderLength + kScreenLength;
    if (screen[4] & 0x80) {
        m_prologue += ColourTableLength(screen[4]);
    }
    if (m_prologue > size) {
        m_prologue = size;
        m_done = true;  // the colour table is cut short: no blocks to walk
    }
    m_pos = m_prologue;
    m_isGif = true;
}

size_t CGifBlockWalker::SubBlocksEnd(size_t pos) const {
    while (pos < m_size) {
        const size_t n = m_data[pos];
        pos += 1 + n;
        if (n == 0) {
            return pos;
        }
    }
    return kNone;  // the chain runs past the data
}

bool CGifBlockWalker::Next(GIF_BLOCK& block) {
    if (!m_isGif || m_done || m_pos >= m_size) {
        return false;
    }
    const size_t start = m_pos;
    const uint8_t first = m_data[start];
    size_t end = kNone;
    GifBlockKind kind = GifBlockKind::Trailer;
    if (first == 0x21) {
        if (start + 1 >= m_size) {
            m_done = true;
            return false;
        }
        switch (m_data[start + 1]) {
            case 0xFF:
                kind = GifBlockKind::ApplicationExtension;
                end = start + 14 <= m_size ? SubBlocksEnd(start + 14) : kNone;
                break;
            case 0xFE:
                kind = GifBlockKind::CommentExtension;
                end = SubBlocksEnd(start + 2);
                break;
            case 0xF9:
                kind = GifBlockKind::GraphicControl;
                end = start + 8;
                break;
            case 0x01:
                kind = GifBlockKind::PlainText;
                end = start + 15 <= m_size ? SubBlocksEnd(start + 15) : kNone;
                break;
            default:
                m_done = true;
                return false;
        }
    } else if (first == 0x2C) {
        kind = GifBlockKind::ImageDescriptor;
        if (start + 11 <= m_size) {
            const uint8_t flags = m_data[start + 9];
            const size_t table = (flags & 0x80) ? ColourTableLength(flags) : 0;
            end = start + 11 + table <= m_size ? SubBlocksEnd(start + 11 + table) : kNone;
        }
    } else if (first == 0x3B) {
        kind = GifBlockKind::Trailer;
        end = start + 1;
    } else {
        m_done = true;
        return false;
    }
    if (end == kNone || end > m_size) {
        m_done = true;
        return false;
    }
    block = {kind, start, end - start};
    m_pos = end;
    if (kind == GifBlockKind::Trailer) {
        m_done = true;
    }
    return true;
}

bool IsGifData(const uint8_t* data, size_t size) {
    return CGifBlockWalker(data, size).IsGif();
}

int CountGifFrames(const uint8_t* data, size_t size) {
    CGifBlockWalker walker(data, size);
    if (!walker.IsGif()) {
        return 0;
    }
    return static_cast<int>(FindFrames(walker).size());
}

bool SplitGif(const uint8_t* data, size_t size, int& width, int& height,
              std::vector<GIF_FRAME_DATA>& frames) {
    frames.clear();
    CGifBlockWalker walker(data, size);
    if (!walker.IsGif()) {
        return false;
    }
    width = walker.ScreenWidth();
    height = walker.ScreenHeight();
    const size_t prologue = walker.PrologueLength();
    for (const FrameSpan& span : FindFrames(walker)) {
        GIF_FRAME_DATA frame;
        frame.gif.reserve(prologue + (span.end - span.start) + 1);
        frame.gif.insert(frame.gif.end(), data, data + prologue);
        frame.gif.insert(frame.gif.end(), data + span.start, data + span.end);
        frame.gif.push_back(0x3B);
        if (span.control != kNone) {
            const uint8_t* gce = data + span.control;
            frame.disposal = (gce[3] >> 2) & 0x07;
            frame.delay = ReadLe16(gce + 4);
        }
        // Both an image descriptor (after 0x2C) and a plain text block
        // (after 0x21 0x01 and its block size) carry left, top, width,
        // height as little-endian words.
        const uint8_t* geometry =
            data + span.descriptor + (span.kind == GifBlockKind::ImageDescriptor ? 1 : 3);
        frame.left = ReadLe16(geometry);
        frame.top = ReadLe16(geometry + 2);
        frame.width = ReadLe16(geometry + 4);
        frame.height = ReadLe16(geometry + 6);
        frames.push_back(std::move(frame));
    }
    return !frames.empty();
}

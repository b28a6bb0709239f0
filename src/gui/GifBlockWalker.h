// Walks the blocks of a GIF file and cuts an animation into single-frame
// GIF files that any GIF decoder can read on its own. No decoding happens
// here; the walker only measures blocks and never reads past the data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

enum class GifBlockKind {
    ApplicationExtension,  // 0x21 0xFF
    CommentExtension,      // 0x21 0xFE
    GraphicControl,        // 0x21 0xF9
    PlainText,             // 0x21 0x01
    ImageDescriptor,       // 0x2C
    Trailer,               // 0x3B
};

struct GIF_BLOCK {
    GifBlockKind kind;
    size_t offset;  // first byte of the block
    size_t length;  // the whole block, data sub-blocks included
};

class CGifBlockWalker {
public:
    CGifBlockWalker(const uint8_t* data, size_t size);

    // Header and logical screen descriptor present, "GIF87a" or "GIF89a".
    bool IsGif() const { return m_isGif; }
    int ScreenWidth() const { return m_width; }
    int ScreenHeight() const { return m_height; }
    // Header, screen descriptor and global colour table: the part every
    // single-frame file starts with.
    size_t PrologueLength() const { return m_prologue; }

    // The next block; false at the trailer's end, at an unknown block or
    // where a block would run past the data.
    bool Next(GIF_BLOCK& block);

private:
    size_t SubBlocksEnd(size_t pos) const;

    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
    bool m_isGif = false;
    bool m_done = false;
    int m_width = 0;
    int m_height = 0;
    size_t m_prologue = 0;
};

// One frame of an animation, as a GIF file of its own.
struct GIF_FRAME_DATA {
    std::vector<uint8_t> gif;
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    int delay = -1;    // hundredths of a second; -1 without a graphic control
    int disposal = 0;  // the graphic control's 3-bit disposal method
};

// True when the data starts like a GIF ("GIF87a"/"GIF89a" and a whole
// logical screen descriptor).
bool IsGifData(const uint8_t* data, size_t size);

// Frames as counted for the animation: a graphic control followed (after
// any other blocks) by an image or plain text, or such a block alone.
int CountGifFrames(const uint8_t* data, size_t size);

// Cuts the GIF into single-frame files. False when the data is not a GIF
// or holds no frame. The screen size is returned too.
bool SplitGif(const uint8_t* data, size_t size, int& width, int& height,
              std::vector<GIF_FRAME_DATA>& frames);

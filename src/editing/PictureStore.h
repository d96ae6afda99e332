#pragma once
// The frame, shadow and mask pictures of the Frame, Shadow and Mask tasks. No artwork came with
// the program, so the pictures are drawn in code once, on first use (thread-safe), and are the
// same on every run: eight picture frames of eight pieces, four inner corners that frame 4 adds,
// eight drop shadows (piece indexes 8..15: shadow n is at n + 8) and eight masks.
#include <QImage>
#include <array>

namespace tf {

struct FramePieces {
    QImage pTop_left, pTop_middle, pTop_right, pleft, pRight, pBottom_left, pBottom_middle, pBottom_right;
};

struct InnerCorners {
    QImage left_top, right_top, left_bottom, right_bottom;
};

class PictureStore {
public:
    static constexpr int kFrameCount = 8;
    static constexpr int kShadowBase = 8; // piece index of shadow 0
    static constexpr int kShadowCount = 8;
    static constexpr int kMaskCount = 8;

    static const PictureStore& instance();

    // Pieces of a frame (0..7) or shadow (8..15); nullptr for any other index.
    const FramePieces* pieces(int pieceIndex) const;
    const InnerCorners& innerCorners() const { return m_inner; }
    // Mask 0..7, black where the image shows through; null for any other index.
    QImage mask(int index) const;

private:
    PictureStore();
    std::array<FramePieces, kFrameCount + kShadowCount> m_pieces;
    InnerCorners m_inner;
    std::array<QImage, kMaskCount> m_masks;
};

} // namespace tf

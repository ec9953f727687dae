#pragma once

#include <QtGlobal>

// Ceilings on what a branded copy delivers beside the executable. Anyone can seal a settings
// file and lay out banners, a skin and an icon, so every reader of them stops at these sizes;
// the loader skips what is over them and `quillet-brand lint` warns about it.
namespace Limits {

// The skin's style sheet after inflating. The built-in look is a few KiB; a skin of megabytes
// is no skin anyone writes by hand.
inline constexpr qsizetype kSkinMaxBytes = 4 * 1024 * 1024;

// The skin file as it lies on disk, read whole before it is decoded: a plain sheet is at most
// kSkinMaxBytes, and compressing never adds more than a few bytes per 16 KiB to it.
inline constexpr qint64 kSkinFileMaxBytes = kSkinMaxBytes + 64 * 1024;

// A banner file and the sides of its picture; a banner is a strip a few hundred pixels wide.
inline constexpr qint64 kBannerFileMaxBytes = 16 * 1024 * 1024;
inline constexpr int kBannerMaxSide = 4096;

// What decoding one banner picture or one picture of the icon may allocate (QImageReader's
// allocation limit; 2048 x 2048 pixels, or a banner strip of 4096 x 1024). A picture exists up to
// three times while it is shown (the decoder's image, the pixmap, a movie's current frame), and
// the start with any hostile picture is to stay within 64 MiB of a start without it.
inline constexpr int kImageAllocationMiB = 16;
inline constexpr qint64 kImageAllocationBytes = qint64(kImageAllocationMiB) * 1024 * 1024;

// All frames of an animated banner together (frames x width x height x 4). A movie keeps only
// its current frame, so this bounds the work of one pass through the animation, not memory.
inline constexpr qint64 kAnimationMaxBytes = qint64(256) * 1024 * 1024;

// main.ico: the file, the sides of each picture in it, how many pictures are taken, and what
// they may take together once decoded (an icon keeps every picture).
inline constexpr qint64 kIconFileMaxBytes = 4 * 1024 * 1024;
inline constexpr int kIconMaxSide = 1024;
inline constexpr int kIconMaxPictures = 32;
inline constexpr qint64 kIconMaxBytes = kImageAllocationBytes;

// An address after the affiliate id is put in. Longer is useless: Linux refuses a single
// command-line argument over 128 KiB, so no browser could be handed it. A longer AffiliateURL is
// used empty; its length is worked out before the replacement, so it is never built.
inline constexpr qsizetype kMaxAddressLength = 64 * 1024;

// One line of a settings text as a widget shows it (caption, label, button, a line of the About
// memo); the rest of a longer line is not shown. A product name or link text is a few words,
// while Qt lays out one line in time that grows with the square of its length: a 10 MB name took
// a label 12 s and 390 MiB, a button a minute and 5.6 GiB.
inline constexpr qsizetype kMaxShownLineLength = 4096;

} // namespace Limits

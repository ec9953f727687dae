#pragma once

#include <QtGlobal>

// Ceilings on what a branded copy delivers beside the executable. Anyone can seal a settings
// file and lay out banners, a skin and an icon, so every reader of them stops at these sizes;
// the loader skips what is over them and `quillet-brand lint` warns about it.
namespace Limits {

// The skin's style sheet after inflating. The built-in look is a few KiB; a skin of megabytes
// is no skin anyone writes by hand.
inline constexpr qsizetype kSkinMaxBytes = 4 * 1024 * 1024;

// The skin file as it lies on disk, read whole before it is decoded.
inline constexpr qint64 kSkinFileMaxBytes = 16 * 1024 * 1024;

// A banner file and the sides of its picture; a banner is a strip a few hundred pixels wide.
inline constexpr qint64 kBannerFileMaxBytes = 16 * 1024 * 1024;
inline constexpr int kBannerMaxSide = 4096;

// main.ico: the file, the sides of each picture in it, and how many pictures are taken.
inline constexpr qint64 kIconFileMaxBytes = 4 * 1024 * 1024;
inline constexpr int kIconMaxSide = 1024;
inline constexpr int kIconMaxPictures = 32;

// What decoding one banner picture or the icon may allocate (QImageReader's allocation limit),
// and what all frames of an animated banner may take together.
inline constexpr int kImageAllocationMiB = 64;
inline constexpr qint64 kAnimationMaxBytes = qint64(256) * 1024 * 1024;

// An address after the affiliate id is put in. Longer is useless: Linux refuses a single
// command-line argument over 128 KiB, so no browser could be handed it.
inline constexpr qsizetype kMaxAddressLength = 64 * 1024;

} // namespace Limits

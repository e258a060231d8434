// How large a photo may be decoded, decided from its headers before the decoder starts: a small
// damaged or hostile file must not take gigabytes because its header claims a huge picture.
#pragma once

#include "browse/jpeg_header.h"

// A real camera's largest pictures with room to spare; a photo claiming more is not decoded.
constexpr long long kMaxPhotoPixels = 64'000'000;

// What one photo decode may hold. A 64 MP baseline picture at full size (192 MB) fits; a
// laptop with 8 GB keeps room for the desktop while the big view and the strip hold theirs.
constexpr long long kMaxPhotoDecodeBytes = 256LL << 20;

// The memory the decoder takes for the picture at 1/scale of its size: the decoded picture
// (BGR), its row buffers, and for a progressive or multi-scan file every coefficient of the
// picture, which it keeps whatever the scale.
long long photoDecodeBytes(const JpegHeader& header, int scale);

// The decoder's scale for the photo (1, 2, 4 or 8): the least that fits kMaxPhotoDecodeBytes,
// reduced further while the result stays at least minWidth × minHeight (for thumbnails, when
// both are > 0). 0 when the photo must not be decoded at all.
int photoDecodeScale(const JpegHeader& header, int minWidth = 0, int minHeight = 0);

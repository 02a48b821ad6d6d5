// The figures of the updater window's layout and progress read-out, apart
// from any drawing so that they can be checked on their own.
#pragma once

#include <cstdint>

// Where the progress bar and its text go, in client pixels.
struct ProgressRect {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;
};

// The 260 x 50 rectangle centred horizontally in a client area `clientWidth`
// wide, and vertically in the strip between the background picture (height
// `pictureHeight`) and the bottom of a client area `clientHeight` high. The
// vertical centre is taken on the unsigned sum, halved by a shift.
ProgressRect ProgressRectangle(int32_t clientWidth, int32_t clientHeight, uint32_t pictureHeight);

// The left edge of a picture `pictureWidth` wide centred in a client area
// `clientWidth` wide, halved as an unsigned value.
int32_t CentredLeft(int32_t clientWidth, uint32_t pictureWidth);

struct ProgressFigures {
  int32_t fill;      // pixels of the bar drawn in the done colour, 0 to width
  uint32_t percent;  // the number in the text "updating %u%%"
};

// The read-out of `done` of `total` bytes on a bar `width` pixels wide:
// fill = width x done / total and percent = done / total x 100, each taken
// in doubles in that order and truncated (so 29 of 100 reads 28). A total of
// 0 reads as nothing done; more done than the total fills the bar and no more.
ProgressFigures ComputeProgress(uint64_t done, uint64_t total, int32_t width);

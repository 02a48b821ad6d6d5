#include "ui/progress_figures.h"

namespace {
constexpr int32_t kBarWidth = 260;
constexpr int32_t kBarHeight = 50;

// A non-negative double truncated to at most `limit`; what cannot be a count
// (not a number, negative) reads 0.
uint32_t Truncated(double value, uint32_t limit) {
  if (!(value > 0)) return 0;
  return value >= static_cast<double>(limit) ? limit : static_cast<uint32_t>(value);
}
}  // namespace

ProgressRect ProgressRectangle(int32_t clientWidth, int32_t clientHeight, uint32_t pictureHeight) {
  const uint32_t height = static_cast<uint32_t>(clientHeight) + pictureHeight;
  return ProgressRect{(clientWidth - kBarWidth) / 2, static_cast<int32_t>((height - kBarHeight) >> 1),
                      (clientWidth + kBarWidth) / 2, static_cast<int32_t>((height + kBarHeight) >> 1)};
}

int32_t CentredLeft(int32_t clientWidth, uint32_t pictureWidth) {
  return static_cast<int32_t>((static_cast<uint32_t>(clientWidth) - pictureWidth) >> 1);
}

ProgressFigures ComputeProgress(uint64_t done, uint64_t total, int32_t width) {
  // Nothing to divide by: the quotients would not be finite.
  if (total == 0) return ProgressFigures{0, 0};
  const double doneBytes = static_cast<double>(done);
  const double totalBytes = static_cast<double>(total);
  const uint32_t widest = width > 0 ? static_cast<uint32_t>(width) : 0;
  ProgressFigures figures;
  figures.fill = static_cast<int32_t>(Truncated(static_cast<double>(width) * doneBytes / totalBytes, widest));
  figures.percent = Truncated(doneBytes / totalBytes * 100.0, UINT32_MAX);
  return figures;
}

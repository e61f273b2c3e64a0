// The figures of the extractor's progress bar, kept apart from the window so that their
// rounding can be checked without Windows.
#pragma once

#include <stdint.h>

// The bar area in client pixels: 288 pixels wide.
constexpr int BarLeft = 16;
constexpr int BarTop = 60;
constexpr int BarRight = 304;
constexpr int BarBottom = 80;
constexpr int BarWidth = BarRight - BarLeft;

struct ProgressFigures {
  int percent;      // the fraction in per cent, rounded to the nearest whole number
  int filledRight;  // right edge of the filled part: the bar grows in whole steps of 1/288
};

// The figures for `doneBytes` of `totalSize`; an empty total counts as nothing done.
inline ProgressFigures ProgressFor(int64_t doneBytes, int64_t totalSize) {
  // Single precision is enough for 288 pixels and 101 texts.
  float fraction = totalSize > 0 ? static_cast<float>(doneBytes) / static_cast<float>(totalSize) : 0.0f;
  // A count beyond the total (or below zero) must neither draw outside the bar nor
  // overflow the five characters of the text.
  if (!(fraction > 0.0f)) fraction = 0.0f;
  if (fraction > 1.0f) fraction = 1.0f;
  ProgressFigures figures;
  figures.percent = static_cast<int>(fraction * 100.0f + 0.5f);
  figures.filledRight = BarLeft + static_cast<int>(fraction * static_cast<float>(BarWidth));
  return figures;
}

// Writes the percentage as "<n> %" without a terminator and gives its length (at most 5).
// The extractor has no C runtime, so no sprintf.
inline int PercentText(int percent, char* text) {
  char digits[3];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + percent % 10);
    percent /= 10;
  } while (percent > 0 && count < 3);
  int length = 0;
  while (count > 0) text[length++] = digits[--count];
  text[length++] = ' ';
  text[length++] = '%';
  return length;
}

// The dialog font's character width table.
#include "ui/FontMetrics.h"

namespace tolvex::ui {

namespace {

constexpr int DefaultWidth = 6;

// Widths of ' ' (32) to '~' (126) at 8 points on a 96-dpi screen.
constexpr unsigned char AsciiWidths[95] = {
    3, 3, 4, 7, 6, 9, 7, 2, 3, 3, 4, 6, 3, 3, 3, 3,    //  !"#$%&'()*+,-./
    6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 3, 3, 6, 6, 6, 6,    // 0-9 :;<=>?
    11, 7, 7, 7, 7, 6, 6, 8, 7, 2, 5, 7, 6, 8, 7, 8,   // @A-O
    7, 8, 7, 7, 6, 7, 7, 11, 7, 7, 6, 3, 3, 3, 5, 6,   // P-Z [\]^_
    3, 6, 6, 5, 6, 6, 3, 6, 6, 2, 2, 5, 2, 8, 6, 6,    // `a-o
    6, 6, 3, 5, 3, 6, 6, 8, 6, 6, 5, 4, 3, 4, 7,       // p-z {|}~
};

}  // namespace

int CharWidth(unsigned char c) {
  if (c >= 32 && c <= 126) return AsciiWidths[c - 32];
  if (c >= 0x80 && c <= 0xBF) return 0;  // inside a UTF-8 sequence: counted at its first byte
  return DefaultWidth;
}

int TextWidth(std::string_view text) {
  int width = 0;
  for (char c : text) width += CharWidth(static_cast<unsigned char>(c));
  return width;
}

}  // namespace tolvex::ui

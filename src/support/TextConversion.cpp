// Wide (UTF-16) text to the 8-bit text of paths (UTF-8) and back, for every layer that meets both.
#include "support/TextConversion.h"

#include <cstddef>

namespace tolvex {

std::string WideToNarrow(const char16_t* text) {
  std::string out;
  if (!text) return out;
  for (const char16_t* p = text; *p; ++p) {
    char32_t c = *p;
    if (c >= 0xD800 && c <= 0xDBFF && p[1] >= 0xDC00 && p[1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (p[1] - 0xDC00);
      ++p;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::u16string NarrowToWide(const std::string& text) {
  std::u16string out;
  for (size_t i = 0; i < text.size();) {
    const unsigned char b = static_cast<unsigned char>(text[i]);
    char32_t c = 0xFFFD;
    size_t n = 1;
    if (b < 0x80) {
      c = b;
    } else if ((b >> 5) == 0x6) {
      n = 2;
    } else if ((b >> 4) == 0xE) {
      n = 3;
    } else if ((b >> 3) == 0x1E) {
      n = 4;
    }
    if (n > 1) {
      if (i + n > text.size()) {
        n = 1;
      } else {
        c = b & (0xFF >> (n + 1));
        for (size_t k = 1; k < n; ++k) {
          const unsigned char cont = static_cast<unsigned char>(text[i + k]);
          if ((cont >> 6) != 0x2) {
            c = 0xFFFD;
            n = k;
            break;
          }
          c = (c << 6) | (cont & 0x3F);
        }
      }
    } else if (b >= 0x80) {
      c = 0xFFFD;  // a stray byte of a multi-byte sequence
    }
    // Overlong forms and encoded surrogates are not text; they must not smuggle in a "/" or a NUL.
    static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (n > 1 && c != 0xFFFD && (c < kSmallest[n] || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF)) c = 0xFFFD;
    if (c >= 0x10000 && c <= 0x10FFFF) {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<char16_t>(c > 0x10FFFF ? 0xFFFD : c);
    }
    i += n;
  }
  return out;
}

std::size_t Utf8SequenceLength(std::string_view text, std::size_t i, char32_t* code) {
  if (i >= text.size()) return 0;
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char c = byte(i);
  std::size_t length;
  char32_t value;
  if (c < 0x80) {
    length = 1;
    value = c;
  } else if ((c & 0xE0) == 0xC0) {
    length = 2;
    value = c & 0x1F;
  } else if ((c & 0xF0) == 0xE0) {
    length = 3;
    value = c & 0x0F;
  } else if ((c & 0xF8) == 0xF0) {
    length = 4;
    value = c & 0x07;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    value = (value << 6) | (byte(i + k) & 0x3F);
  }
  static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (value < kSmallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  if (code != nullptr) *code = value;
  return length;
}

}  // namespace tolvex

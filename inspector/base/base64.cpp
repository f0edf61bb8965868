#include "base64.h"

#include <cstdint>

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int value_of(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

std::string base64_encode(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (size_t i = 0; i < bytes.size(); i += 3) {
    const size_t left = bytes.size() - i;
    uint32_t group = static_cast<unsigned char>(bytes[i]) << 16;
    if (left > 1) group |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    if (left > 2) group |= static_cast<unsigned char>(bytes[i + 2]);
    out += kAlphabet[(group >> 18) & 63];
    out += kAlphabet[(group >> 12) & 63];
    out += left > 1 ? kAlphabet[(group >> 6) & 63] : '=';
    out += left > 2 ? kAlphabet[group & 63] : '=';
  }
  return out;
}

std::optional<std::string> base64_decode(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  std::string out;
  out.reserve(text.size() / 4 * 3);
  for (size_t i = 0; i < text.size(); i += 4) {
    const bool last = i + 4 == text.size();
    int values[4];
    int padding = 0;
    for (int j = 0; j < 4; ++j) {
      const char c = text[i + j];
      if (c == '=' && last && j >= 2) {
        values[j] = 0;
        ++padding;
        continue;
      }
      if (padding > 0) return std::nullopt;  // "=" only at the end
      values[j] = value_of(c);
      if (values[j] < 0) return std::nullopt;
    }
    const uint32_t group = (values[0] << 18) | (values[1] << 12) | (values[2] << 6) | values[3];
    out += static_cast<char>((group >> 16) & 0xff);
    if (padding < 2) out += static_cast<char>((group >> 8) & 0xff);
    if (padding < 1) out += static_cast<char>(group & 0xff);
  }
  return out;
}

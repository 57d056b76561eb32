// Names of the event types or sub-block types whose bits are set in a mask,
// joined by ':'.
#include <cstring>

#include "event_util.h"

namespace {

constexpr int kWorkLen = 256;  // the joined text never exceeds 255 characters

// Appends `text` to the NUL-terminated `buf`, keeping at most kWorkLen - 1
// characters in it.
void append_cut(char* buf, const char* text) {
  size_t used = strlen(buf);
  size_t room = kWorkLen - 1 - used;
  strncat(buf, text, room);
}

// Shared walk over the 31 or 32 usable bits. `type_of_bit` maps a bit to the
// type it stands for, `name_of` gives that type's name.
template <typename TypeOfBit, typename NameOf>
char* names_from_mask(char* out, int outlen, unsigned mask, int nbits, int* type, int indx,
                      TypeOfBit type_of_bit, NameOf name_of) {
  if (out == nullptr || outlen < 1) return nullptr;
  char buf[kWorkLen];
  memset(buf, 0, sizeof(buf));
  int count = 0;
  int last = -1;
  for (int bit = 0; bit < nbits; ++bit) {
    if (!(mask & (1u << bit))) continue;
    ++count;
    int t = type_of_bit(bit);
    if (buf[0] != '\0') append_cut(buf, ":");
    append_cut(buf, name_of(t));
    if (count == indx && type != nullptr) *type = t;
    last = t;
  }
  if (indx < 0 && type != nullptr) *type = last;
  strncpy(out, buf, static_cast<size_t>(outlen));
  return out;
}

}  // namespace

extern "C" {

char* event_name_from_mask(char* out, int outlen, int mask, int* type, int indx) {
  return names_from_mask(
      out, outlen, static_cast<unsigned>(mask), 32, type, indx, [](int bit) { return bit; },
      [](int t) { return event_name_itoa(t); });
}

char* block_name_from_mask(char* out, int outlen, int mask, int* type, int indx) {
  unsigned m = static_cast<unsigned>(mask);
  int base = (m & 0x80000000u) ? 32 : 0;
  return names_from_mask(
      out, outlen, m & 0x7FFFFFFFu, 31, type, indx, [base](int bit) { return base + bit; },
      [](int t) { return block_name_itoa(t); });
}

}  // extern "C"

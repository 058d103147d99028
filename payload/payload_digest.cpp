// The check of the embedded files against the CRC-32s that the build recorded.
#include <cstring>

#include "payload/payload.h"

namespace {

// The CRC-32 of zip and gzip (polynomial 0xEDB88320, reflected, starting from
// and ending with all bits inverted), eight bytes at a time: eight tables of
// 256 remainders give eight look-ups that do not wait for one another, where
// one table takes a look-up per byte, each waiting for the last. The whole
// payload is then checked in about half a millisecond, five times less than a
// byte at a time. The tables are made where they are used, on the stack: as
// data of the program, zeros or not, they would take 8 KiB of its file.
class Crc32 {
 public:
  Crc32() {
    for (std::uint32_t byte = 0; byte < 256; ++byte) {
      std::uint32_t crc = byte;
      for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) != 0 ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
      remainder_[0][byte] = crc;
    }
    // Table k: the remainder of a byte followed by k zero bytes.
    for (int k = 1; k < 8; ++k) {
      for (int byte = 0; byte < 256; ++byte) {
        const std::uint32_t before = remainder_[k - 1][byte];
        remainder_[k][byte] = (before >> 8) ^ remainder_[0][before & 0xFF];
      }
    }
  }

  std::uint32_t Of(const std::uint8_t* bytes, std::size_t size) const {
    const auto& t = remainder_;
    std::uint32_t crc = ~0u;
    for (; size >= 8; bytes += 8, size -= 8) {
      std::uint32_t low, high;  // the entries are not aligned: memcpy reads them as they are
      std::memcpy(&low, bytes, 4);
      std::memcpy(&high, bytes + 4, 4);
      low ^= crc;  // x86 is little-endian, as the CRC's bit order is
      crc = t[7][low & 0xFF] ^ t[6][(low >> 8) & 0xFF] ^ t[5][(low >> 16) & 0xFF] ^ t[4][low >> 24] ^
            t[3][high & 0xFF] ^ t[2][(high >> 8) & 0xFF] ^ t[1][(high >> 16) & 0xFF] ^ t[0][high >> 24];
    }
    for (; size > 0; ++bytes, --size) crc = t[0][(crc ^ *bytes) & 0xFF] ^ (crc >> 8);
    return ~crc;
  }

 private:
  std::uint32_t remainder_[8][256];
};

}  // namespace

bool PayloadGroupIsIntact(const PayloadGroup& group, FixedText<256>& damagedFileName) {
  const Crc32 crc32;
  for (std::int32_t i = 0; i < group.entryCount; ++i) {
    if (crc32.Of(group.Bytes(i), static_cast<std::size_t>(group.Size(i))) == group.crcs[i]) continue;
    damagedFileName.Assign(group.Name(i));
    return false;
  }
  return true;
}

// Feeds arbitrary bytes to the picture decoder: BMP of every kind (the seeds
// cover indexed, bit-field, RLE and core-header files), PNG and JPEG.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/image_decode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  plat::DecodedImage image;
  std::string error;
  if (plat::DecodeImage(data, size, image, error)) {
    // A decoded picture is consistent with its size.
    const size_t pixels = static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
    if (image.argb.size() != pixels || (!image.indices.empty() && image.indices.size() != pixels)) __builtin_trap();
  }
  return 0;
}

// A pixel (or texel) of 16 or 32 bits read or written at a byte address
// that need not be aligned for its type; the compiler turns each into one
// load or store.
#pragma once

#include <cstdint>
#include <cstring>

namespace plat {

template <typename T>
T LoadRaw(const uint8_t* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

template <typename T>
void StoreRaw(uint8_t* p, T v) {
  std::memcpy(p, &v, sizeof v);
}

}  // namespace plat

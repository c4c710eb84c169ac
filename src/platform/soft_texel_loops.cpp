// The device's texel loops: the texels of a run of pixels gathered by
// column or by byte offset, a mirrored row read backwards, and the
// fixed-point stepping of a turned quad's texel offsets.
#include <cstddef>
#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#endif

#include "platform/soft_loops.h"

namespace plat::soft {
namespace {

// out[i] = the texel at column columns[i] of `row` (4 or 2 bytes each).
void GatherTexelsPlain(const uint8_t* row, const int32_t* columns, int count, size_t bytes, uint8_t* out) {
  if (bytes == 4) {
    for (int i = 0; i < count; ++i)
      StoreRaw<uint32_t>(out + static_cast<size_t>(i) * 4, LoadRaw<uint32_t>(row + static_cast<size_t>(columns[i]) * 4));
  } else {
    for (int i = 0; i < count; ++i)
      StoreRaw<uint16_t>(out + static_cast<size_t>(i) * 2, LoadRaw<uint16_t>(row + static_cast<size_t>(columns[i]) * 2));
  }
}

#if defined(__GNUC__) && defined(__x86_64__)
// Eight 16-bit texels at byte offsets `at` from `base`, each read from the
// aligned four bytes that hold it (rows start on four bytes and are padded
// to four), stored one after another at `out`.
PELMORA_WIDE inline void StoreGatheredWords(const int* base, __m256i at, uint8_t* out) {
  const __m256i word = _mm256_i32gather_epi32(base, _mm256_andnot_si256(_mm256_set1_epi32(3), at), 1);
  const __m256i v = _mm256_and_si256(_mm256_srlv_epi32(word, _mm256_slli_epi32(_mm256_and_si256(at, _mm256_set1_epi32(2)), 3)),
                                     _mm256_set1_epi32(0xFFFF));
  const __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi32(v, v), 0x08);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(packed));
}

// The same eight at a time by one gather; 16-bit texels come from the
// aligned four bytes that hold them (rows start on four bytes and are padded
// to four), the right half taken.
PELMORA_WIDE void GatherTexelsWide(const uint8_t* row, const int32_t* columns, int count, size_t bytes, uint8_t* out) {
  const int* base = reinterpret_cast<const int*>(row);
  int i = 0;
  for (; i + 8 <= count; i += 8) {
    const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(columns + i));
    if (bytes == 4) {
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + static_cast<size_t>(i) * 4), _mm256_i32gather_epi32(base, c, 4));
    } else {
      StoreGatheredWords(base, _mm256_add_epi32(c, c), out + static_cast<size_t>(i) * 2);
    }
  }
  GatherTexelsPlain(row, columns + i, count - i, bytes, out + static_cast<size_t>(i) * bytes);
}
#else
void GatherTexelsWide(const uint8_t* row, const int32_t* columns, int count, size_t bytes, uint8_t* out) {
  GatherTexelsPlain(row, columns, count, bytes, out);
}
#endif

}  // namespace

void GatherTexels(const uint8_t* row, const int32_t* columns, int count, size_t bytes, uint8_t* out) {
  (WideLoops() ? GatherTexelsWide : GatherTexelsPlain)(row, columns, count, bytes, out);
}

namespace {

// out[i] = the texel at column start − i of `row` (4 or 2 bytes each): the
// columns of a picture drawn mirrored, none left of column 0.
void ReverseTexelsPlain(const uint8_t* row, int32_t start, int count, size_t bytes, uint8_t* out) {
  if (bytes == 4) {
    for (int i = 0; i < count; ++i)
      StoreRaw<uint32_t>(out + static_cast<size_t>(i) * 4, LoadRaw<uint32_t>(row + static_cast<size_t>(start - i) * 4));
  } else {
    for (int i = 0; i < count; ++i)
      StoreRaw<uint16_t>(out + static_cast<size_t>(i) * 2, LoadRaw<uint16_t>(row + static_cast<size_t>(start - i) * 2));
  }
}

#if defined(__GNUC__) && defined(__x86_64__)
// AVX2: 32 bytes read below `start` and turned round a step (eight 32-bit
// or sixteen 16-bit texels); the last few texels take the plain loop.
PELMORA_WIDE void ReverseTexelsWide(const uint8_t* row, int32_t start, int count, size_t bytes, uint8_t* out) {
  const int lanes = static_cast<int>(32 / bytes);
  const __m256i turn32 = _mm256_setr_epi32(7, 6, 5, 4, 3, 2, 1, 0);
  const __m256i turn16 = _mm256_setr_epi8(14, 15, 12, 13, 10, 11, 8, 9, 6, 7, 4, 5, 2, 3, 0, 1, 14, 15, 12, 13, 10, 11,
                                          8, 9, 6, 7, 4, 5, 2, 3, 0, 1);
  int i = 0;
  for (; i + lanes <= count; i += lanes) {
    const __m256i v =
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + static_cast<size_t>(start - i - lanes + 1) * bytes));
    const __m256i turned = bytes == 4 ? _mm256_permutevar8x32_epi32(v, turn32)
                                      : _mm256_permute4x64_epi64(_mm256_shuffle_epi8(v, turn16), 0x4E);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + static_cast<size_t>(i) * bytes), turned);
  }
  ReverseTexelsPlain(row, start - i, count - i, bytes, out + static_cast<size_t>(i) * bytes);
}

// AVX-512: 64 bytes a step (sixteen 32-bit or thirty-two 16-bit texels).
__attribute__((target("avx512f,avx512bw"))) void ReverseTexelsWidest(const uint8_t* row, int32_t start, int count,
                                                                     size_t bytes, uint8_t* out) {
  const int lanes = static_cast<int>(64 / bytes);
  const __m512i turn32 = _mm512_setr_epi32(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
  const __m512i turn16 = _mm512_set_epi16(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21,
                                          22, 23, 24, 25, 26, 27, 28, 29, 30, 31);
  int i = 0;
  for (; i + lanes <= count; i += lanes) {
    const __m512i v = _mm512_loadu_si512(row + static_cast<size_t>(start - i - lanes + 1) * bytes);
    // All sixteen lanes through the masked form: GCC 12's plain
    // _mm512_permutexvar_epi32 starts from an undefined vector it then warns of.
    const __m512i turned =
        bytes == 4 ? _mm512_maskz_permutexvar_epi32(0xFFFF, turn32, v) : _mm512_permutexvar_epi16(turn16, v);
    _mm512_storeu_si512(out + static_cast<size_t>(i) * bytes, turned);
  }
  ReverseTexelsWide(row, start - i, count - i, bytes, out + static_cast<size_t>(i) * bytes);
}
#endif

}  // namespace

void ReverseTexels(const uint8_t* row, int32_t start, int count, size_t bytes, uint8_t* out) {
#if defined(__GNUC__) && defined(__x86_64__)
  switch (DrawVectorLevel()) {
    case 2: ReverseTexelsWidest(row, start, count, bytes, out); return;
    case 1: ReverseTexelsWide(row, start, count, bytes, out); return;
    default: break;
  }
#endif
  ReverseTexelsPlain(row, start, count, bytes, out);
}

namespace {

// out[i] = the texel at byte offset offsets[i] from `bits` (the texture's
// first byte, on four bytes; 4 or 2 bytes a texel).
void GatherTexelsAtPlain(const uint8_t* bits, const uint32_t* offsets, int count, size_t bytes, uint8_t* out) {
  if (bytes == 4) {
    for (int i = 0; i < count; ++i) StoreRaw<uint32_t>(out + static_cast<size_t>(i) * 4, LoadRaw<uint32_t>(bits + offsets[i]));
  } else {
    for (int i = 0; i < count; ++i) StoreRaw<uint16_t>(out + static_cast<size_t>(i) * 2, LoadRaw<uint16_t>(bits + offsets[i]));
  }
}

#if defined(__GNUC__) && defined(__x86_64__)
PELMORA_WIDE void GatherTexelsAtWide(const uint8_t* bits, const uint32_t* offsets, int count, size_t bytes,
                                     uint8_t* out) {
  const int* base = reinterpret_cast<const int*>(bits);
  int i = 0;
  for (; i + 8 <= count; i += 8) {
    const __m256i at = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(offsets + i));
    if (bytes == 4) {
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + static_cast<size_t>(i) * 4), _mm256_i32gather_epi32(base, at, 1));
    } else {
      StoreGatheredWords(base, at, out + static_cast<size_t>(i) * 2);
    }
  }
  GatherTexelsAtPlain(bits, offsets + i, count - i, bytes, out + static_cast<size_t>(i) * bytes);
}
#else
void GatherTexelsAtWide(const uint8_t* bits, const uint32_t* offsets, int count, size_t bytes, uint8_t* out) {
  GatherTexelsAtPlain(bits, offsets, count, bytes, out);
}
#endif

}  // namespace

void GatherTexelsAt(const uint8_t* bits, const uint32_t* offsets, int count, size_t bytes, uint8_t* out) {
  (WideLoops() ? GatherTexelsAtWide : GatherTexelsAtPlain)(bits, offsets, count, bytes, out);
}

namespace {
PELMORA_INLINE_BODY bool StepOffsetsBody(const StepRun& r, int count, uint32_t* offsets, uint8_t* undecided) {
  constexpr int64_t kMask = (int64_t{1} << 40) - 1;
  int64_t fu = r.fu, fv = r.fv;
  const int64_t du = r.du, dv = r.dv, lo = r.lo, hi = r.hi, w = r.width, h = r.height;
  const uint32_t pitch = r.pitch, bytes = r.bytes;
  uint32_t any = 0;
  for (int k = 0; k < count; ++k) {
    const int64_t su = fu & kMask, sv = fv & kMask;
    const int64_t iu = fu >> 40, iv = fv >> 40;
    const uint32_t bad = static_cast<uint32_t>((su < lo) | (su > hi) | (sv < lo) | (sv > hi) | (iu < 0) | (iu >= w) |
                                               (iv < 0) | (iv >= h));
    offsets[k] = static_cast<uint32_t>(iv) * pitch + static_cast<uint32_t>(iu) * bytes;
    undecided[k] = static_cast<uint8_t>(bad);
    any |= bad;
    fu += du, fv += dv;
  }
  return any != 0;
}

bool StepOffsetsPlain(const StepRun& r, int count, uint32_t* offsets, uint8_t* undecided) {
  return StepOffsetsBody(r, count, offsets, undecided);
}

PELMORA_WIDE bool StepOffsetsWide(const StepRun& r, int count, uint32_t* offsets, uint8_t* undecided) {
  return StepOffsetsBody(r, count, offsets, undecided);
}

#if defined(__GNUC__) && defined(__x86_64__)
// With AVX-512 the 64-bit shifts, comparisons and products of the stepping
// are single instructions.
#define PELMORA_AVX512 "avx2,bmi,bmi2,fma,avx512f,avx512bw,avx512cd,avx512dq,avx512vl"
__attribute__((target(PELMORA_AVX512))) bool StepOffsetsWidest(const StepRun& r, int count, uint32_t* offsets,
                                                               uint8_t* undecided) {
  return StepOffsetsBody(r, count, offsets, undecided);
}
const bool g_widestStep = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
                          __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("fma") &&
                          __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                          __builtin_cpu_supports("avx512cd") && __builtin_cpu_supports("avx512dq") &&
                          __builtin_cpu_supports("avx512vl");
#else
const bool g_widestStep = false;
bool StepOffsetsWidest(const StepRun& r, int count, uint32_t* offsets, uint8_t* undecided) {
  return StepOffsetsBody(r, count, offsets, undecided);
}
#endif

}  // namespace

bool StepOffsets(const StepRun& r, int count, uint32_t* offsets, uint8_t* undecided) {
  if (g_widestStep && DrawVectorLevel() >= 2) return StepOffsetsWidest(r, count, offsets, undecided);
  return WideLoops() ? StepOffsetsWide(r, count, offsets, undecided) : StepOffsetsPlain(r, count, offsets, undecided);
}

}  // namespace plat::soft

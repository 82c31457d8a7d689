#include "runtime/display/glyph_cells.h"

#include <algorithm>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define QUENDREL_X86 1
#endif

namespace quendrel {

void draw_cells_portable(const CellBand& band, const CellDraw* cells, size_t count) {
    const int step = band.doubled ? 2 : 1;
    for (size_t k = 0; k < count; ++k) {
        const CellDraw& d = cells[k];
        uint32_t* out = band.pixels + size_t(d.column) * size_t(band.cell_width);
        const uint32_t diff = d.foreground ^ d.background;
        for (int y = 0; y < band.cell_height; ++y, out += band.stride) {
            const uint8_t* src = d.glyph ? d.glyph + size_t(y) * 8 : nullptr;
            for (int x = 0; x < band.cell_width; ++x) {
                bool set = src && src[(x / step) & 7] != 0;
                out[x] = d.background ^ (diff & -uint32_t(set));
            }
        }
    }
}

#ifdef QUENDREL_X86

bool draw_cells_sse2(const CellBand& band, const CellDraw* cells, size_t count) {
    if (band.cell_width != (band.doubled ? 16 : 8)) return false;
    const __m128i zero = _mm_setzero_si128();
    const __m128i all = _mm_set1_epi32(-1);
    for (size_t k = 0; k < count; ++k) {
        const CellDraw& d = cells[k];
        uint32_t* out = band.pixels + size_t(d.column) * size_t(band.cell_width);
        const __m128i bg = _mm_set1_epi32(int32_t(d.background));
        const __m128i df = _mm_set1_epi32(int32_t(d.background ^ d.foreground));
        auto put = [&](uint32_t* at, __m128i mask) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(at),
                             _mm_xor_si128(bg, _mm_and_si128(df, mask)));
        };
        for (int y = 0; y < band.cell_height; ++y, out += band.stride) {
            __m128i row =
                d.glyph ? _mm_loadl_epi64(reinterpret_cast<const __m128i*>(d.glyph + size_t(y) * 8))
                        : zero;
            // A mask byte per pixel, widened by unpacking to pixel lanes.
            __m128i set = _mm_xor_si128(_mm_cmpeq_epi8(row, zero), all);
            __m128i pairs = _mm_unpacklo_epi8(set, set);
            __m128i lo = _mm_unpacklo_epi16(pairs, pairs), hi = _mm_unpackhi_epi16(pairs, pairs);
            if (!band.doubled) {
                put(out, lo);
                put(out + 4, hi);
            } else {
                put(out, _mm_unpacklo_epi32(lo, lo));
                put(out + 4, _mm_unpackhi_epi32(lo, lo));
                put(out + 8, _mm_unpacklo_epi32(hi, hi));
                put(out + 12, _mm_unpackhi_epi32(hi, hi));
            }
        }
    }
    return true;
}

// Eight pixels from eight blank-mask bytes (0xFF where the glyph is clear).
__attribute__((target("avx2"), always_inline)) static inline void put_avx2(uint32_t* at,
                                                                           __m128i blank_bytes,
                                                                           __m256i fg, __m256i bg) {
    __m256i blank = _mm256_cvtepi8_epi32(blank_bytes);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(at), _mm256_blendv_epi8(fg, bg, blank));
}

// Two glyph rows per compare; the blank mask bytes of each row widen by
// sign extension to whole pixels, which pick background or foreground.
// The cell height is a template argument so the rows unroll.
template <bool Doubled, int Height>
__attribute__((target("avx2"), always_inline)) static inline void avx2_glyph(
    uint32_t* out, size_t stride, const uint8_t* glyph, int height, __m256i fg, __m256i bg) {
    const int rows = Height ? Height : height;
    const __m128i zero = _mm_setzero_si128();
#pragma GCC unroll 8
    for (int y = 0; y < rows; y += 2, out += 2 * stride, glyph += 16) {
        __m128i blank =
            _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(glyph)), zero);
        __m128i second = _mm_unpackhi_epi64(blank, blank);
        if (!Doubled) {
            put_avx2(out, blank, fg, bg);
            put_avx2(out + stride, second, fg, bg);
        } else {
            __m128i first2 = _mm_unpacklo_epi8(blank, blank),
                    second2 = _mm_unpacklo_epi8(second, second);
            put_avx2(out, first2, fg, bg);
            put_avx2(out + 8, _mm_unpackhi_epi64(first2, first2), fg, bg);
            put_avx2(out + stride, second2, fg, bg);
            put_avx2(out + stride + 8, _mm_unpackhi_epi64(second2, second2), fg, bg);
        }
    }
}

template <bool Doubled>
__attribute__((target("avx2"))) static void avx2_cells(const CellBand& band, const CellDraw* cells,
                                                       size_t count) {
    // Copies, so the stores below cannot make the compiler reload them.
    uint32_t* const pixels = band.pixels;
    const size_t stride = size_t(band.stride);
    const int height = band.cell_height;
    const size_t width = Doubled ? 16 : 8;
    for (size_t k = 0; k < count; ++k) {
        const CellDraw d = cells[k];
        uint32_t* out = pixels + size_t(d.column) * width;
        const __m256i fg = _mm256_set1_epi32(int32_t(d.foreground));
        const __m256i bg = _mm256_set1_epi32(int32_t(d.background));
        if (!d.glyph) {
            for (int y = 0; y < height; ++y, out += stride)
                for (size_t x = 0; x < width; x += 8)
                    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x), bg);
            continue;
        }
        switch (height) {
            case 16:
                avx2_glyph<Doubled, 16>(out, stride, d.glyph, height, fg, bg);
                break;
            case 14:
                avx2_glyph<Doubled, 14>(out, stride, d.glyph, height, fg, bg);
                break;
            case 8:
                avx2_glyph<Doubled, 8>(out, stride, d.glyph, height, fg, bg);
                break;
            default:
                avx2_glyph<Doubled, 0>(out, stride, d.glyph, height, fg, bg);
                break;
        }
    }
}

bool draw_cells_avx2(const CellBand& band, const CellDraw* cells, size_t count) {
    static const bool available = __builtin_cpu_supports("avx2");
    if (!available || band.cell_width != (band.doubled ? 16 : 8) || band.cell_height % 2)
        return false;
    if (band.doubled)
        avx2_cells<true>(band, cells, count);
    else
        avx2_cells<false>(band, cells, count);
    return true;
}

#else

bool draw_cells_sse2(const CellBand&, const CellDraw*, size_t) { return false; }
bool draw_cells_avx2(const CellBand&, const CellDraw*, size_t) { return false; }

#endif

void draw_cells(const CellBand& band, const CellDraw* cells, size_t count) {
    if (draw_cells_avx2(band, cells, count) || draw_cells_sse2(band, cells, count)) return;
    draw_cells_portable(band, cells, count);
}

}  // namespace quendrel

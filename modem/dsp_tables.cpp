#include "dsp_tables.h"

#include <cmath>
#include <utility>

namespace vantrel::modem {
namespace {

template <std::size_t N>
void reverseTable(std::array<std::uint16_t, N>& table, int bits) {
    std::array<int, 16> powers{};
    for (int b = 0; b < 16; ++b) powers[static_cast<std::size_t>(b)] = 1 << b;
    for (std::size_t j = 0; j < N; ++j) {
        int r = 0;
        for (int b = 0; b < bits; ++b)
            if (static_cast<int>(j) & powers[static_cast<std::size_t>(b)]) r += powers[static_cast<std::size_t>(bits - 1 - b)];
        table[j] = static_cast<std::uint16_t>(r);
    }
}

// Radix-2 DIF: butterflies on natural-order input, then the bit-reversal permutation.
// Twiddle for span `half` at offset j is e^{+j*2*pi*j/(2*half)}, read from the N-point table
// at stride N / (2*half).
template <std::size_t N>
void fftDif(float* re, float* im, const float* cosT, const float* sinT, const std::uint16_t* rev) {
    for (std::size_t half = N / 2; half >= 1; half /= 2) {
        const std::size_t stride = N / (2 * half);
        for (std::size_t start = 0; start < N; start += 2 * half) {
            for (std::size_t j = 0; j < half; ++j) {
                const std::size_t a = start + j;
                const std::size_t b = a + half;
                const float ar = re[a], ai = im[a], br = re[b], bi = im[b];
                re[a] = ar + br;
                im[a] = ai + bi;
                const float dr = ar - br, di = ai - bi;
                const float c = cosT[j * stride], s = sinT[j * stride];
                re[b] = dr * c - di * s;
                im[b] = dr * s + di * c;
            }
        }
        if (half == 1) break;
    }
    for (std::size_t i = 0; i < N; ++i) {
        const std::size_t r = rev[i];
        if (r > i) {
            std::swap(re[i], re[r]);
            std::swap(im[i], im[r]);
        }
    }
}

}  // namespace

DspTables::DspTables() {
    reverseTable(reverse9, 9);
    reverseTable(reverse8, 8);
    const double pi = 4.0 * std::atan(1.0);
    for (int i = 0; i < 256; ++i) {
        cos512[static_cast<std::size_t>(i)] = static_cast<float>(std::cos(2.0 * pi * i / 512.0));
        sin512[static_cast<std::size_t>(i)] = static_cast<float>(std::sin(2.0 * pi * i / 512.0));
    }
    for (int i = 0; i < 128; ++i) {
        cos256[static_cast<std::size_t>(i)] = static_cast<float>(std::cos(2.0 * pi * i / 256.0));
        sin256[static_cast<std::size_t>(i)] = static_cast<float>(std::sin(2.0 * pi * i / 256.0));
    }
    reverseTable(reverse11, 11);
    for (int i = 0; i < 1024; ++i) {
        cos2048[static_cast<std::size_t>(i)] = static_cast<float>(std::cos(2.0 * pi * i / 2048.0));
        sin2048[static_cast<std::size_t>(i)] = static_cast<float>(std::sin(2.0 * pi * i / 2048.0));
    }
}

const DspTables& dspTables() {
    static const DspTables tables;
    return tables;
}

void fft512(std::span<float, 512> re, std::span<float, 512> im) {
    const DspTables& t = dspTables();
    fftDif<512>(re.data(), im.data(), t.cos512.data(), t.sin512.data(), t.reverse9.data());
}

void fft256(std::span<float, 256> re, std::span<float, 256> im) {
    const DspTables& t = dspTables();
    fftDif<256>(re.data(), im.data(), t.cos256.data(), t.sin256.data(), t.reverse8.data());
}

void fft2048(std::span<float, 2048> re, std::span<float, 2048> im) {
    const DspTables& t = dspTables();
    fftDif<2048>(re.data(), im.data(), t.cos2048.data(), t.sin2048.data(), t.reverse11.data());
}

}  // namespace vantrel::modem

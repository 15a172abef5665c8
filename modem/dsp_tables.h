// Bit-reversal and twiddle tables, and the two radix-2 transforms built on them.
// Tables are made once; transforms work in place and never allocate.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace vantrel::modem {

struct DspTables {
    DspTables();
    std::array<std::uint16_t, 512> reverse9{};  // 9-bit index reversal
    std::array<std::uint16_t, 256> reverse8{};  // 8-bit index reversal
    std::array<float, 256> cos512{}, sin512{};  // cos/sin(2*pi*i/512), pi = 4*atan(1)
    std::array<float, 128> cos256{}, sin256{};  // cos/sin(2*pi*i/256)
    std::array<std::uint16_t, 2048> reverse11{};  // 11-bit index reversal
    std::array<float, 1024> cos2048{}, sin2048{};  // cos/sin(2*pi*i/2048)
};

const DspTables& dspTables();

// In-place decimation-in-frequency FFT with kernel e^{+j2*pi*k*m/N}, output in natural order.
// N is 512 or 256 (re.size() == im.size() == N).
void fft512(std::span<float, 512> re, std::span<float, 512> im);
void fft256(std::span<float, 256> re, std::span<float, 256> im);
// The same over a whole two-block baseband window (Sensitive receive's hum filter).
void fft2048(std::span<float, 2048> re, std::span<float, 2048> im);

}  // namespace vantrel::modem

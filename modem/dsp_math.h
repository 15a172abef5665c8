// Numbers and small helpers the receive stages share.
#pragma once

#include <cmath>

namespace vantrel::modem {

// One turn, in radians.
inline constexpr double kTwoPi = 6.283185307179586476925286766559;

// An angle brought into (-pi, pi].
inline double wrapPhase(double x) {
    x = std::fmod(x, kTwoPi);
    if (x > kTwoPi / 2) x -= kTwoPi;
    if (x <= -kTwoPi / 2) x += kTwoPi;
    return x;
}

}  // namespace vantrel::modem

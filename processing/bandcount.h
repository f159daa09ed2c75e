#pragma once
// Calls f(std::integral_constant<int, N>{}) with N the band count when it is
// 1 to 8, else with N = 0: the per-pixel passes unroll their band loops for
// the usual band counts and keep a general loop for the others. Inlined
// (with f, which should be an always-inline lambda) so the caller's
// instruction set applies.

#include <type_traits>

namespace tessera {

template <class F> [[gnu::always_inline]] inline void WithBandCount(int bands, F&& f) {
    switch (bands) {
    case 1:
        f(std::integral_constant<int, 1>{});
        break;
    case 2:
        f(std::integral_constant<int, 2>{});
        break;
    case 3:
        f(std::integral_constant<int, 3>{});
        break;
    case 4:
        f(std::integral_constant<int, 4>{});
        break;
    case 5:
        f(std::integral_constant<int, 5>{});
        break;
    case 6:
        f(std::integral_constant<int, 6>{});
        break;
    case 7:
        f(std::integral_constant<int, 7>{});
        break;
    case 8:
        f(std::integral_constant<int, 8>{});
        break;
    default:
        f(std::integral_constant<int, 0>{});
        break;
    }
}

} // namespace tessera

// Constants shared by the overflow-safe functions and their twins.
#pragma once

namespace orvika::smooth {

inline constexpr double kDlogSlope = 16.0 / 970.0;          // 0.016494845360824743
inline constexpr double kSlnJoin = 3.6787944117144235e-7;   // 1e-6 / e
inline constexpr double kLn1em7 = -16.11809565095832;       // ln(1e-7)

}  // namespace orvika::smooth

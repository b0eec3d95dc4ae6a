#pragma once

// Arc tangent and plan distance that give the same bits on every platform.
//
// The C libraries differ in the last bit of atan and hypot (glibc rounds
// correctly, the Windows runtimes do not always), so a polyline's length along
// its arcs came out one unit in the last place apart in the Linux command and
// inside the CAD program. These use only +, -, *, / and sqrt, which IEEE 754
// rounds the same everywhere (SSE2 arithmetic, no fused multiply-add).

#include <cmath>

namespace palvane::geometry {

// The arc tangent of `x`, within one unit in the last place: the classic
// reduction to |x| < 7/16 around atan(1/2), atan(1), atan(3/2) and pi/2,
// then an odd polynomial of degree 23.
inline double Atan(double x) {
  // atan of 0.5, 1, 1.5 and infinity, each split into a double and the part
  // of it that does not fit, so the reduction loses nothing.
  static constexpr double kHigh[] = {4.63647609000806093515e-01, 7.85398163397448278999e-01,
                                     9.82793723247329054082e-01, 1.57079632679489655800e+00};
  static constexpr double kLow[] = {2.26987774529616870924e-17, 3.06161699786838301793e-17,
                                    1.39033110312309984516e-17, 6.12323399573676603587e-17};
  static constexpr double kT[] = {
      3.33333333333329318027e-01,  -1.99999999998764832476e-01, 1.42857142725034663711e-01,
      -1.11111104054623557880e-01, 9.09088713343650656196e-02,  -7.69187620504482999495e-02,
      6.66107313738753120669e-02,  -5.83357013379057348645e-02, 4.97687799461593236017e-02,
      -3.65315727442169155270e-02, 1.62858201153657823623e-02};
  if (std::isnan(x)) return x;
  const bool negative = std::signbit(x);
  double a = std::fabs(x);
  int id;
  if (a >= 0x1p66) {
    const double z = kHigh[3] + kLow[3];
    return negative ? -z : z;
  }
  if (a < 0.4375) {
    if (a < 0x1p-27) return x;
    id = -1;
  } else if (a < 0.6875) {
    id = 0;
    a = (2.0 * a - 1.0) / (2.0 + a);
  } else if (a < 1.1875) {
    id = 1;
    a = (a - 1.0) / (a + 1.0);
  } else if (a < 2.4375) {
    id = 2;
    a = (a - 1.5) / (1.0 + 1.5 * a);
  } else {
    id = 3;
    a = -1.0 / a;
  }
  const double r = id < 0 ? x : a;
  const double z = r * r;
  const double w = z * z;
  // Even and odd terms apart, so the two sums run side by side.
  const double s1 =
      z * (kT[0] + w * (kT[2] + w * (kT[4] + w * (kT[6] + w * (kT[8] + w * kT[10])))));
  const double s2 = w * (kT[1] + w * (kT[3] + w * (kT[5] + w * (kT[7] + w * kT[9]))));
  if (id < 0) return r - r * (s1 + s2);
  const double result = kHigh[id] - ((r * (s1 + s2) - kLow[id]) - r);
  return negative ? -result : result;
}

// The length of (dx, dy), scaled first when squaring could overflow or lose
// everything to underflow.
inline double PlanLength(double dx, double dy) {
  // Infinities and NaN: hypot's answers, which every library agrees on.
  if (!std::isfinite(dx) || !std::isfinite(dy)) return std::hypot(dx, dy);
  dx = std::fabs(dx);
  dy = std::fabs(dy);
  const double larger = dx > dy ? dx : dy;
  if (larger == 0) return 0;
  if (larger > 0x1p500 || larger < 0x1p-500) {
    const double u = dx / larger, v = dy / larger;
    return larger * std::sqrt(u * u + v * v);
  }
  return std::sqrt(dx * dx + dy * dy);
}

}  // namespace palvane::geometry

// Degrees to radians. The game turns degrees into radians with two slightly
// different factors, each place with its own: the effects' rotation and the
// shots' directions with one, the waves and the movement commands with the
// other. The two differ in the last bits of the double (five units in the
// last place), which is enough to round a position or a pixel the other way
// now and then. Stored replays and the game's pixel-exact look depend on
// those roundings, so neither factor may be replaced by the other or
// computed another way.
#pragma once

// pi / 180 rounded to the nearest double. Used by the waves (the wave-strip
// effect, wave movement) and by the movement commands.
inline constexpr double kRadiansPerDegree = 0.017453292519943295;
static_assert(kRadiansPerDegree == 3.141592653589793 / 180);

// 3.14159265358979 / 180: pi to 14 decimals over 180, a little smaller than
// the factor above. Used by the rotation effect and by the shots' directions
// and firing patterns.
inline constexpr double kRadiansPerDegreeShort = 0.017453292519943278;
static_assert(kRadiansPerDegreeShort == 3.14159265358979 / 180);

#pragma once

// What the map view's own sources share and callers do not need.
#include <cmath>
#include <initializer_list>

#include "VMMapView.h"

// Timing curve numbers as the animation builders take them.
inline constexpr int kTimingLinear = 0;
inline constexpr int kTimingEaseIn = 7;
inline constexpr int kTimingEaseOut = 8;
inline constexpr int kTimingEaseInEaseOut = 9;

// How long the map takes to turn to a new heading, and the dive to the user's location: below
// the first zoom the map dives to the second.
inline constexpr double kHeadingDuration = 0.1;
inline constexpr double kDiveMaxZoom = 15.0;
inline constexpr double kDiveZoom = 18.0;

inline bool finite(VMMapPoint p) { return std::isfinite(p.x) && std::isfinite(p.y); }

// True, with a log line naming the entry point, when one of the values a caller gave the camera
// is not finite: the map stays where it was.
bool refusesNonFinite(const char* entry, std::initializer_list<double> values);

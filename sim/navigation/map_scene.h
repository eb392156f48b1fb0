#pragma once
// The picture the simulated navigation program shows full screen: a city map with blocks,
// parks, a river, streets, the highlighted route and the car on it. The panel is drawn over
// it, so screenshots show the panel where a driver sees it.

#include <string>

#include "platform/gfx/dc.h"

namespace sim::nav {

struct MapState {
    double travelledMetres = 0;  // how far the car has driven along the route (wraps)
    int speedKmh = 0;
    std::string status;          // one line at the top: what the route does now
};

// Draws the whole scene into dc (width x height pixels from 0, 0).
void drawMapScene(ce::Dc& dc, int width, int height, const MapState& state);

}  // namespace sim::nav

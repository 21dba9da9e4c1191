// The scene's plain textures: tileable clouds, the submersible's hull and
// the HUD panel background. Each is a pure function of its size.
#pragma once

#include "image/bitmap.h"

namespace assets {

// Seamlessly tileable clouds, RGB: dark is clear sky, bright is cloud.
BitmapPtr RenderClouds(int size);

// Hull texture for the submersible's cylindrical mapping, RGB: s runs
// around the hull (0 and 1 on the starboard side, 0.25 keel, 0.5 port,
// 0.75 top), t along it (0 at the bow tip, 1 at the stern duct).
BitmapPtr RenderHull(int size);

// Dark translucent panel, RGBA, alpha falling off towards the border.
BitmapPtr RenderPanelBackground(int width, int height);

}  // namespace assets

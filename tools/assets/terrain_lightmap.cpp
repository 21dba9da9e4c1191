#include "terrain_model.h"
namespace assets {
BitmapPtr RenderLightmap(const TerrainModel&) { return nullptr; }
BitmapPtr RenderHeightView(const TerrainModel&, int) { return nullptr; }
BitmapPtr RenderLitView(const TerrainModel&, const TBitmap&, int) { return nullptr; }
}

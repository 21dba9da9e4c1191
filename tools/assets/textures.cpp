#include "textures.h"
namespace assets {
BitmapPtr RenderClouds(int) { return nullptr; }
BitmapPtr RenderHull(int) { return nullptr; }
BitmapPtr RenderPanelBackground(int, int) { return nullptr; }
}

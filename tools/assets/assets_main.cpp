// nerelle-assets: deterministic generator of the scene's assets.
#include "terrain_model.h"
#include "textures.h"

#include "core/whole_file.h"
#include "image/png_file.h"
#include "core/report.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

const char kUsage[] =
    "usage: nerelle-assets [--textures DIR] [--tables FILE] [--views DIR]\n"
    "\n"
    "Generates the scene's assets; every run writes the same bytes.\n"
    "  --textures DIR  write lightmap.png, clouds.png, sub.png and gui_bk_alpha.png into DIR\n"
    "  --tables FILE   write the terrain tables as C++ source (src/scene/terrain_tables.cpp)\n"
    "  --views DIR     write top views for checking by eye: terrain_heights.png, terrain_lit.png\n"
    "  --help          show this text\n"
    "The repository's copies are made with:\n"
    "  nerelle-assets --textures data/textures --tables src/scene/terrain_tables.cpp\n";

constexpr int kLightmapSize = 1024;

bool Save(const std::string& path, const BitmapPtr& bitmap)
{
    const Status saved = bitmap ? SavePNG(path, bitmap.get(), true)
                                : Status::Failure("cannot write " + path + ": not enough memory for the image");
    if (!saved)
        PrintError(saved.reason);
    return saved.ok;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string textures, tables, views;
    for (int i = 1; i < argc; ++i) {
        const bool has_value = i + 1 < argc;
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (std::strcmp(argv[i], "--textures") == 0 && has_value) {
            textures = argv[++i];
        } else if (std::strcmp(argv[i], "--tables") == 0 && has_value) {
            tables = argv[++i];
        } else if (std::strcmp(argv[i], "--views") == 0 && has_value) {
            views = argv[++i];
        } else {
            std::fprintf(stderr, "error: unexpected argument %s\n%s", argv[i], kUsage);
            return 2;
        }
    }
    if (textures.empty() && tables.empty() && views.empty()) {
        std::fprintf(stderr, "error: nothing to do\n%s", kUsage);
        return 2;
    }

    assets::TerrainModel terrain;
    std::string why;
    if (!assets::BuildTerrain(kLightmapSize, terrain, why)) {
        std::fprintf(stderr, "error: terrain: %s\n", why.c_str());
        return 1;
    }
    if (!tables.empty()) {
        const Status written = WriteFileWhole(tables, [&](const std::filesystem::path& temporary) {
            return assets::WriteTerrainTables(terrain, temporary.c_str());
        });
        if (!written) {
            PrintError(written.reason);
            return 1;
        }
        std::printf("wrote %s\n", tables.c_str());
    }
    BitmapPtr lightmap;
    if (!textures.empty() || !views.empty())
        lightmap = assets::RenderLightmap(terrain);
    if (!textures.empty()) {
        const std::string d = textures + "/";
        if (!Save(d + "lightmap.png", lightmap) || !Save(d + "clouds.png", assets::RenderClouds(512)) ||
            !Save(d + "sub.png", assets::RenderHull(512)) ||
            !Save(d + "gui_bk_alpha.png", assets::RenderPanelBackground(384, 128)))
            return 1;
        std::printf("wrote lightmap.png, clouds.png, sub.png, gui_bk_alpha.png into %s\n", textures.c_str());
    }
    if (!views.empty()) {
        const std::string d = views + "/";
        if (!Save(d + "terrain_heights.png", assets::RenderHeightView(terrain, 768)) ||
            !Save(d + "terrain_lit.png", assets::RenderLitView(terrain, *lightmap, 768)))
            return 1;
        std::printf("wrote terrain_heights.png, terrain_lit.png into %s\n", views.c_str());
    }
    return 0;
}

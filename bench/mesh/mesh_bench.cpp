// Start-up cost of the mesh pipelines, in milliseconds: the submersible and
// buoy builds that run at every program start, the brute-force interior
// removal for comparison, and Weld on 100 000 vertices.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "mesh/assemblies.h"
#include "mesh/interior_removal.h"
#include "mesh/primitives.h"
#include "mesh/processing.h"

namespace {

void Export(CPolyMesh& m)
{
    std::vector<float> floats;
    std::vector<uint32_t> indices;
    if (!mesh::ExportArrays(m, true, false, floats, indices))
        std::fprintf(stderr, "error: export failed\n");
    benchmark::DoNotOptimize(indices.data());
}

void BM_SubmersiblePipeline(benchmark::State& state)
{
    for (auto _ : state) {
        CPolyMesh m;
        if (!mesh::BuildSubmersibleMesh(m))
            state.SkipWithError("submersible build failed");
        Export(m);
    }
}
BENCHMARK(BM_SubmersiblePipeline)->Unit(benchmark::kMillisecond);

// Interior removal alone on the assembled model: culled rays, then every ray
// against every polygon.
void RemovalOnly(benchmark::State& state, bool (*remove)(CPolyMesh&, float))
{
    CPolyMesh assembled;
    if (!mesh::AssembleSubmersible(assembled))
        state.SkipWithError("assembly failed");
    mesh::ComputePolygonPlanes(assembled);
    for (auto _ : state) {
        state.PauseTiming();
        CPolyMesh m;
        m.Append(assembled);
        state.ResumeTiming();
        remove(m, 0.1f);
        benchmark::DoNotOptimize(m.PolygonCount());
    }
}
void BM_SubmersibleRemoval(benchmark::State& state) { RemovalOnly(state, mesh::RemoveInteriorPolygons); }
void BM_SubmersibleRemovalBruteForce(benchmark::State& state)
{
    RemovalOnly(state, mesh::RemoveInteriorPolygonsReference);
}
BENCHMARK(BM_SubmersibleRemoval)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SubmersibleRemovalBruteForce)->Unit(benchmark::kMillisecond);

void BM_BuoyPipeline(benchmark::State& state)
{
    for (auto _ : state) {
        CPolyMesh m;
        if (!mesh::BuildBuoyMesh(m))
            state.SkipWithError("buoy build failed");
        Export(m);
    }
}
BENCHMARK(BM_BuoyPipeline)->Unit(benchmark::kMillisecond);

// 25 000 quads over a gently curved 2 x 1 sheet, each with its own 4
// vertices: 100 000 vertices that weld to the 201 x 126 grid points.
void BM_Weld100k(benchmark::State& state)
{
    CPolyMesh source;
    const size_t columns = 200, rows = 125;
    source.Resize(4 * columns * rows, columns * rows);
    size_t v = 0;
    for (size_t i = 0; i < rows; ++i)
        for (size_t j = 0; j < columns; ++j) {
            const float x0 = float(j) * 0.01f, z0 = float(i) * 0.008f, x1 = x0 + 0.01f, z1 = z0 + 0.008f;
            mesh::_TyPolygon& p = source.Polygon(i * columns + j);
            for (const auto& c : {std::pair{x0, z0}, std::pair{x0, z1}, std::pair{x1, z1}, std::pair{x1, z0}}) {
                const float y = 0.05f * std::sin(3 * c.first) * std::cos(5 * c.second);
                source.Vertex(v) = mesh::MakeVertex(c.first, y, c.second);
                p.vertices.push_back(source.Ref(v++));
            }
        }
    size_t welded = 0;
    for (auto _ : state) {
        state.PauseTiming();
        CPolyMesh m;
        m.Append(source);
        state.ResumeTiming();
        if (!mesh::Weld(m, false, false, 0.001f))
            state.SkipWithError("weld failed");
        welded = m.VertexCount();
    }
    state.counters["vertices_after"] = double(welded);
}
BENCHMARK(BM_Weld100k)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

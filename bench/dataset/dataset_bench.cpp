// Evaluate and Compile on the default manifest's three motion expressions and
// on one long expression with every operator class; and the solution reader
// over growing texts, to show its time grows linearly.
#include "dataset/dive_data.h"
#include "dataset/expression.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <string>


namespace {

struct BenchExpression {
    const char* name;
    const char* text;
};

const BenchExpression kExpressions[] = {
    {"motion_x", "(12 - (t - 1)/60)*cos(t*0.08)"},
    {"motion_y", "-(t - 1)*0.1"},
    {"motion_z", "-10 + (12 - (t - 1)/60)*sin(t*0.08)"},
    {"long",
     "(t > 5 && t < 1e9 || t == 3) ? "
     "sin(t*0.1)*3 + cos(t)/2 - sqrt(abs(t)) % 7 + ((t*3 & 255) | 16 ^ 5) + (t << 2 >> 1) + -t + ~2 + !t"
     " + pow(t, 1.5) + min(t, 2)*max(t, 3) + (t ^^ 0) + (t <= 4) + (t >= 2) + (t != 1) : 0"},
};

void Evaluate(benchmark::State& state, const BenchExpression* e)
{
    CExpression expression;
    if (!expression.Compile(e->text)) {
        state.SkipWithError("does not compile");
        return;
    }
    double t = 1.0;
    for (auto _ : state) {
        expression.SetTime(t);
        benchmark::DoNotOptimize(expression.Evaluate());
        t += 0.25;
    }
}

void Compile(benchmark::State& state, const BenchExpression* e)
{
    CExpression expression;
    for (auto _ : state)
        benchmark::DoNotOptimize(expression.Compile(e->text));
}


// A solution text of n six-number lines and a few buoy lines.
std::string SolutionText(size_t lines)
{
    std::string text = "15 0 -25\n-15 0 -25\n-15 0 5\n15 0 5\n";
    char line[128];
    for (size_t k = 0; k < lines; ++k) {
        double a = static_cast<double>(k) * 0.02;
        std::snprintf(line, sizeof line, "%.4f %.4f %.4f %.5f %.5f %.5f\n", 12 * std::cos(a), -0.01 * k,
                      12 * std::sin(a), -std::sin(a), 0.0, std::cos(a));
        text += line;
    }
    return text;
}

void ReadSolution(benchmark::State& state)
{
    const std::string text = SolutionText(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        DiveData data;
        benchmark::DoNotOptimize(ReadSolutionText(text, data));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
    state.SetComplexityN(state.range(0));
}

// One line of n pieces, which the reader ignores after counting.
void ReadSolutionLongLine(benchmark::State& state)
{
    std::string text;
    for (int64_t k = 0; k < state.range(0); ++k)
        text += "1.5 ";
    text += "\n";
    for (auto _ : state) {
        DiveData data;
        benchmark::DoNotOptimize(ReadSolutionText(text, data));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
    state.SetComplexityN(state.range(0));
}

int Register()
{
    for (const BenchExpression& e : kExpressions) {
        benchmark::RegisterBenchmark((std::string("Evaluate/") + e.name).c_str(), Evaluate, &e);
    }
    for (const BenchExpression& e : kExpressions) {
        benchmark::RegisterBenchmark((std::string("Compile/") + e.name).c_str(), Compile, &e);
    }
    benchmark::RegisterBenchmark("ReadSolutionText/lines", ReadSolution)
        ->RangeMultiplier(8)
        ->Range(1 << 9, 1 << 18)
        ->Complexity(benchmark::oN);
    benchmark::RegisterBenchmark("ReadSolutionText/long_line_pieces", ReadSolutionLongLine)
        ->RangeMultiplier(8)
        ->Range(1 << 12, 1 << 21)
        ->Complexity(benchmark::oN);
    return 0;
}

const int kRegistered = Register();

}  // namespace

BENCHMARK_MAIN();

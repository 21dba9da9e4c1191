// Evaluate and Compile on the default manifest's three motion expressions and
// on one long expression with every operator class, side by side with
// muparser on the same computations; and the solution reader over growing
// texts, to show its time grows linearly.
#include "dataset/dive_data.h"
#include "dataset/expression.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <string>

#ifdef NERELLE_HAVE_MUPARSER
#include <muParser.h>
#endif

namespace {

struct BenchExpression {
    const char* name;
    const char* ours;
    const char* muparser;  // the same computation in muparser's syntax
};

// muparser has no bitwise operators, remainder, logical not or exclusive or;
// the long expression uses functions with the same definitions there.
const BenchExpression kExpressions[] = {
    {"motion_x", "(12 - (t - 1)/60)*cos(t*0.08)", "(12 - (t - 1)/60)*cos(t*0.08)"},
    {"motion_y", "-(t - 1)*0.1", "-(t - 1)*0.1"},
    {"motion_z", "-10 + (12 - (t - 1)/60)*sin(t*0.08)", "-10 + (12 - (t - 1)/60)*sin(t*0.08)"},
    {"long",
     "(t > 5 && t < 1e9 || t == 3) ? "
     "sin(t*0.1)*3 + cos(t)/2 - sqrt(abs(t)) % 7 + ((t*3 & 255) | 16 ^ 5) + (t << 2 >> 1) + -t + ~2 + !t"
     " + pow(t, 1.5) + min(t, 2)*max(t, 3) + (t ^^ 0) + (t <= 4) + (t >= 2) + (t != 1) : 0",
     "(t > 5 && t < 1e9 || t == 3) ? "
     "sin(t*0.1)*3 + cos(t)/2 - fmodf(sqrt(abs(t)), 7) + bor(band(t*3, 255), bxor(16, 5)) + shr(shl(t, 2), 1)"
     " + -t + bnot(2) + lnot(t)"
     " + t^1.5 + min(t, 2)*max(t, 3) + lxor(t, 0) + (t <= 4) + (t >= 2) + (t != 1) : 0"},
};

void Evaluate_Ours(benchmark::State& state, const BenchExpression* e)
{
    CExpression expression;
    if (!expression.Compile(e->ours)) {
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

void Compile_Ours(benchmark::State& state, const BenchExpression* e)
{
    CExpression expression;
    for (auto _ : state)
        benchmark::DoNotOptimize(expression.Compile(e->ours));
}

#ifdef NERELLE_HAVE_MUPARSER
int32_t Cut(double x) { return std::isfinite(x) && std::fabs(x) < 2147483648.0 ? static_cast<int32_t>(x) : 0; }
double Band(double a, double b) { return Cut(a) & Cut(b); }
double Bor(double a, double b) { return Cut(a) | Cut(b); }
double Bxor(double a, double b) { return Cut(a) ^ Cut(b); }
double Shl(double a, double b) { return static_cast<int32_t>(static_cast<uint32_t>(Cut(a)) << (Cut(b) & 31)); }
double Shr(double a, double b) { return Cut(a) >> (Cut(b) & 31); }
double Bnot(double a) { return ~Cut(a); }
double Lnot(double a) { return a == 0.0 ? 1.0 : 0.0; }
double Lxor(double a, double b) { return (a != 0.0) != (b != 0.0) ? 1.0 : 0.0; }
double Fmod(double a, double b) { return std::fmod(a, b); }

void SetUpMuParser(mu::Parser& parser, double* t, const char* text)
{
    parser.DefineVar("t", t);
    parser.DefineFun("band", Band);
    parser.DefineFun("bor", Bor);
    parser.DefineFun("bxor", Bxor);
    parser.DefineFun("shl", Shl);
    parser.DefineFun("shr", Shr);
    parser.DefineFun("bnot", Bnot);
    parser.DefineFun("lnot", Lnot);
    parser.DefineFun("lxor", Lxor);
    parser.DefineFun("fmodf", Fmod);
    parser.SetExpr(text);
}

void Evaluate_MuParser(benchmark::State& state, const BenchExpression* e)
{
    double t = 1.0;
    mu::Parser parser;
    try {
        SetUpMuParser(parser, &t, e->muparser);
        parser.Eval();
    } catch (const mu::Parser::exception_type& error) {
        state.SkipWithError(error.GetMsg().c_str());
        return;
    }
    // Both must compute the same thing, or the comparison means nothing.
    CExpression ours;
    ours.Compile(e->ours);
    for (double probe : {1.0, 3.0, 7.25, 123.5}) {
        t = probe;
        ours.SetTime(probe);
        if (std::fabs(parser.Eval() - ours.Evaluate()) > 1e-9 * (1 + std::fabs(ours.Evaluate()))) {
            state.SkipWithError("muparser's expression computes something else");
            return;
        }
    }
    t = 1.0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(parser.Eval());
        t += 0.25;
    }
}

// muparser compiles on the first evaluation after SetExpr.
void Compile_MuParser(benchmark::State& state, const BenchExpression* e)
{
    double t = 1.0;
    mu::Parser parser;
    SetUpMuParser(parser, &t, e->muparser);
    for (auto _ : state) {
        parser.SetExpr(e->muparser);
        benchmark::DoNotOptimize(parser.Eval());
    }
}
#endif

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
        benchmark::RegisterBenchmark((std::string("Evaluate/ours/") + e.name).c_str(), Evaluate_Ours, &e);
#ifdef NERELLE_HAVE_MUPARSER
        benchmark::RegisterBenchmark((std::string("Evaluate/muparser/") + e.name).c_str(), Evaluate_MuParser, &e);
#endif
    }
    for (const BenchExpression& e : kExpressions) {
        benchmark::RegisterBenchmark((std::string("Compile/ours/") + e.name).c_str(), Compile_Ours, &e);
#ifdef NERELLE_HAVE_MUPARSER
        benchmark::RegisterBenchmark((std::string("Compile/muparser/") + e.name).c_str(), Compile_MuParser, &e);
#endif
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

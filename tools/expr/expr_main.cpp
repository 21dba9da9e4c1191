// nerelle-expr: compiles and evaluates motion expressions, for people writing
// dive manifests.
//
//   nerelle-expr [--t T] EXPR             value of EXPR (t = T when it reads t)
//   nerelle-expr [--t T] --file F         the same for every line of F
//   nerelle-expr --table A:B:STEP EXPR    "t value" lines for t = A, A+STEP, ... B
//   "--" ends the options, so EXPR may begin with a minus sign.
#include "dataset/expression.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr long long kMaxTableRows = 10000000;

void Usage()
{
    std::fprintf(stderr,
                 "error: usage: nerelle-expr [--t T] EXPR | [--t T] --file F | --table A:B:STEP EXPR\n");
}

bool ParseDouble(const char* text, double& value)
{
    char* end = nullptr;
    errno = 0;
    value = std::strtod(text, &end);
    return end != text && *end == '\0' && std::isfinite(value);
}

bool ParseTable(const std::string& text, double& a, double& b, double& step)
{
    size_t c1 = text.find(':');
    if (c1 == std::string::npos)
        return false;
    size_t c2 = text.find(':', c1 + 1);
    if (c2 == std::string::npos || text.find(':', c2 + 1) != std::string::npos)
        return false;
    return ParseDouble(text.substr(0, c1).c_str(), a) &&
           ParseDouble(text.substr(c1 + 1, c2 - c1 - 1).c_str(), b) &&
           ParseDouble(text.substr(c2 + 1).c_str(), step);
}

double EvaluateAt(CExpression& e, bool haveTime, double t)
{
    if (haveTime)
        e.SetTime(t);
    return e.Evaluate();
}

int RunFile(const char* path, bool haveTime, double t)
{
    FILE* f = std::fopen(path, "r");
    if (!f) {
        std::fprintf(stderr, "error: cannot open %s\n", path);
        return 1;
    }
    CExpression e;
    std::string line;
    bool more = true;
    while (more) {
        line.clear();
        int c;
        while ((c = std::fgetc(f)) != EOF && c != '\n')
            line.push_back(static_cast<char>(c));
        more = c != EOF;
        if (!more && line.empty())
            break;
        // An embedded zero byte would cut the text short: such a line is an error.
        if (line.find('\0') == std::string::npos && e.Compile(line.c_str()))
            std::printf("%.17g\n", EvaluateAt(e, haveTime, t));
        else
            std::printf("error\n");
    }
    bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) {
        std::fprintf(stderr, "error: cannot read %s\n", path);
        return 1;
    }
    return 0;
}

int RunTable(const char* range, const char* text)
{
    double a, b, step;
    if (!ParseTable(range, a, b, step) || !(step > 0) || b < a) {
        std::fprintf(stderr, "error: --table needs A:B:STEP with A <= B and STEP > 0\n");
        return 1;
    }
    double rows = std::floor((b - a) / step * (1 + 1e-12)) + 1;
    if (!(rows <= kMaxTableRows)) {
        std::fprintf(stderr, "error: --table would print more than %lld lines\n", kMaxTableRows);
        return 1;
    }
    CExpression e;
    if (!e.Compile(text)) {
        std::fprintf(stderr, "error: cannot compile expression\n");
        return 1;
    }
    for (long long k = 0; k < static_cast<long long>(rows); ++k) {
        double t = a + static_cast<double>(k) * step;
        std::printf("%.17g %.17g\n", t, EvaluateAt(e, true, t));
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    bool haveTime = false;
    double t = 0.0;
    const char* file = nullptr;
    const char* table = nullptr;
    const char* text = nullptr;
    bool optionsEnded = false;

    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (!optionsEnded && std::strcmp(arg, "--") == 0) {
            optionsEnded = true;
        } else if (!optionsEnded && std::strcmp(arg, "--t") == 0) {
            if (i + 1 >= argc || !ParseDouble(argv[i + 1], t)) {
                std::fprintf(stderr, "error: --t needs a finite number\n");
                return 1;
            }
            haveTime = true;
            ++i;
        } else if (!optionsEnded && std::strcmp(arg, "--file") == 0 && i + 1 < argc) {
            file = argv[++i];
        } else if (!optionsEnded && std::strcmp(arg, "--table") == 0 && i + 1 < argc) {
            table = argv[++i];
        } else if (!optionsEnded && arg[0] == '-' && arg[1] == '-') {
            Usage();
            return 1;
        } else if (!text) {
            text = arg;
        } else {
            Usage();
            return 1;
        }
    }

    if (file) {
        if (text || table) {
            Usage();
            return 1;
        }
        return RunFile(file, haveTime, t);
    }
    if (!text) {
        Usage();
        return 1;
    }
    if (table) {
        if (haveTime) {
            Usage();
            return 1;
        }
        return RunTable(table, text);
    }

    CExpression e;
    if (!e.Compile(text)) {
        std::fprintf(stderr, "error: cannot compile expression\n");
        return 1;
    }
    std::printf("%.17g\n", EvaluateAt(e, haveTime, t));
    return 0;
}

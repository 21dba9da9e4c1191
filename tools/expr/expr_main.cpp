// nerelle-expr: compiles and evaluates motion expressions, for people writing
// dive manifests.
//
//   nerelle-expr [--t T] EXPR             value of EXPR (t = T when it reads t)
//   nerelle-expr [--t T] --file F         the same for every line of F
//   nerelle-expr --table A:B:STEP EXPR    "t value" lines for t = A, A+STEP, ... B
//   nerelle-expr --help                   the usage, on standard output
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
// No manifest line comes near this; a longer one (or a file without line
// feeds, such as /dev/zero) is refused before it fills memory.
constexpr size_t kMaxLineBytes = size_t{1} << 20;

constexpr const char* kUsage =
    "usage: nerelle-expr [--t T] EXPR\n"
    "       nerelle-expr [--t T] --file F\n"
    "       nerelle-expr --table A:B:STEP EXPR\n"
    "       nerelle-expr --help\n"
    "\n"
    "Compiles and evaluates dive-manifest motion expressions.\n"
    "  EXPR              prints the value of EXPR; t is T with --t, otherwise 0\n"
    "  --file F          one value per line of F; a line that does not compile, or is\n"
    "                    longer than 1 MB, is an error on standard error (\"F:LINE: ...\"),\n"
    "                    and the status is 1 when any line failed\n"
    "  --table A:B:STEP  prints \"t value\" for t = A, A+STEP, ... up to B\n"
    "  --                ends the options, so EXPR may begin with a minus sign\n";

void Usage()
{
    std::fprintf(stderr, "error: usage: nerelle-expr [--t T] EXPR | [--t T] --file F | --table A:B:STEP EXPR"
                         " (--help for more)\n");
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

// Reads one line (without its line feed) into line. False at the end of the
// file; sets tooLong, and stops reading, at a line longer than kMaxLineBytes.
bool ReadLine(FILE* f, std::string& line, bool& tooLong)
{
    line.clear();
    tooLong = false;
    int c;
    while ((c = std::fgetc(f)) != EOF && c != '\n') {
        if (line.size() == kMaxLineBytes) {
            tooLong = true;
            return true;
        }
        line.push_back(static_cast<char>(c));
    }
    return c != EOF || !line.empty();
}

// Bad lines are reported on standard error with their number; standard
// output holds the values of the lines that compiled, in order.
int RunFile(const char* path, bool haveTime, double t)
{
    FILE* f = std::fopen(path, "r");
    if (!f) {
        std::fprintf(stderr, "error: cannot open %s\n", path);
        return 1;
    }
    CExpression e;
    std::string line;
    bool tooLong = false;
    size_t number = 0;
    size_t failures = 0;
    while (ReadLine(f, line, tooLong)) {
        ++number;
        if (tooLong) {
            std::fprintf(stderr, "error: %s:%zu: line longer than 1 MB; reading stops here\n", path, number);
            ++failures;
            break;
        }
        // An embedded zero byte would cut the text short: such a line is an error.
        if (line.find('\0') == std::string::npos && e.Compile(line.c_str())) {
            std::printf("%.17g\n", EvaluateAt(e, haveTime, t));
        } else {
            std::fprintf(stderr, "error: %s:%zu: cannot compile expression\n", path, number);
            ++failures;
        }
    }
    bool readFailed = std::ferror(f) != 0;
    std::fclose(f);
    if (readFailed) {
        std::fprintf(stderr, "error: cannot read %s\n", path);
        return 1;
    }
    return failures == 0 ? 0 : 1;
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
        if (!optionsEnded && std::strcmp(arg, "--help") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
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

// Expression compiler and evaluator.
//
// Sections, in order: the node type; evaluation functions (constants and
// variables, operators, built-in functions and their table); the lexer helpers;
// the parser (precedence climbing over the binary levels, then prefix operators
// and primaries); the CExpression operations.
#include "dataset/expression.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>

using EvalFn = double (*)(const ExprNode* node);

struct ExprNode {
    EvalFn eval = nullptr;
    std::unique_ptr<ExprNode> child[3];
    union {
        double value;           // constant nodes
        const double* variable; // variable nodes: the entry in the owner's table
    };
    int height = 1;             // levels of the subtree, this node included

    ExprNode() : value(0.0) {}
};

namespace {

// ---------------------------------------------------------------------------
// Evaluation

inline double Arg(const ExprNode* n, int i) { return n->child[i]->eval(n->child[i].get()); }

// Cut toward zero, then wrap modulo 2^32; C's cast would be undefined for
// values outside the int range and for NaN.
int32_t ToInt32(double x)
{
    if (!std::isfinite(x))
        return 0;
    double t = std::trunc(x);
    if (t >= -2147483648.0 && t <= 2147483647.0)
        return static_cast<int32_t>(t);
    double m = std::fmod(t, 4294967296.0);
    if (m < 0)
        m += 4294967296.0;
    return static_cast<int32_t>(static_cast<uint32_t>(m));
}

double EvalConstant(const ExprNode* n) { return n->value; }
double EvalVariable(const ExprNode* n) { return *n->variable; }

double EvalConditional(const ExprNode* n) { return Arg(n, 0) != 0.0 ? Arg(n, 1) : Arg(n, 2); }
double EvalOr(const ExprNode* n) { return (Arg(n, 0) != 0.0 || Arg(n, 1) != 0.0) ? 1.0 : 0.0; }
double EvalAnd(const ExprNode* n) { return (Arg(n, 0) != 0.0 && Arg(n, 1) != 0.0) ? 1.0 : 0.0; }
double EvalXor(const ExprNode* n)
{
    bool a = Arg(n, 0) != 0.0;
    bool b = Arg(n, 1) != 0.0;
    return a != b ? 1.0 : 0.0;
}

double EvalBitOr(const ExprNode* n)
{
    int32_t a = ToInt32(Arg(n, 0));
    int32_t b = ToInt32(Arg(n, 1));
    return a | b;
}
double EvalBitXor(const ExprNode* n)
{
    int32_t a = ToInt32(Arg(n, 0));
    int32_t b = ToInt32(Arg(n, 1));
    return a ^ b;
}
double EvalBitAnd(const ExprNode* n)
{
    int32_t a = ToInt32(Arg(n, 0));
    int32_t b = ToInt32(Arg(n, 1));
    return a & b;
}

double EvalEq(const ExprNode* n)
{
    double a = Arg(n, 0);
    double b = Arg(n, 1);
    return a == b ? 1.0 : 0.0;
}
double EvalNe(const ExprNode* n)
{
    double a = Arg(n, 0);
    double b = Arg(n, 1);
    return a != b ? 1.0 : 0.0;
}
double EvalLt(const ExprNode* n)
{
    double a = Arg(n, 0);
    double b = Arg(n, 1);
    return a < b ? 1.0 : 0.0;
}
double EvalGt(const ExprNode* n)
{
    double a = Arg(n, 0);
    double b = Arg(n, 1);
    return a > b ? 1.0 : 0.0;
}
double EvalLe(const ExprNode* n)
{
    double a = Arg(n, 0);
    double b = Arg(n, 1);
    return a <= b ? 1.0 : 0.0;
}
double EvalGe(const ExprNode* n)
{
    double a = Arg(n, 0);
    double b = Arg(n, 1);
    return a >= b ? 1.0 : 0.0;
}

double EvalShl(const ExprNode* n)
{
    int32_t a = ToInt32(Arg(n, 0));
    int32_t s = ToInt32(Arg(n, 1)) & 31;
    return static_cast<int32_t>(static_cast<uint32_t>(a) << s);
}
double EvalShr(const ExprNode* n)
{
    int32_t a = ToInt32(Arg(n, 0));
    int32_t s = ToInt32(Arg(n, 1)) & 31;
    return a >> s;
}

double EvalAdd(const ExprNode* n)
{
    double a = Arg(n, 0);
    return a + Arg(n, 1);
}
double EvalSub(const ExprNode* n)
{
    double a = Arg(n, 0);
    return a - Arg(n, 1);
}
double EvalMul(const ExprNode* n)
{
    double a = Arg(n, 0);
    return a * Arg(n, 1);
}
double EvalDiv(const ExprNode* n)
{
    double a = Arg(n, 0);
    return a / Arg(n, 1);
}
double EvalMod(const ExprNode* n)
{
    double a = Arg(n, 0);
    return std::fmod(a, Arg(n, 1));
}

double EvalPlus(const ExprNode* n) { return Arg(n, 0); }
double EvalNegate(const ExprNode* n) { return -Arg(n, 0); }
double EvalBitNot(const ExprNode* n) { return ~ToInt32(Arg(n, 0)); }
double EvalNot(const ExprNode* n) { return Arg(n, 0) == 0.0 ? 1.0 : 0.0; }

// Built-in functions.
double FnPi(const ExprNode*) { return 3.141592653589793; }
double FnExp(const ExprNode* n) { return std::exp(Arg(n, 0)); }
double FnLn(const ExprNode* n) { return std::log(Arg(n, 0)); }
double FnLog(const ExprNode* n) { return std::log10(Arg(n, 0)); }
double FnSqr(const ExprNode* n)
{
    double x = Arg(n, 0);
    return x * x;
}
double FnPow(const ExprNode* n)
{
    double x = Arg(n, 0);
    return std::pow(x, Arg(n, 1));
}
double FnSqrt(const ExprNode* n) { return std::sqrt(Arg(n, 0)); }
double FnAbs(const ExprNode* n) { return std::fabs(Arg(n, 0)); }
double FnSign(const ExprNode* n) { return Arg(n, 0) < 0.0 ? -1.0 : 1.0; }
double FnSin(const ExprNode* n) { return std::sin(Arg(n, 0)); }
double FnCos(const ExprNode* n) { return std::cos(Arg(n, 0)); }
double FnTan(const ExprNode* n) { return std::tan(Arg(n, 0)); }
double FnAsin(const ExprNode* n) { return std::asin(Arg(n, 0)); }
double FnAcos(const ExprNode* n) { return std::acos(Arg(n, 0)); }
double FnAtan(const ExprNode* n) { return std::atan(Arg(n, 0)); }
double FnAtan2(const ExprNode* n)
{
    double y = Arg(n, 0);
    return std::atan2(y, Arg(n, 1));
}
double FnFloor(const ExprNode* n) { return std::floor(Arg(n, 0)); }
double FnCeil(const ExprNode* n) { return std::ceil(Arg(n, 0)); }
double FnFract(const ExprNode* n)
{
    double x = Arg(n, 0);
    return x - std::floor(x);
}
double FnRound(const ExprNode* n) { return std::floor(Arg(n, 0) + 0.5); }
double FnMod(const ExprNode* n)
{
    double x = Arg(n, 0);
    return std::fmod(x, Arg(n, 1));
}
double FnMin(const ExprNode* n)
{
    double a = Arg(n, 0);
    double b = Arg(n, 1);
    return b > a ? a : b;
}
double FnMax(const ExprNode* n)
{
    double a = Arg(n, 0);
    double b = Arg(n, 1);
    return b > a ? b : a;
}
double FnClamp(const ExprNode* n)
{
    double x = Arg(n, 0);
    double lo = Arg(n, 1);
    double hi = Arg(n, 2);
    if (!(x >= lo))
        return lo;
    return x <= hi ? x : hi;
}
double FnStep(const ExprNode* n)
{
    double edge = Arg(n, 0);
    double x = Arg(n, 1);
    return edge <= x ? 1.0 : 0.0;
}
// A straight ramp, and 1 (not 0) below the lower edge: the manifests written
// for this program rely on that.
double FnSmoothstep(const ExprNode* n)
{
    double e0 = Arg(n, 0);
    double e1 = Arg(n, 1);
    double x = Arg(n, 2);
    if (e0 <= x && x <= e1)
        return (x - e0) / (e1 - e0);
    return 1.0;
}
double FnMix(const ExprNode* n)
{
    double a = Arg(n, 0);
    double b = Arg(n, 1);
    double t = Arg(n, 2);
    return a + t * (b - a);
}

struct BuiltinFunction {
    size_t length;
    const char* name;
    EvalFn eval;
    int arity;
};

// Searched in order; the first exact match wins.
constexpr BuiltinFunction kBuiltins[27] = {
    {2, "pi", FnPi, 0},        {3, "exp", FnExp, 1},     {2, "ln", FnLn, 1},
    {3, "log", FnLog, 1},      {3, "sqr", FnSqr, 1},     {3, "pow", FnPow, 2},
    {4, "sqrt", FnSqrt, 1},    {3, "abs", FnAbs, 1},     {4, "sign", FnSign, 1},
    {3, "sin", FnSin, 1},      {3, "cos", FnCos, 1},     {3, "tan", FnTan, 1},
    {4, "asin", FnAsin, 1},    {4, "acos", FnAcos, 1},   {4, "atan", FnAtan, 1},
    {5, "atan2", FnAtan2, 2},  {5, "floor", FnFloor, 1}, {4, "ceil", FnCeil, 1},
    {5, "fract", FnFract, 1},  {5, "round", FnRound, 1}, {3, "mod", FnMod, 2},
    {3, "min", FnMin, 2},      {3, "max", FnMax, 2},     {5, "clamp", FnClamp, 3},
    {4, "step", FnStep, 2},    {10, "smoothstep", FnSmoothstep, 3},
    {3, "mix", FnMix, 3},
};

const BuiltinFunction* FindBuiltin(const char* name, size_t length)
{
    for (const BuiltinFunction& f : kBuiltins)
        if (f.length == length && std::memcmp(f.name, name, length) == 0)
            return &f;
    return nullptr;
}

// ---------------------------------------------------------------------------
// Lexer helpers (ASCII classes, independent of the locale)

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsNameStart(char c) { return IsLetter(c) || c == '_'; }
bool IsNameChar(char c) { return IsNameStart(c) || IsDigit(c); }
int HexValue(char c)
{
    if (IsDigit(c))
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Integer digits go into 64 bits while they fit and continue in double
// afterwards, so a long literal keeps its magnitude instead of wrapping.
struct DigitAccumulator {
    uint64_t integer = 0;
    double overflow = 0.0;
    bool overflowed = false;

    void Add(unsigned base, unsigned digit)
    {
        if (!overflowed) {
            if (integer <= (std::numeric_limits<uint64_t>::max() - digit) / base) {
                integer = integer * base + digit;
                return;
            }
            overflowed = true;
            overflow = static_cast<double>(integer);
        }
        overflow = overflow * base + digit;
    }
    double Value() const { return overflowed ? overflow : static_cast<double>(integer); }
};

// Reads a number at s; returns the length read (0: no number here).
size_t ScanNumber(const char* s, double& value)
{
    if (s[0] == '0' && s[1] == 'x' && HexValue(s[2]) >= 0) {
        DigitAccumulator acc;
        size_t p = 2;
        for (int h; (h = HexValue(s[p])) >= 0; ++p)
            acc.Add(16, static_cast<unsigned>(h));
        value = acc.Value();
        return p;
    }

    size_t p = 0;
    bool negative = false;
    if (s[0] == '+' || s[0] == '-') {
        if (!(IsDigit(s[1]) || (s[1] == '.' && IsDigit(s[2]))))
            return 0;
        negative = s[0] == '-';
        p = 1;
    }
    if (!(IsDigit(s[p]) || (s[p] == '.' && IsDigit(s[p + 1]))))
        return 0;

    DigitAccumulator acc;
    for (; IsDigit(s[p]); ++p)
        acc.Add(10, static_cast<unsigned>(s[p] - '0'));
    double result = acc.Value();
    if (s[p] == '.') {
        ++p;
        double factor = 0.1;
        for (; IsDigit(s[p]); ++p) {
            result += (s[p] - '0') * factor;
            factor *= 0.1;
        }
    }
    if (s[p] == 'e' || s[p] == 'E') {
        size_t q = p + 1;
        bool negativeExponent = false;
        if (s[q] == '+' || s[q] == '-') {
            negativeExponent = s[q] == '-';
            ++q;
        }
        if (IsDigit(s[q])) {
            // Saturate: beyond a few hundred, pow gives 0 or infinity anyway.
            int64_t exponent = 0;
            for (; IsDigit(s[q]); ++q)
                if (exponent < 100000)
                    exponent = exponent * 10 + (s[q] - '0');
            result *= std::pow(10.0, static_cast<double>(negativeExponent ? -exponent : exponent));
            p = q;
        }
    }
    value = negative ? -result : result;
    return p;
}

struct BinaryOperator {
    int level;     // 2 (loosest, "||") to 12 (tightest, "*")
    size_t length; // characters of the operator
    EvalFn eval;
};

// The binary operator at s, if any. Longer operators win, so a single "|"
// never takes the first half of "||"; "++" and "--" are no operator at all.
bool ScanBinary(const char* s, BinaryOperator& op)
{
    switch (s[0]) {
    case '|': op = s[1] == '|' ? BinaryOperator{2, 2, EvalOr} : BinaryOperator{5, 1, EvalBitOr}; return true;
    case '^': op = s[1] == '^' ? BinaryOperator{3, 2, EvalXor} : BinaryOperator{6, 1, EvalBitXor}; return true;
    case '&': op = s[1] == '&' ? BinaryOperator{4, 2, EvalAnd} : BinaryOperator{7, 1, EvalBitAnd}; return true;
    case '=':
        if (s[1] != '=')
            return false;
        op = {8, 2, EvalEq};
        return true;
    case '!':
        if (s[1] != '=')
            return false;
        op = {8, 2, EvalNe};
        return true;
    case '<':
        if (s[1] == '<')
            op = {10, 2, EvalShl};
        else if (s[1] == '=')
            op = {9, 2, EvalLe};
        else
            op = {9, 1, EvalLt};
        return true;
    case '>':
        if (s[1] == '>')
            op = {10, 2, EvalShr};
        else if (s[1] == '=')
            op = {9, 2, EvalGe};
        else
            op = {9, 1, EvalGt};
        return true;
    case '+':
        if (s[1] == '+')
            return false;
        op = {11, 1, EvalAdd};
        return true;
    case '-':
        if (s[1] == '-')
            return false;
        op = {11, 1, EvalSub};
        return true;
    case '*': op = {12, 1, EvalMul}; return true;
    case '/': op = {12, 1, EvalDiv}; return true;
    case '%': op = {12, 1, EvalMod}; return true;
    default: return false;
    }
}

// ---------------------------------------------------------------------------
// Parser

using NodePtr = std::unique_ptr<ExprNode>;

class Parser {
public:
    Parser(const char* text, std::map<std::string, double, std::less<>>& variables) : s(text), vars(variables) {}

    // Whole text: one expression and nothing after it but white space.
    NodePtr ParseAll()
    {
        NodePtr root = ParseConditional();
        if (!root)
            return nullptr;
        SkipSpace();
        if (s[p] != '\0')
            return nullptr;
        return root;
    }

private:
    const char* s;
    size_t p = 0;
    int nesting = 0;
    std::map<std::string, double, std::less<>>& vars;

    // Counts the recursive constructs on the way down.
    struct NestingGuard {
        int& n;
        explicit NestingGuard(int& counter) : n(counter) { ++n; }
        ~NestingGuard() { --n; }
        bool Exceeded() const { return n > CExpression::kMaxNesting; }
    };

    void SkipSpace()
    {
        while (IsSpace(s[p]))
            ++p;
    }

    static NodePtr Constant(double value)
    {
        NodePtr n(new ExprNode);
        n->eval = EvalConstant;
        n->value = value;
        return n;
    }

    // Builds an operator or function node; a node whose operands are all
    // constants is evaluated once here, since every operator is pure.
    static NodePtr MakeNode(EvalFn eval, NodePtr a = nullptr, NodePtr b = nullptr, NodePtr c = nullptr)
    {
        NodePtr n(new ExprNode);
        n->eval = eval;
        n->child[0] = std::move(a);
        n->child[1] = std::move(b);
        n->child[2] = std::move(c);
        bool constant = true;
        int height = 0;
        for (const NodePtr& k : n->child) {
            if (!k)
                continue;
            constant = constant && k->eval == EvalConstant;
            if (k->height > height)
                height = k->height;
        }
        if (constant)
            return Constant(eval(n.get()));
        n->height = height + 1;
        if (n->height > CExpression::kMaxHeight)
            return nullptr;
        return n;
    }

    // Level 1: c ? a : b, chained to the right through the third part.
    NodePtr ParseConditional()
    {
        NestingGuard guard(nesting);
        if (guard.Exceeded())
            return nullptr;
        NodePtr condition = ParseBinary(2);
        if (!condition)
            return nullptr;
        SkipSpace();
        if (s[p] != '?')
            return condition;
        ++p;
        NodePtr whenTrue = ParseConditional();
        if (!whenTrue)
            return nullptr;
        SkipSpace();
        if (s[p] != ':' || s[p + 1] == ':')
            return nullptr;
        ++p;
        NodePtr whenFalse = ParseConditional();
        if (!whenFalse)
            return nullptr;
        if (condition->eval == EvalConstant)
            return condition->value != 0.0 ? std::move(whenTrue) : std::move(whenFalse);
        return MakeNode(EvalConditional, std::move(condition), std::move(whenTrue), std::move(whenFalse));
    }

    // Levels 2 to 12, all left-associative.
    NodePtr ParseBinary(int minLevel)
    {
        NodePtr left = ParseUnary();
        while (left) {
            SkipSpace();
            BinaryOperator op;
            if (!ScanBinary(s + p, op) || op.level < minLevel)
                break;
            p += op.length;
            NodePtr right = ParseBinary(op.level + 1);
            if (!right)
                return nullptr;
            left = MakeNode(op.eval, std::move(left), std::move(right));
        }
        return left;
    }

    // Level 13: a number first (it may carry its own sign), then the prefix
    // operators, then a primary.
    NodePtr ParseUnary()
    {
        SkipSpace();
        double value;
        if (size_t length = ScanNumber(s + p, value)) {
            p += length;
            return Constant(value);
        }
        EvalFn prefix = nullptr;
        switch (s[p]) {
        case '+': prefix = EvalPlus; break;
        case '-': prefix = EvalNegate; break;
        case '~': prefix = EvalBitNot; break;
        case '!': prefix = EvalNot; break;
        default: return ParsePrimary();
        }
        ++p;
        NestingGuard guard(nesting);
        if (guard.Exceeded())
            return nullptr;
        NodePtr operand = ParseUnary();
        if (!operand)
            return nullptr;
        return MakeNode(prefix, std::move(operand));
    }

    // Level 14: "(" expression ")", a function call or a variable (numbers
    // were taken by ParseUnary).
    NodePtr ParsePrimary()
    {
        if (s[p] == '(') {
            ++p;
            NodePtr inner = ParseConditional();
            if (!inner)
                return nullptr;
            SkipSpace();
            if (s[p] != ')')
                return nullptr;
            ++p;
            return inner;
        }
        if (!IsNameStart(s[p]))
            return nullptr;
        size_t start = p;
        for (;;) {
            if (IsNameChar(s[p])) {
                ++p;
            } else if (s[p] == '.') {
                if (!IsNameStart(s[p + 1]))
                    return nullptr;
                ++p;
            } else {
                break;
            }
        }
        if (const BuiltinFunction* f = FindBuiltin(s + start, p - start))
            return ParseCall(*f);
        double& entry = vars.try_emplace(std::string(s + start, p - start), 0.0).first->second;
        NodePtr n(new ExprNode);
        n->eval = EvalVariable;
        n->variable = &entry;
        return n;
    }

    NodePtr ParseCall(const BuiltinFunction& f)
    {
        SkipSpace();
        if (s[p] != '(')
            return nullptr;
        ++p;
        NodePtr args[3];
        for (int i = 0; i < f.arity; ++i) {
            if (i > 0) {
                SkipSpace();
                if (s[p] != ',')
                    return nullptr;
                ++p;
            }
            args[i] = ParseConditional();
            if (!args[i])
                return nullptr;
        }
        SkipSpace();
        if (s[p] != ')')
            return nullptr;
        ++p;
        return MakeNode(f.eval, std::move(args[0]), std::move(args[1]), std::move(args[2]));
    }
};

}  // namespace

// ---------------------------------------------------------------------------
// CExpression

CExpression::CExpression() = default;
CExpression::~CExpression() = default;

bool CExpression::Compile(const char* text)
{
    root.reset();
    variables.clear();
    if (!text)
        return false;
    try {
        root = Parser(text, variables).ParseAll();
    } catch (const std::bad_alloc&) {
        root.reset();
    }
    return root != nullptr;
}

double CExpression::Evaluate() const
{
    return root ? root->eval(root.get()) : 0.0;
}

bool CExpression::SetTime(double t)
{
    return SetVariable("t", t);
}

bool CExpression::SetVariable(std::string_view name, double value)
{
    auto it = variables.find(name);
    if (it == variables.end())
        return false;
    it->second = value;
    return true;
}

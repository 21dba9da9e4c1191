// Expression compiler and evaluator.
//
// Sections, in order: the node type; evaluation (constants and variables, the
// short-circuit operators, evaluators specialised by operand kind, operators
// and built-in functions, the function table); the lexer helpers; the parser
// (precedence climbing over the binary levels, then prefix operators and
// primaries, with constant folding); the CExpression operations.
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

// Operands that are constants or variables are read in place by their parent
// instead of through a call of their own: every unary and binary evaluator
// exists once per operand kind (computed, constant, variable).
enum OperandKind { kComputed = 0, kConstant = 1, kVariable = 2 };

template <int Kind>
inline double Fetch(const ExprNode* c)
{
    if constexpr (Kind == kConstant)
        return c->value;
    else if constexpr (Kind == kVariable)
        return *c->variable;
    else
        return c->eval(c);
}

template <class Op, int K>
double EvalUnary(const ExprNode* n)
{
    return Op::Apply(Fetch<K>(n->child[0].get()));
}

// Left operand first, then the right one.
template <class Op, int L, int R>
double EvalBinary(const ExprNode* n)
{
    const double a = Fetch<L>(n->child[0].get());
    const double b = Fetch<R>(n->child[1].get());
    return Op::Apply(a, b);
}

using UnaryTable = EvalFn[3];
using BinaryTable = EvalFn[3][3];

template <class Op>
constexpr UnaryTable kUnary = {EvalUnary<Op, 0>, EvalUnary<Op, 1>, EvalUnary<Op, 2>};

template <class Op>
constexpr BinaryTable kBinary = {
    {EvalBinary<Op, 0, 0>, EvalBinary<Op, 0, 1>, EvalBinary<Op, 0, 2>},
    {EvalBinary<Op, 1, 0>, EvalBinary<Op, 1, 1>, EvalBinary<Op, 1, 2>},
    {EvalBinary<Op, 2, 0>, EvalBinary<Op, 2, 1>, EvalBinary<Op, 2, 2>},
};

// Binary operators.
struct OpXor { static double Apply(double a, double b) { return (a != 0.0) != (b != 0.0) ? 1.0 : 0.0; } };
struct OpBitOr { static double Apply(double a, double b) { return ToInt32(a) | ToInt32(b); } };
struct OpBitXor { static double Apply(double a, double b) { return ToInt32(a) ^ ToInt32(b); } };
struct OpBitAnd { static double Apply(double a, double b) { return ToInt32(a) & ToInt32(b); } };
struct OpEq { static double Apply(double a, double b) { return a == b ? 1.0 : 0.0; } };
struct OpNe { static double Apply(double a, double b) { return a != b ? 1.0 : 0.0; } };
struct OpLt { static double Apply(double a, double b) { return a < b ? 1.0 : 0.0; } };
struct OpGt { static double Apply(double a, double b) { return a > b ? 1.0 : 0.0; } };
struct OpLe { static double Apply(double a, double b) { return a <= b ? 1.0 : 0.0; } };
struct OpGe { static double Apply(double a, double b) { return a >= b ? 1.0 : 0.0; } };
struct OpShl {
    static double Apply(double a, double b)
    {
        return static_cast<int32_t>(static_cast<uint32_t>(ToInt32(a)) << (ToInt32(b) & 31));
    }
};
struct OpShr { static double Apply(double a, double b) { return ToInt32(a) >> (ToInt32(b) & 31); } };
struct OpAdd { static double Apply(double a, double b) { return a + b; } };
struct OpSub { static double Apply(double a, double b) { return a - b; } };
struct OpMul { static double Apply(double a, double b) { return a * b; } };
struct OpDiv { static double Apply(double a, double b) { return a / b; } };
struct OpMod { static double Apply(double a, double b) { return std::fmod(a, b); } };

// Prefix operators.
struct OpPlus { static double Apply(double x) { return x; } };
struct OpNegate { static double Apply(double x) { return -x; } };
struct OpBitNot { static double Apply(double x) { return ~ToInt32(x); } };
struct OpNot { static double Apply(double x) { return x == 0.0 ? 1.0 : 0.0; } };

// Built-in functions of one and two arguments.
struct FnExp { static double Apply(double x) { return std::exp(x); } };
struct FnLn { static double Apply(double x) { return std::log(x); } };
struct FnLog { static double Apply(double x) { return std::log10(x); } };
struct FnSqr { static double Apply(double x) { return x * x; } };
struct FnPow { static double Apply(double x, double y) { return std::pow(x, y); } };
struct FnSqrt { static double Apply(double x) { return std::sqrt(x); } };
struct FnAbs { static double Apply(double x) { return std::fabs(x); } };
struct FnSign { static double Apply(double x) { return x < 0.0 ? -1.0 : 1.0; } };
struct FnSin { static double Apply(double x) { return std::sin(x); } };
struct FnCos { static double Apply(double x) { return std::cos(x); } };
struct FnTan { static double Apply(double x) { return std::tan(x); } };
struct FnAsin { static double Apply(double x) { return std::asin(x); } };
struct FnAcos { static double Apply(double x) { return std::acos(x); } };
struct FnAtan { static double Apply(double x) { return std::atan(x); } };
struct FnAtan2 { static double Apply(double y, double x) { return std::atan2(y, x); } };
struct FnFloor { static double Apply(double x) { return std::floor(x); } };
struct FnCeil { static double Apply(double x) { return std::ceil(x); } };
struct FnFract { static double Apply(double x) { return x - std::floor(x); } };
struct FnRound { static double Apply(double x) { return std::floor(x + 0.5); } };
struct FnMin { static double Apply(double a, double b) { return b > a ? a : b; } };
struct FnMax { static double Apply(double a, double b) { return b > a ? b : a; } };
struct FnStep { static double Apply(double edge, double x) { return edge <= x ? 1.0 : 0.0; } };

// Functions of no and three arguments.
double FnPi(const ExprNode*) { return 3.141592653589793; }
double FnClamp(const ExprNode* n)
{
    double x = Arg(n, 0);
    double lo = Arg(n, 1);
    double hi = Arg(n, 2);
    if (!(x >= lo))
        return lo;
    return x <= hi ? x : hi;
}
// Not the shading-language smoothstep: a straight ramp between the edges and
// 1 on both sides outside them.
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

// How a node is evaluated: one function for any operands, or a table chosen
// by the kinds of its one or two operands.
struct Evaluator {
    EvalFn general = nullptr;
    const UnaryTable* unary = nullptr;
    const BinaryTable* binary = nullptr;
};

template <class Op>
constexpr Evaluator Unary() { return {nullptr, &kUnary<Op>, nullptr}; }
template <class Op>
constexpr Evaluator Binary() { return {nullptr, nullptr, &kBinary<Op>}; }
constexpr Evaluator General(EvalFn fn) { return {fn, nullptr, nullptr}; }

struct BuiltinFunction {
    size_t length;
    const char* name;
    Evaluator eval;
    int arity;
};

// Searched in order; the first exact match wins.
constexpr BuiltinFunction kBuiltins[27] = {
    {2, "pi", General(FnPi), 0},
    {3, "exp", Unary<FnExp>(), 1},
    {2, "ln", Unary<FnLn>(), 1},
    {3, "log", Unary<FnLog>(), 1},
    {3, "sqr", Unary<FnSqr>(), 1},
    {3, "pow", Binary<FnPow>(), 2},
    {4, "sqrt", Unary<FnSqrt>(), 1},
    {3, "abs", Unary<FnAbs>(), 1},
    {4, "sign", Unary<FnSign>(), 1},
    {3, "sin", Unary<FnSin>(), 1},
    {3, "cos", Unary<FnCos>(), 1},
    {3, "tan", Unary<FnTan>(), 1},
    {4, "asin", Unary<FnAsin>(), 1},
    {4, "acos", Unary<FnAcos>(), 1},
    {4, "atan", Unary<FnAtan>(), 1},
    {5, "atan2", Binary<FnAtan2>(), 2},
    {5, "floor", Unary<FnFloor>(), 1},
    {4, "ceil", Unary<FnCeil>(), 1},
    {5, "fract", Unary<FnFract>(), 1},
    {5, "round", Unary<FnRound>(), 1},
    {3, "mod", Binary<OpMod>(), 2},
    {3, "min", Binary<FnMin>(), 2},
    {3, "max", Binary<FnMax>(), 2},
    {5, "clamp", General(FnClamp), 3},
    {4, "step", Binary<FnStep>(), 2},
    {10, "smoothstep", General(FnSmoothstep), 3},
    {3, "mix", General(FnMix), 3},
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
    Evaluator eval;
};

// The binary operator at s, if any. Longer operators win, so a single "|"
// never takes the first half of "||"; "++" and "--" are no operator at all.
bool ScanBinary(const char* s, BinaryOperator& op)
{
    switch (s[0]) {
    case '|':
        op = s[1] == '|' ? BinaryOperator{2, 2, General(EvalOr)} : BinaryOperator{5, 1, Binary<OpBitOr>()};
        return true;
    case '^':
        op = s[1] == '^' ? BinaryOperator{3, 2, Binary<OpXor>()} : BinaryOperator{6, 1, Binary<OpBitXor>()};
        return true;
    case '&':
        op = s[1] == '&' ? BinaryOperator{4, 2, General(EvalAnd)} : BinaryOperator{7, 1, Binary<OpBitAnd>()};
        return true;
    case '=':
        if (s[1] != '=')
            return false;
        op = {8, 2, Binary<OpEq>()};
        return true;
    case '!':
        if (s[1] != '=')
            return false;
        op = {8, 2, Binary<OpNe>()};
        return true;
    case '<':
        if (s[1] == '<')
            op = {10, 2, Binary<OpShl>()};
        else if (s[1] == '=')
            op = {9, 2, Binary<OpLe>()};
        else
            op = {9, 1, Binary<OpLt>()};
        return true;
    case '>':
        if (s[1] == '>')
            op = {10, 2, Binary<OpShr>()};
        else if (s[1] == '=')
            op = {9, 2, Binary<OpGe>()};
        else
            op = {9, 1, Binary<OpGt>()};
        return true;
    case '+':
        if (s[1] == '+')
            return false;
        op = {11, 1, Binary<OpAdd>()};
        return true;
    case '-':
        if (s[1] == '-')
            return false;
        op = {11, 1, Binary<OpSub>()};
        return true;
    case '*': op = {12, 1, Binary<OpMul>()}; return true;
    case '/': op = {12, 1, Binary<OpDiv>()}; return true;
    case '%': op = {12, 1, Binary<OpMod>()}; return true;
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

    // Counts the recursive calls on the way down: conditionals and
    // parenthesised or argument expressions, prefix operators and operands
    // of a tighter binary level.
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

    static int KindOf(const NodePtr& n)
    {
        if (n->eval == EvalConstant)
            return kConstant;
        if (n->eval == EvalVariable)
            return kVariable;
        return kComputed;
    }

    // Builds an operator or function node; a node whose operands are all
    // constants is evaluated once here, since every operator is pure.
    static NodePtr MakeNode(const Evaluator& eval, NodePtr a = nullptr, NodePtr b = nullptr, NodePtr c = nullptr)
    {
        NodePtr n(new ExprNode);
        if (eval.unary)
            n->eval = (*eval.unary)[KindOf(a)];
        else if (eval.binary)
            n->eval = (*eval.binary)[KindOf(a)][KindOf(b)];
        else
            n->eval = eval.general;
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
            return Constant(n->eval(n.get()));
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
        return MakeNode(General(EvalConditional), std::move(condition), std::move(whenTrue), std::move(whenFalse));
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
            NodePtr right;
            {
                // Each rise in precedence is one more frame on the stack.
                NestingGuard guard(nesting);
                if (guard.Exceeded())
                    return nullptr;
                right = ParseBinary(op.level + 1);
            }
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
        Evaluator prefix;
        switch (s[p]) {
        case '+': prefix = Unary<OpPlus>(); break;
        case '-': prefix = Unary<OpNegate>(); break;
        case '~': prefix = Unary<OpBitNot>(); break;
        case '!': prefix = Unary<OpNot>(); break;
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
    time_variable = nullptr;
    if (!text)
        return false;
    try {
        root = Parser(text, variables).ParseAll();
    } catch (const std::bad_alloc&) {
        root.reset();
    }
    auto t = variables.find("t");
    if (t != variables.end())
        time_variable = &t->second;
    return root != nullptr;
}

double CExpression::Evaluate() const
{
    return root ? root->eval(root.get()) : 0.0;
}

bool CExpression::SetTime(double t)
{
    if (!time_variable)
        return false;
    *time_variable = t;
    return true;
}

bool CExpression::SetVariable(std::string_view name, double value)
{
    auto it = variables.find(name);
    if (it == variables.end())
        return false;
    it->second = value;
    return true;
}

#include "dataset/expression.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

// Compiles text and returns its value; fails the test when it does not compile.
double Eval(const std::string& text)
{
    CExpression e;
    EXPECT_TRUE(e.Compile(text.c_str())) << text;
    return e.Evaluate();
}

bool Compiles(const std::string& text)
{
    CExpression e;
    return e.Compile(text.c_str());
}

TEST(ExpressionTest, PrecedenceAndAssociativity)
{
    EXPECT_EQ(Eval("1 + 2 * 3"), 7);
    EXPECT_EQ(Eval("(1 + 2) * 3"), 9);
    EXPECT_EQ(Eval("10 - 4 - 3"), 3);    // left-associative
    EXPECT_EQ(Eval("64 / 4 / 2"), 8);
    EXPECT_EQ(Eval("2 ^ 3"), 1);         // exclusive or, not power
    EXPECT_EQ(Eval("pow(2, 3)"), 8);
    EXPECT_EQ(Eval("1 | 2 ^ 3 & 6"), 1 | (2 ^ (3 & 6)));
    EXPECT_EQ(Eval("1 + 1 << 2"), 8);    // shifts bind looser than sums
    EXPECT_EQ(Eval("1 < 2 == 1"), 1);    // relations tighter than equality
    EXPECT_EQ(Eval("3 & 1 == 1"), 1);    // equality tighter than bitwise and
    EXPECT_EQ(Eval("0 || 1 && 0"), 0);   // and tighter than or
    EXPECT_EQ(Eval("1 ^^ 1 || 1"), 1);
    EXPECT_EQ(Eval("-2 * -3"), 6);
    EXPECT_EQ(Eval("-(2 + 3)"), -5);
    EXPECT_EQ(Eval("!0 + 1"), 2);        // prefix binds tighter than binary
}

TEST(ExpressionTest, RemainderAndShifts)
{
    EXPECT_EQ(Eval("7 % 3"), 1);
    EXPECT_EQ(Eval("-7 % 3"), -1);
    EXPECT_EQ(Eval("7.5 % 2"), 1.5);
    EXPECT_EQ(Eval("5 >> 1"), 2);
    EXPECT_EQ(Eval("-5 >> 1"), -3);
    EXPECT_EQ(Eval("1 << 33"), 2);
    EXPECT_EQ(Eval("1 << 31"), -2147483648.0);
    EXPECT_EQ(Eval("1 << -1"), -2147483648.0);  // count taken modulo 32
    EXPECT_EQ(Eval("7.9 & 3.9"), 3);            // truncation toward zero
    EXPECT_EQ(Eval("-7.9 | 0"), -7);
    EXPECT_EQ(Eval("~0"), -1);
    EXPECT_EQ(Eval("~2.5"), -3);
}

TEST(ExpressionTest, BitwiseOperandsWrapToThirtyTwoBits)
{
    EXPECT_EQ(Eval("4294967296 | 0"), 0);
    EXPECT_EQ(Eval("4294967297 | 0"), 1);
    EXPECT_EQ(Eval("2147483648 | 0"), -2147483648.0);
    EXPECT_EQ(Eval("-4294967297 | 0"), -1);
    EXPECT_EQ(Eval("1e300 | 0"), 0);
    CExpression e;
    ASSERT_TRUE(e.Compile("(x / 0) | 5"));
    EXPECT_EQ(e.Evaluate(), 5);  // NaN cuts to 0, no undefined conversion
    ASSERT_TRUE(e.Compile("(1 / x) >> 1"));
    EXPECT_EQ(e.Evaluate(), 0);  // infinity cuts to 0
}

TEST(ExpressionTest, ComparisonsAndLogic)
{
    EXPECT_EQ(Eval("1 == 1"), 1);
    EXPECT_EQ(Eval("1 == 1.0000000001"), 0);  // exact comparison
    EXPECT_EQ(Eval("1 != 2"), 1);
    EXPECT_EQ(Eval("2 <= 2"), 1);
    EXPECT_EQ(Eval("2 >= 3"), 0);
    EXPECT_EQ(Eval("2 < 3"), 1);
    EXPECT_EQ(Eval("2 > 3"), 0);
    EXPECT_EQ(Eval("5 && 7"), 1);
    EXPECT_EQ(Eval("5 || 0"), 1);
    EXPECT_EQ(Eval("0 || 0"), 0);
    EXPECT_EQ(Eval("3 ^^ 0"), 1);
    EXPECT_EQ(Eval("3 ^^ 4"), 0);
    EXPECT_EQ(Eval("!0"), 1);
    EXPECT_EQ(Eval("!5"), 0);
    EXPECT_EQ(Eval("--1"), 1);
    EXPECT_EQ(Eval("2 - -1"), 3);
    EXPECT_EQ(Eval("+-+1"), -1);
}

TEST(ExpressionTest, ShortCircuitAndConditionalEvaluateOnlyWhatIsNeeded)
{
    // A division by a zero variable yields infinity, whose comparison shows
    // whether the branch ran: 1/x > 0 is 1 when evaluated with x = 0.
    CExpression e;
    ASSERT_TRUE(e.Compile("x ? 1 / x : 2"));
    EXPECT_EQ(e.Evaluate(), 2);
    ASSERT_TRUE(e.SetVariable("x", 4));
    EXPECT_EQ(e.Evaluate(), 0.25);

    ASSERT_TRUE(e.Compile("1 ? 2 : 0 ? 3 : 4"));
    EXPECT_EQ(e.Evaluate(), 2);
    ASSERT_TRUE(e.Compile("0 ? 2 : 0 ? 3 : 4"));
    EXPECT_EQ(e.Evaluate(), 4);
    ASSERT_TRUE(e.Compile("0 ? 2 : 1 ? 3 : 4"));
    EXPECT_EQ(e.Evaluate(), 3);
    ASSERT_TRUE(e.Compile("a ? b ? 1 : 2 : 3"));  // nested in the middle part
    e.SetVariable("a", 1);
    EXPECT_EQ(e.Evaluate(), 2);
    e.SetVariable("b", 1);
    EXPECT_EQ(e.Evaluate(), 1);
    e.SetVariable("a", 0);
    EXPECT_EQ(e.Evaluate(), 3);
    ASSERT_TRUE(e.Compile("1 || 1 ? 5 : 6"));  // condition is a level-2 expression
    EXPECT_EQ(e.Evaluate(), 5);

    EXPECT_FALSE(Compiles("1 ? 2 :: 3"));
    EXPECT_FALSE(Compiles("1 ? 2"));
    EXPECT_FALSE(Compiles("1 ? 2 : "));
    EXPECT_FALSE(Compiles("? 1 : 2"));
}

TEST(ExpressionTest, NumberForms)
{
    EXPECT_EQ(Eval("0x1F"), 31);
    EXPECT_EQ(Eval("0xff"), 255);
    EXPECT_EQ(Eval("0x7fffffffffffffff"), 9223372036854775807.0);
    EXPECT_FALSE(Compiles("0X1F"));
    EXPECT_FALSE(Compiles("0x"));
    EXPECT_FALSE(Compiles("0xg"));
    EXPECT_EQ(Eval("1e3"), 1000);
    EXPECT_EQ(Eval("1E3"), 1000);
    EXPECT_EQ(Eval("2e+2"), 200);
    EXPECT_DOUBLE_EQ(Eval("1.5e-1"), 0.15);
    EXPECT_EQ(Eval(".5"), 0.5);
    EXPECT_EQ(Eval("5."), 5);
    EXPECT_EQ(Eval("5.e1"), 50);
    EXPECT_EQ(Eval("-.5"), -0.5);
    EXPECT_DOUBLE_EQ(Eval("3.14159"), 3.14159);
    EXPECT_FALSE(Compiles("1e"));
    EXPECT_FALSE(Compiles("1e+"));
    EXPECT_FALSE(Compiles("."));
    EXPECT_FALSE(Compiles("1.2.3"));
    EXPECT_FALSE(Compiles("- ."));
    // Long literals keep their magnitude instead of wrapping.
    EXPECT_DOUBLE_EQ(Eval("100000000000000000000000"), 1e23);
    EXPECT_DOUBLE_EQ(Eval("0x10000000000000000"), 18446744073709551616.0);
    EXPECT_TRUE(std::isinf(Eval("1e99999999999999999999")));
    EXPECT_EQ(Eval("1e-99999999999999999999"), 0);
}

TEST(ExpressionTest, BuiltinFunctions)
{
    EXPECT_DOUBLE_EQ(Eval("pi()"), 3.141592653589793);
    EXPECT_FALSE(Compiles("pi"));
    EXPECT_FALSE(Compiles("pi(1)"));
    EXPECT_DOUBLE_EQ(Eval("sin(pi()/2)"), 1);
    EXPECT_DOUBLE_EQ(Eval("cos(0)"), 1);
    EXPECT_DOUBLE_EQ(Eval("tan(pi()/4)"), 1);
    EXPECT_DOUBLE_EQ(Eval("asin(1)"), M_PI / 2);
    EXPECT_DOUBLE_EQ(Eval("acos(1)"), 0);
    EXPECT_DOUBLE_EQ(Eval("atan(1)"), M_PI / 4);
    EXPECT_DOUBLE_EQ(Eval("atan2(1, 0)"), M_PI / 2);  // first argument is y
    EXPECT_DOUBLE_EQ(Eval("atan2(0, -1)"), M_PI);
    EXPECT_DOUBLE_EQ(Eval("exp(1)"), M_E);
    EXPECT_DOUBLE_EQ(Eval("ln(exp(2))"), 2);
    EXPECT_DOUBLE_EQ(Eval("log(1000)"), 3);
    EXPECT_EQ(Eval("sqr(-3)"), 9);
    EXPECT_EQ(Eval("sqrt(16)"), 4);
    EXPECT_EQ(Eval("abs(-2.5)"), 2.5);
    EXPECT_EQ(Eval("sign(0)"), 1);
    EXPECT_EQ(Eval("sign(-0.1)"), -1);
    EXPECT_EQ(Eval("sign(3)"), 1);
    EXPECT_EQ(Eval("floor(-1.5)"), -2);
    EXPECT_EQ(Eval("ceil(-1.5)"), -1);
    EXPECT_EQ(Eval("fract(-0.25)"), 0.75);
    EXPECT_EQ(Eval("round(-0.5)"), 0);
    EXPECT_EQ(Eval("round(2.5)"), 3);
    EXPECT_EQ(Eval("mod(-7, 3)"), -1);
    EXPECT_EQ(Eval("min(3, 2)"), 2);
    EXPECT_EQ(Eval("max(3, 2)"), 3);
    EXPECT_EQ(Eval("clamp(5, 0, 2)"), 2);
    EXPECT_EQ(Eval("clamp(-5, 0, 2)"), 0);
    EXPECT_EQ(Eval("clamp(1, 0, 2)"), 1);
    EXPECT_EQ(Eval("step(1, 1)"), 1);
    EXPECT_EQ(Eval("step(1, 0.5)"), 0);
    EXPECT_EQ(Eval("smoothstep(0, 10, 5)"), 0.5);
    EXPECT_EQ(Eval("smoothstep(0, 10, 2.5)"), 0.25);  // a straight ramp
    EXPECT_EQ(Eval("smoothstep(0, 10, -1)"), 1);
    EXPECT_EQ(Eval("smoothstep(0, 10, 11)"), 1);
    EXPECT_EQ(Eval("mix(2, 4, 0.25)"), 2.5);
    EXPECT_EQ(Eval("sin (0)"), 0);  // white space before "(" is allowed
}

TEST(ExpressionTest, MinMaxClampFollowTheirComparisonsWithNaN)
{
    CExpression e;
    ASSERT_TRUE(e.Compile("min(0/z, 1)"));  // second not greater than NaN: the second
    EXPECT_EQ(e.Evaluate(), 1);
    ASSERT_TRUE(e.Compile("min(1, 0/z)"));
    EXPECT_TRUE(std::isnan(e.Evaluate()));
    ASSERT_TRUE(e.Compile("max(0/z, 1)"));
    EXPECT_TRUE(std::isnan(e.Evaluate()));
    ASSERT_TRUE(e.Compile("clamp(0/z, 2, 3)"));  // x >= lo fails: lo
    EXPECT_EQ(e.Evaluate(), 2);
    ASSERT_TRUE(e.Compile("sign(0/z)"));
    EXPECT_EQ(e.Evaluate(), 1);
}

TEST(ExpressionTest, FunctionCallErrors)
{
    EXPECT_FALSE(Compiles("sin"));
    EXPECT_FALSE(Compiles("sin()"));
    EXPECT_FALSE(Compiles("sin(1, 2)"));
    EXPECT_FALSE(Compiles("pow(1)"));
    EXPECT_FALSE(Compiles("pow(1,)"));
    EXPECT_FALSE(Compiles("clamp(1, 2)"));
    EXPECT_FALSE(Compiles("sin(1"));
    EXPECT_TRUE(Compiles("Sin(1) * 0") == false);  // "Sin" is a variable, not a call
    EXPECT_EQ(Eval("sinus + 1"), 1);               // names are matched exactly
    EXPECT_FALSE(Compiles("1, 2"));
}

TEST(ExpressionTest, Variables)
{
    CExpression e;
    ASSERT_TRUE(e.Compile("t*2"));
    EXPECT_EQ(e.VariableCount(), 1u);
    EXPECT_EQ(e.Evaluate(), 0);  // variables start at 0
    EXPECT_TRUE(e.SetTime(3));
    EXPECT_EQ(e.Evaluate(), 6);
    EXPECT_TRUE(e.SetTime(-1.5));
    EXPECT_EQ(e.Evaluate(), -3);

    ASSERT_TRUE(e.Compile("x + y"));
    EXPECT_EQ(e.VariableCount(), 2u);
    EXPECT_FALSE(e.SetTime(1));

    ASSERT_TRUE(e.Compile("t * t + T"));  // names are case-sensitive
    EXPECT_EQ(e.VariableCount(), 2u);
    ASSERT_TRUE(e.SetTime(3));
    EXPECT_EQ(e.Evaluate(), 9);

    ASSERT_TRUE(e.Compile("a.b + 1"));
    EXPECT_EQ(e.VariableCount(), 1u);
    EXPECT_TRUE(e.SetVariable("a.b", 2));
    EXPECT_EQ(e.Evaluate(), 3);
    EXPECT_TRUE(Compiles("_x1.y_2._z"));
    EXPECT_FALSE(Compiles("a.1"));
    EXPECT_FALSE(Compiles("a."));
    EXPECT_FALSE(Compiles("a . b"));

    ASSERT_TRUE(e.Compile("4"));
    EXPECT_EQ(e.VariableCount(), 0u);
    EXPECT_FALSE(e.SetTime(1));
}

TEST(ExpressionTest, RecompileReplacesTreeAndVariables)
{
    CExpression e;
    ASSERT_TRUE(e.Compile("t + 1"));
    ASSERT_TRUE(e.SetTime(5));
    ASSERT_TRUE(e.Compile("t + 1"));
    EXPECT_EQ(e.Evaluate(), 1);  // the variable table starts afresh
    EXPECT_FALSE(e.Compile("t +"));
    EXPECT_FALSE(e.IsCompiled());
    EXPECT_EQ(e.Evaluate(), 0);  // failed compile leaves no tree
    EXPECT_TRUE(e.Compile("q"));
    EXPECT_FALSE(e.SetTime(1));
}

TEST(ExpressionTest, RejectsMalformedText)
{
    EXPECT_FALSE(Compiles(""));
    EXPECT_FALSE(Compiles("   \t\n"));
    EXPECT_FALSE(Compiles("2--1"));
    EXPECT_FALSE(Compiles("2 --1"));
    EXPECT_FALSE(Compiles("a++b"));
    EXPECT_FALSE(Compiles("1 +"));
    EXPECT_FALSE(Compiles("(1"));
    EXPECT_FALSE(Compiles("1)"));
    EXPECT_FALSE(Compiles("()"));
    EXPECT_FALSE(Compiles("1 2"));
    EXPECT_FALSE(Compiles("a = 1"));
    EXPECT_FALSE(Compiles("1 ||| 1"));
    EXPECT_FALSE(Compiles("1 <<= 1"));
    EXPECT_FALSE(Compiles("1 ! 2"));
    EXPECT_FALSE(Compiles("$"));
    EXPECT_FALSE(Compiles("1 # 2"));
    EXPECT_FALSE(Compiles("\xc3\xa9"));
    EXPECT_FALSE(CExpression().Compile(nullptr));
    EXPECT_EQ(Eval("  1 + 2  \n"), 3);  // surrounding white space is fine
}

TEST(ExpressionTest, IeeeResultsWithoutErrors)
{
    EXPECT_TRUE(std::isinf(Eval("1 / 0")));
    EXPECT_TRUE(std::isnan(Eval("0 / 0")));
    EXPECT_TRUE(std::isnan(Eval("1 % 0")));
    EXPECT_TRUE(std::isnan(Eval("ln(-1)")));
    EXPECT_TRUE(std::isinf(Eval("ln(0)")));
    EXPECT_TRUE(std::isnan(Eval("sqrt(-1)")));
}

TEST(ExpressionTest, DeepNestingFailsInsteadOfExhaustingTheStack)
{
    auto nested = [](int depth, const std::string& open, const std::string& inner, const std::string& close) {
        std::string s;
        for (int i = 0; i < depth; ++i)
            s += open;
        s += inner;
        for (int i = 0; i < depth; ++i)
            s += close;
        return s;
    };
    EXPECT_EQ(Eval(nested(200, "(", "t", ")")), 0);
    // The limit itself counts the outermost expression too.
    EXPECT_TRUE(Compiles(nested(CExpression::kMaxNesting - 1, "(", "t", ")")));
    EXPECT_FALSE(Compiles(nested(CExpression::kMaxNesting, "(", "t", ")")));
    EXPECT_TRUE(Compiles(nested(CExpression::kMaxNesting - 1, "-", "t", "")));
    EXPECT_FALSE(Compiles(nested(CExpression::kMaxNesting, "-", "t", "")));
    EXPECT_FALSE(Compiles(nested(100000, "(", "1", ")")));
    EXPECT_FALSE(Compiles(nested(100000, "-", "t", "")));
    EXPECT_FALSE(Compiles(nested(100000, "t?", "1", ":2")));
    EXPECT_FALSE(Compiles(nested(100000, "t ? 1 : ", "1", "")));
    EXPECT_FALSE(Compiles(nested(100000, "sin(", "t", ")")));
    EXPECT_FALSE(Compiles(nested(100000, "1||1^^1&&1|1^1&1==1<1<<1+1*(", "t", ")")));
    // A long flat sum builds a tall left-leaning tree: past the height limit
    // it fails, so evaluation cannot recurse without bound either.
    std::string sum = "t";
    for (int i = 0; i < 100000; ++i)
        sum += "+t";
    EXPECT_FALSE(Compiles(sum));
    // Just under the height limit it compiles and evaluates (under the
    // sanitizers too, whose frames are larger).
    std::string tallSum = "t";
    for (int i = 1; i < CExpression::kMaxHeight; ++i)
        tallSum += "+t";
    CExpression e;
    ASSERT_TRUE(e.Compile(tallSum.c_str()));
    e.SetTime(1);
    EXPECT_EQ(e.Evaluate(), CExpression::kMaxHeight);
    EXPECT_FALSE(Compiles(tallSum + "+t"));
    // Every operator level in turn, parenthesised again and again: fails at
    // the nesting limit long before the stack runs out.
    EXPECT_TRUE(Compiles(nested(60, "1||1^^1&&1|1^1&1==1<1<<1+1*(", "t", ")")));
}

TEST(ExpressionTest, ConstantSubtreesGiveTheSameValues)
{
    // Folded at compile time and evaluated at run time must agree.
    CExpression folded, live;
    ASSERT_TRUE(folded.Compile("sin(0.5) * 3 + (7 >> 1) - pow(2, 0.5) % 1"));
    ASSERT_TRUE(live.Compile("sin(t) * 3 + (7 >> 1) - pow(2, t) % 1"));
    live.SetTime(0.5);
    EXPECT_EQ(folded.Evaluate(), live.Evaluate());
}

}  // namespace

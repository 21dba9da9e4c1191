// Motion expressions: the small C-like language a dive manifest uses to write
// the diver's path as three functions of time.
//
// The dataset loader compiles one text per coordinate, checks how many
// variables it reads, then alternates SetTime and Evaluate for every time
// step. A CExpression owns its compiled node tree and its variable table;
// nodes read variables through references into that table, so new values need
// no recompilation, and evaluation allocates nothing.
//
// Values are doubles. Bitwise operators and shifts work on the values cut to
// 32-bit signed integers (toward zero, then modulo 2^32, so out-of-range and
// non-finite values are well defined). Comparisons and logical operators give
// 1 or 0. Texts nested deeper than kMaxNesting (counting parentheses, calls,
// conditionals, prefix operators and each step to a tighter binary operator),
// or whose tree would be taller than kMaxHeight, fail to compile, so neither
// compiling nor evaluating can exhaust the stack.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <string_view>

struct ExprNode;

class CExpression {
public:
    static constexpr int kMaxNesting = 1000;  // recursive steps of the parser
    static constexpr int kMaxHeight = 4096;   // levels of the compiled tree

    CExpression();
    ~CExpression();
    CExpression(const CExpression&) = delete;
    CExpression& operator=(const CExpression&) = delete;

    // Replaces the tree and empties the variables; false on any syntax error or
    // leftover text, leaving no tree (variables met before the error may stay).
    bool Compile(const char* text);
    // Value of the compiled text with the variables' current values; 0 without a tree.
    double Evaluate() const;
    // Number of distinct variable names in the last compiled text.
    size_t VariableCount() const { return variables.size(); }
    // Stores t into the variable "t"; false when the text has no such variable.
    bool SetTime(double t);
    // Stores a value into any variable; false when the text has no such variable.
    bool SetVariable(std::string_view name, double value);
    // True after a successful Compile.
    bool IsCompiled() const { return root != nullptr; }

private:
    std::unique_ptr<ExprNode> root;          // compiled tree, empty before a successful compile
    std::map<std::string, double, std::less<>> variables; // name -> value; nodes keep references to the values
    double* time_variable = nullptr;         // the entry of "t", found once per compile
};

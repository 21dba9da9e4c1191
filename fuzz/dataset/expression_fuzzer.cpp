// Compiles any text as a motion expression and evaluates it at a few times.
#include "dataset/expression.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string text(reinterpret_cast<const char*>(data), size);
    CExpression e;
    if (!e.Compile(text.c_str()))
        return 0;
    volatile double sink = e.Evaluate();
    for (double t : {-1.5, 0.0, 1.0, 1e9}) {
        e.SetTime(t);
        e.SetVariable("x", t * 0.5);
        sink = e.Evaluate();
    }
    (void)sink;
    return 0;
}

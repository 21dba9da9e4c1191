// Parser of shader configuration strings: stage blocks such as
// "vertex {\n\tv_pos: 0;\n\tv_tex: 2;\n}\n" that fix vertex-attribute
// locations before a program is linked.
//
// `Configure_Program` (shader_program.h) parses with this and binds what it
// returns; the parser itself is plain C++, tested and fuzzed without GL.
// Only "vertex" blocks have an effect; "geometry", "fragment",
// "tesselation-control" and "tesselation-evaluation" blocks are checked for
// syntax and ignored. Comments (// and /* */) are allowed.
#pragma once

#include <string>
#include <vector>

// One "name: location;" entry of a vertex block.
struct TAttributeBinding {
    std::string name;
    unsigned location = 0;
};

// Parses the zero-terminated `text`. Warnings, and on a syntax error the
// error line, are appended to `log`; the bindings of the vertex entries read
// before any error are appended to `bindings` in text order. Returns false on
// a syntax error or when memory runs out (then without a message).
bool Parse_ShaderConfig(const char* text, std::string& log, std::vector<TAttributeBinding>& bindings);

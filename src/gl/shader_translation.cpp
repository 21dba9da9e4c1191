#include "gl/shader_translation.h"

#include <cctype>
#include <climits>
#include <cstring>
#include <new>
#include <stdexcept>

namespace {

bool IsSpace(char c)
{
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

bool IsAlnum(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) != 0;
}

// One "%d" conversion: leading white space, optional sign, digits.
bool ScanInt(const char*& p, int& value)
{
    const char* q = p;
    while (IsSpace(*q))
        ++q;
    bool negative = false;
    if (*q == '+' || *q == '-')
        negative = *q++ == '-';
    if (!std::isdigit(static_cast<unsigned char>(*q)))
        return false;
    long long v = 0;
    for (; std::isdigit(static_cast<unsigned char>(*q)); ++q) {
        if (v <= INT_MAX)
            v = v * 10 + (*q - '0');
    }
    if (negative)
        v = -v;
    value = v > INT_MAX ? INT_MAX : (v < INT_MIN ? INT_MIN : static_cast<int>(v));
    p = q;
    return true;
}

size_t SkipSpace(const std::string& s, size_t i)
{
    while (i < s.size() && IsSpace(s[i]))
        ++i;
    return i;
}

size_t SkipAlnum(const std::string& s, size_t i)
{
    while (i < s.size() && IsAlnum(s[i]))
        ++i;
    return i;
}

const char kHeader330[] =
    "#version 330\r\n"
    "#define texture1D(t,c) texture((t), (c))\r\n"
    "#define texture2D(t,c) texture((t), (c))\r\n"
    "#define texture3D(t,c) texture((t), (c))\r\n";
const char kHeader130[] = "#version 130\r\n";
const char kFragmentLines[] =
    "out vec4 _v_gl_frag_color_;\r\n"
    "#define gl_FragColor _v_gl_frag_color_\r\n"
    "#define varying in\r\n";
const char kVertexLines[] =
    "#define attribute in\r\n"
    "#define varying out\r\n";

}  // namespace

int Scan_Version(const char* text, int& major, int& minor)
{
    if (!text || !ScanInt(text, major))
        return 0;
    if (*text != '.')
        return 1;
    ++text;
    return ScanInt(text, minor) ? 2 : 1;
}

void Enable_Derivatives(std::string& text)
{
    static const char kExtension[] = "GL_OES_standard_derivatives";
    const bool uses = text.find("fwidth") != std::string::npos || text.find("dFdx") != std::string::npos ||
                      text.find("dFdy") != std::string::npos;
    if (!uses || text.find(kExtension) != std::string::npos)
        return;
    // After a "#version" line, which must come first.
    size_t at = 0;
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first != std::string::npos && text.compare(first, 8, "#version") == 0) {
        const size_t end = text.find('\n', first);
        at = end == std::string::npos ? text.size() : end + 1;
        if (end == std::string::npos)
            text += '\n', ++at;
    }
    text.insert(at, std::string("#extension ") + kExtension + " : enable\n");
}

bool Is_ESVersionString(const char* version)
{
    return version && std::strncmp(version, "OpenGL ES ", 10) == 0;
}

const char* Skip_ESPrefix(const char* version)
{
    if (!version)
        return version;
    for (const char* prefix : {"OpenGL ES ", "GLSL ES "})
        if (std::strncmp(version, prefix, std::strlen(prefix)) == 0)
            version += std::strlen(prefix);
    return version;
}

EShaderDialect Choose_ShaderDialect(int gl_major, int gl_minor, int glsl_major, int glsl_minor)
{
    const bool gl33 = gl_major > 3 || (gl_major == 3 && gl_minor >= 3);
    const bool glsl330 = glsl_major > 3 || (glsl_major == 3 && glsl_minor >= 30);
    if (gl33 && glsl330)
        return EShaderDialect::kGLSL330;
    if (glsl_major > 1 || (glsl_major == 1 && glsl_minor >= 30))
        return EShaderDialect::kGLSL130;
    return EShaderDialect::kStripPrecision;
}

int Remove_VersionDirectives(std::string& text)
{
    static const std::string kWord = "version";
    int warnings = 0;
    size_t pos = 0;
    for (;;) {
        const size_t word = text.find(kWord, pos);
        if (word == std::string::npos)
            return warnings;
        const size_t after = word + kWord.size();

        size_t hash = word;
        while (hash > 0 && IsSpace(text[hash - 1]))
            --hash;
        const bool directive = hash > 0 && text[hash - 1] == '#' && after < text.size() && IsSpace(text[after]);
        if (!directive) {
            pos = after;
            continue;
        }
        --hash;

        const size_t number = SkipSpace(text, after);
        if (number == text.size()) {
            // Nothing follows: leave it for the compiler to reject. Resuming
            // behind the word (not behind the '#') keeps the search moving.
            pos = after;
            continue;
        }
        const size_t end = SkipAlnum(text, number);
        if (end < text.size() && text[end] != '\r' && text[end] != '\n')
            ++warnings;
        text.erase(hash, end - hash);
        pos = hash;
    }
}

void Strip_PrecisionStatements(std::string& text)
{
    static const std::string kWord = "precision";
    static const char* const kQualifiers[] = {"lowp", "mediump", "highp"};
    size_t pos = 0;
    for (;;) {
        const size_t start = text.find(kWord, pos);
        if (start == std::string::npos)
            return;

        size_t i = SkipSpace(text, start + kWord.size());
        bool qualified = false;
        for (const char* qualifier : kQualifiers) {
            const size_t length = std::char_traits<char>::length(qualifier);
            if (text.compare(i, length, qualifier) == 0 && i + length < text.size()) {
                i += length;
                qualified = true;
                break;
            }
        }
        if (qualified) {
            i = SkipSpace(text, i);
            i = SkipAlnum(text, i);  // the type, possibly empty
            i = SkipSpace(text, i);
            if (i < text.size() && text[i] == ';') {
                text.erase(start, i + 1 - start);
                pos = start;
                continue;
            }
        }
        pos = start + 1;
    }
}

bool Translate_ShaderText(std::string_view source, bool is_fragment, EShaderDialect dialect,
                          std::string& out, int& version_warnings)
{
    version_warnings = 0;
    try {
        std::string text(source);
        if (dialect == EShaderDialect::kES) {
            if (is_fragment)
                Enable_Derivatives(text);
            out = std::move(text);
            return true;
        }
        if (dialect == EShaderDialect::kStripPrecision) {
            Strip_PrecisionStatements(text);
            out = std::move(text);
            return true;
        }
        version_warnings = Remove_VersionDirectives(text);
        out = dialect == EShaderDialect::kGLSL330 ? kHeader330 : kHeader130;
        out += is_fragment ? kFragmentLines : kVertexLines;
        out += "#line 0\r\n";
        out += text;
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
}

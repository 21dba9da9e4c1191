#include "gl/shader_config.h"

#include <cctype>
#include <cstring>
#include <new>
#include <stdexcept>

namespace {

// Stage names in matching order; the first that prefixes the text wins.
const char* const kStages[] = {"vertex", "geometry", "fragment", "tesselation-control", "tesselation-evaluation"};
constexpr int kVertexStage = 0;

const char kErrorStage[] = "error: unexpected token before stage specifier\n";
const char kErrorOpen[] = "error: unexpected token before '{'\n";
const char kErrorClose[] = "error: unexpected token before '}'\n";
const char kErrorColon[] = "error: unexpected token before ':'\n";
const char kErrorSemicolon[] = "error: unexpected token before ';'\n";
const char kErrorInteger[] = "error: expected integer value after vertex attribute name\n";
const char kWarningNewline[] = "warning: config string: missing the newline at the end\n";
const char kWarningComment[] = "warning: config string: end of commend not found\n";

bool IsSpace(char c)
{
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

bool IsAlpha(char c)
{
    return std::isalpha(static_cast<unsigned char>(c)) != 0;
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsNameChar(char c)
{
    return IsAlpha(c) || IsDigit(c) || c == '_';
}

bool IsValueChar(char c)
{
    return IsNameChar(c) || c == '+' || c == '-' || c == '.';
}

// Line comments first (up to, not including, the line feed), then block
// comments, each unterminated one cutting the rest of the text.
void StripComments(std::string& text, std::string& log)
{
    for (size_t hit = text.find("//"); hit != std::string::npos; hit = text.find("//", hit + 1)) {
        const size_t line_end = text.find('\n', hit);
        if (line_end == std::string::npos) {
            log += kWarningNewline;
            text.erase(hit);
            break;
        }
        text.erase(hit, line_end - hit);
    }
    for (size_t hit = text.find("/*"); hit != std::string::npos; hit = text.find("/*", hit)) {
        const size_t close = text.find("*/", hit + 2);
        if (close == std::string::npos) {
            log += kWarningComment;
            text.erase(hit);
            break;
        }
        text.erase(hit, close + 2 - hit);
    }
}

// A location is a non-empty run of decimal digits that fits GL's unsigned
// type; anything longer would overflow, so it is refused like a sign.
bool ParseLocation(const std::string& text, size_t begin, size_t end, unsigned& location)
{
    if (begin == end)
        return false;
    unsigned long long value = 0;
    for (size_t i = begin; i < end; ++i) {
        if (!IsDigit(text[i]))
            return false;
        value = value * 10 + static_cast<unsigned>(text[i] - '0');
        if (value > 0xffffffffull)
            return false;
    }
    location = static_cast<unsigned>(value);
    return true;
}

// The grammar proper; returns the error line, or null on success.
const char* Parse(const std::string& text, std::vector<TAttributeBinding>& bindings)
{
    const size_t size = text.size();
    size_t pos = 0;
    auto skip_space = [&] {
        while (pos < size && IsSpace(text[pos]))
            ++pos;
    };

    for (;;) {
        skip_space();
        if (pos == size)
            return nullptr;

        int stage = -1;
        for (int i = 0; i < 5; ++i) {
            const size_t length = std::strlen(kStages[i]);
            if (text.compare(pos, length, kStages[i]) == 0) {
                stage = i;
                pos += length;
                break;
            }
        }
        if (stage < 0)
            return kErrorStage;

        skip_space();
        if (pos == size || text[pos] != '{')
            return kErrorOpen;
        ++pos;

        for (;;) {
            skip_space();
            if (pos == size)
                return kErrorClose;
            if (text[pos] == '}') {
                ++pos;
                break;
            }
            if (!IsAlpha(text[pos]) && text[pos] != '_')
                return kErrorClose;

            const size_t name_begin = pos;
            while (pos < size && IsNameChar(text[pos]))
                ++pos;
            const size_t name_end = pos;
            skip_space();
            if (pos == size || text[pos] != ':')
                return kErrorColon;
            ++pos;
            skip_space();
            const size_t value_begin = pos;
            while (pos < size && IsValueChar(text[pos]))
                ++pos;
            const size_t value_end = pos;
            skip_space();
            if (pos == size || text[pos] != ';')
                return kErrorSemicolon;
            ++pos;

            if (stage == kVertexStage) {
                TAttributeBinding binding;
                if (!ParseLocation(text, value_begin, value_end, binding.location))
                    return kErrorInteger;
                binding.name.assign(text, name_begin, name_end - name_begin);
                bindings.push_back(std::move(binding));
            }
        }
    }
}

}  // namespace

bool Parse_ShaderConfig(const char* text, std::string& log, std::vector<TAttributeBinding>& bindings)
{
    try {
        std::string copy(text);
        if (copy.find("//") != std::string::npos || copy.find("/*") != std::string::npos)
            StripComments(copy, log);
        if (const char* error = Parse(copy, bindings)) {
            log += error;
            return false;
        }
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
}

// Feeds arbitrary shader text through the ES-to-desktop rewriting in every
// dialect: it must terminate, and it only ever removes text from the source.
#include "gl/shader_translation.h"

#include <cstdint>
#include <initializer_list>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string source(reinterpret_cast<const char*>(data), size);

    std::string stripped = source;
    Strip_PrecisionStatements(stripped);
    if (stripped.size() > source.size())
        std::abort();

    std::string cleaned = source;
    const int warnings = Remove_VersionDirectives(cleaned);
    if (cleaned.size() > source.size() || warnings < 0)
        std::abort();

    for (EShaderDialect dialect :
         {EShaderDialect::kGLSL330, EShaderDialect::kGLSL130, EShaderDialect::kStripPrecision}) {
        for (bool is_fragment : {false, true}) {
            std::string out;
            int count = 0;
            if (!Translate_ShaderText(source, is_fragment, dialect, out, count))
                std::abort();
        }
    }

    int major = 0, minor = 0;
    Scan_Version(source.c_str(), major, minor);
    return 0;
}

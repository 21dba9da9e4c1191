// Feeds arbitrary bytes to the shader configuration parser. Besides not
// crashing or hanging, a result must agree with its log.
#include "gl/shader_config.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);  // stops at an embedded NUL below
    std::string log;
    std::vector<TAttributeBinding> bindings;
    const bool ok = Parse_ShaderConfig(text.c_str(), log, bindings);

    if (ok && log.find("error: ") != std::string::npos)
        std::abort();
    if (!ok && log.find("error: ") == std::string::npos)
        std::abort();
    for (const TAttributeBinding& binding : bindings) {
        const unsigned char first = static_cast<unsigned char>(binding.name.empty() ? '0' : binding.name[0]);
        if (!std::isalpha(first) && first != '_')
            std::abort();
    }
    return 0;
}

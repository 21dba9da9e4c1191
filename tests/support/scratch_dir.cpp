#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <system_error>

namespace testsupport {

namespace fs = std::filesystem;

ScratchDir::ScratchDir(const std::string& prefix)
{
    std::string pattern = (fs::temp_directory_path() / ("nerelle-" + prefix + "-XXXXXX")).string();
    if (mkdtemp(pattern.data()))
        m_path = pattern;
    else
        ADD_FAILURE() << "cannot make a scratch directory from " << pattern;
}

ScratchDir::~ScratchDir()
{
    std::error_code ignored;
    if (!m_path.empty())
        fs::remove_all(m_path, ignored);
}

}  // namespace testsupport

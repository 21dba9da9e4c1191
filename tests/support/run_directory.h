// Shared helpers of the tests of the program: a private working directory set
// up as the build's run directory.
//
// The program reads its textures, dataset and fonts relative to its working
// directory and writes its key file there. Each test program gets a fresh
// directory holding copies of the committed textures, a link to the dive
// datasets and copies of the fonts, so nothing it writes reaches the source
// or build tree and nothing depends on where the project is cloned.
#pragma once

#include <filesystem>
#include <string>

namespace testsupport {

// Makes `dir` a run directory: textures of data/textures copied into it,
// data/<dataset> linked for every dataset, data/fonts copied from the
// build's run directory when it has them. False when a step fails.
bool MakeRunDirectory(const std::filesystem::path& dir, std::string* why = nullptr);

// A fresh run directory under the temporary directory, made current for the
// rest of the test program and removed at exit. Empty on failure.
std::filesystem::path EnterRunDirectory();

}  // namespace testsupport

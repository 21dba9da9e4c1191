// Why a font's page cache does not read back.
//
// The application builds a font only when its page-0 file is missing, so a
// cache whose page 0 exists but that is otherwise broken (a later page
// missing, a damaged glyph table, pages of two builds) would leave the HUD
// without text for good. The HUD start-up asks this after a failed load and
// rebuilds the cache when it names a reason. Reads the pages through the
// font library's reader; no GL, prints nothing.
#pragma once

#include <string>

// Reads every page of the font named by `pattern` without keeping them.
// Empty when the set reads back whole; otherwise one clause saying why, e.g.
// "page file 'data/fonts/cmunrm01.tga' is missing or unreadable".
std::string DescribePageCacheDamage(const char* pattern);

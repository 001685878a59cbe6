#pragma once
// How many columns of a fixed-width editor a UTF-8 text takes.
#include <cstddef>
#include <string_view>

// Combining marks and other zero-width characters take none, East Asian
// wide and full-width characters (CJK, Hangul, full-width forms, most
// emoji) two, every other character one. A byte that does not start a
// valid UTF-8 sequence counts as one column of its own, as editors show
// it. Line breaks are not treated specially.
size_t DisplayWidth(std::string_view text);

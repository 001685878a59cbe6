#pragma once
// Escaping of the characters that LaTeX gives a meaning of their own, for
// raw data brought in from outside (a text import or a paste the user asks
// to escape). Typed text and the generator's output are never escaped: a
// user who types \textbf{x} means it.
#include <string>
#include <string_view>

// text with \ & % $ # _ { } ~ ^ replaced by \textbackslash{}, \&, \%, \$,
// \#, \_, \{, \}, \textasciitilde{} and \textasciicircum{}; every other byte
// as it is. Already escaped text is escaped again (\& becomes
// \textbackslash{}\&): the input is taken as raw data, never as LaTeX.
std::string EscapeLatexSpecials(std::string_view text);

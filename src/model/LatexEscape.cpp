#include "model/LatexEscape.h"

#include <cstring>

std::string EscapeLatexSpecials(std::string_view text) {
  static constexpr char kSpecials[] = "\\&%$#_{}~^";
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == '\0' || !std::strchr(kSpecials, c)) {
      out += c;
      continue;
    }
    switch (c) {
      case '\\': out += "\\textbackslash{}"; break;
      case '~': out += "\\textasciitilde{}"; break;
      case '^': out += "\\textasciicircum{}"; break;
      default:
        out += '\\';
        out += c;
        break;
    }
  }
  return out;
}

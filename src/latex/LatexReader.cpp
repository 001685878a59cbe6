#include "latex/LatexReader.h"

#include "latex/RowReader.h"
#include "latex/TableBuilder.h"
#include "latex/TableFinder.h"
#include "model/Errors.h"
#include "model/Tables.h"

using namespace LatexRead;

const char* const kNoLatexTable = "No LaTeX table found (tabular, array, longtable or another table environment)";

namespace {

// The rule style is the one most of the table's rules are written in (a
// tie keeps classic); a table that mixes the two is told so, as is a
// \cmidrule trimmed otherwise than booktabs style writes it: trimmed at
// every end but the table's edges.
void ReadRuleStyle(const TReader& reader, int columns, TTable& table, std::vector<std::string>& warnings) {
  const bool booktabs = reader.BooktabsRules > reader.ClassicRules;
  table.Style.Rules = booktabs ? rsBooktabs : rsClassic;
  if (reader.BooktabsRules > 0 && reader.ClassicRules > 0)
    warnings.push_back(FormatStr("The table mixes %d booktabs rules and %d classic rules (\\hline, \\cline, ...): it "
                                 "keeps the %s style, in which all its rules are written.",
                                 reader.BooktabsRules, reader.ClassicRules, booktabs ? "booktabs" : "classic"));
  if (!booktabs) return;
  int differ = 0;
  for (const auto& [range, trim] : reader.CmidruleTrims) {
    const bool left = range.first > 1;
    const bool right = range.second < columns;
    const char* usual = left && right ? "(lr)" : left ? "(l)" : right ? "(r)" : "";
    // Trimming both ends is the habit of many authors; at the table's edge
    // it makes no difference worth a word.
    if (trim != usual && trim != "(lr)" && trim != "(rl)") ++differ;
  }
  if (differ > 0)
    warnings.push_back(FormatStr("%d \\cmidrule trims differ from the usual ones (trimmed at every end but the "
                                 "table's edges): they are written in the usual way.",
                                 differ));
}

}  // namespace

std::vector<std::string> ReadLatexTable(std::string_view text, const TLatexTableSource& source, TTable& table) {
  const std::string& name = source.Environment;
  if (!source.Ended)
    Fail(text, source.Begin,
         FormatStr("this \\begin{%s} has no \\end{%s}", name.c_str(), name.c_str()).c_str());
  const std::string_view body = text.substr(0, source.BodyEnd);
  const TEnvName env = ReadEnvName(body, ReadControl(body, source.Begin).End);
  THeader header;
  size_t unclosed = std::string_view::npos;
  if (!ReadHeader(body, name, env.End, header, &unclosed)) {
    if (unclosed != std::string_view::npos) Fail(text, unclosed, "this { is never closed");
    Fail(text, source.Begin, FormatStr("\\begin{%s} has no column specification", name.c_str()).c_str());
  }
  const TSpec spec =
      ParseSpec(text, body.substr(header.SpecBegin + 1, header.SpecEnd - header.SpecBegin - 2), header.SpecBegin);
  TTableBuilder builder(text, source.Begin, spec, table);
  TReader reader(text, source.BodyEnd, builder);
  reader.Read(header.SpecEnd);
  // The style decides where the rules go, so it comes before them.
  table.Style.Rules = reader.BooktabsRules > reader.ClassicRules ? rsBooktabs : rsClassic;
  std::vector<std::string> built = builder.Finish(header, reader.Rules, reader.SimplifiedRows);
  ReadRuleStyle(reader, table.ColCount(), table, built);
  ReadFloat(text, source.Begin, ReadEnvName(text, ReadControl(text, source.BodyEnd).End).End, table.Style.Float);
  return built;
}

std::vector<std::string> ReadLatexTable(std::string_view text, TTable& table, size_t index) {
  const std::vector<TLatexTableSource> tables = FindLatexTables(text);
  if (tables.empty()) throw EQuiltorError(kNoLatexTable);
  if (index >= tables.size())
    throw EQuiltorError(FormatStr("There is no table %zu: the text holds %zu table%s", index + 1, tables.size(),
                                  tables.size() == 1 ? "" : "s"));
  return ReadLatexTable(text, tables[index], table);
}

// Overnight CSV files and Holidays.csv: the input as one line of cells, its cells as numbers, and the input
// as a whole file loaded into a table whose every cell is then looked up. A table that loaded must save to a
// file that loads back to the same table.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "marketdata/FileData.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tarnwell;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (const std::string& cell : SplitCsvLine(text)) {
    (void)ParseCellDouble(cell);
    (void)ParseCellInteger(cell);
  }

  const fuzz::MemoryFile file(data, size);
  TTwoDArray table;
  try {
    table.LoadFromFile(file.Path());
  } catch (const EFileDataError&) {
    fuzz::Require(table.Rows().empty() && table.Columns().size() == 1,
                  "a refused file leaves the table empty");
    return 0;
  }
  fuzz::Require(!table.Columns().empty(), "a table always has the row key column");
  for (const std::string& row : table.Rows()) {
    fuzz::Require(table.HasRow(row), "every row read can be found");
    for (const std::string& column : table.Columns()) (void)table.GetCell(column, row);
  }

  const fuzz::MemoryFile saved(nullptr, 0);
  table.SaveToFile(saved.Path());
  TTwoDArray again;
  again.LoadFromFile(saved.Path());
  fuzz::Require(again.Columns() == table.Columns() && again.Rows() == table.Rows(),
                "a saved table loads back with the same columns and rows");
  for (const std::string& row : table.Rows()) {
    for (const std::string& column : table.Columns()) {
      fuzz::Require(again.GetCell(column, row) == table.GetCell(column, row),
                    "a saved table keeps its cells");
    }
  }
  return 0;
}

// Parses arbitrary table text and reads every cell as text, integer and boolean. Only the
// product's own errors are expected; anything else (a crash, a sanitizer report, another
// exception) is a finding. Also checks that the written-back text and a copy reproduce the
// table exactly.
//
// Input: byte 0 chooses the table's settings, the rest is the text as UTF-16LE.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "package/data_table.h"
#include "platform/errors.h"

namespace {

using tvdata::TColumnSet;
using tvdata::TDataTable;
using tvdata::TRow;

std::vector<platform::Text> Stored(const TRow& row) {
  std::vector<platform::Text> out;
  for (std::int32_t i = 0; i < row.ItemCount(); ++i) out.push_back(row.Items(i).StoredText());
  return out;
}

bool SameCells(const TDataTable& a, const TDataTable& b, bool with_header) {
  if (a.ItemCount() != b.ItemCount()) return false;
  if (with_header && Stored(a.PropertyRow()) != Stored(b.PropertyRow())) return false;
  for (std::int32_t i = 0; i < a.ItemCount(); ++i) {
    if (Stored(a.Items(i)) != Stored(b.Items(i))) return false;
  }
  return true;
}

TColumnSet ConvertSet(std::uint8_t choice) {
  switch (choice & 3) {
    case 0: return TColumnSet{};
    case 1: return TColumnSet{1};
    case 2: return TColumnSet{0, 2, 103};
    default: {
      TColumnSet all;
      for (std::int32_t c = 0; c <= TColumnSet::kMaxColumn; ++c) all.Include(c);
      return all;
    }
  }
}

// Converting a cell depends on its text alone, so the first cells of an input reach every path
// of the conversions; converting the rest would only repeat them, and a text that is not a
// number costs a thrown exception (under the sanitizers about a third of an execution's time).
constexpr int kConvertedCells = 16;

void ReadCell(tvdata::TCell& cell, int& conversions_left) {
  const platform::Text text = cell.Text();
  if (text.size() != cell.StoredText().size()) std::abort();  // unescaping keeps the length
  if (conversions_left == 0) return;
  --conversions_left;
  try {
    (void)cell.Value();
  } catch (const platform::EConvertError&) {
  }
  try {
    (void)cell.AsBool();
  } catch (const platform::EConvertError&) {
  }
}

void ReadRow(TRow& row, int& conversions_left) {
  for (std::int32_t i = 0; i < row.ItemCount(); ++i) ReadCell(row.Items(i), conversions_left);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t options = data[0];
  platform::Text text;
  for (std::size_t i = 1; i + 1 < size; i += 2) {
    text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  }

  TDataTable table(u"", ConvertSet(options));
  table.SetIOMode((options & 4) != 0 ? 3 : 2);
  if ((options & 8) != 0) table.SetReserveLFSet(TColumnSet{1});
  table.Init(text);
  if (table.ItemCount() == 0 && table.PropertyRow().ItemCount() == 0) std::abort();

  // Whatever the writer accepts must read back as the same table.
  for (bool with_header : {true, false}) {
    try {
      const platform::Text written = table.ToText(with_header);
      TDataTable reread(u"", ConvertSet(options));
      reread.Init(written);
      if (!SameCells(table, reread, with_header)) std::abort();
    } catch (const platform::EConvertError&) {
    }
  }
  TDataTable copy(u"", TColumnSet{});
  copy.CopyFrom(table, true, 0);
  if (!SameCells(table, copy, true)) std::abort();

  int conversions_left = kConvertedCells;
  ReadRow(table.PropertyRow(), conversions_left);
  for (std::int32_t i = 0; i < table.ItemCount(); ++i) ReadRow(table.Items(i), conversions_left);

  // A text without control characters (which a converted column turns into spaces) reads back
  // exactly as written, converted column or not.
  if (table.ItemCount() > 0 && table.Items(0).ItemCount() > 1) {
    tvdata::TCell& cell = table.Items(0).Items(1);
    cell.SetText(text);
    bool plain = true;
    for (char16_t c : text) plain = plain && c >= 0x20;
    if (plain && cell.Text() != text) std::abort();
  }
  return 0;
}

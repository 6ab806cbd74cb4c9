#include "package/data_table.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/text.h"

namespace tvdata {
namespace {

using platform::EConvertError;
using platform::ERangeError;
using Cells = std::vector<Text>;
using Rows = std::vector<Cells>;

std::string U8(const Text& t) { return platform::TextToUtf8(t); }

Cells StoredCells(const TRow& row) {
  Cells out;
  for (std::int32_t i = 0; i < row.ItemCount(); ++i) out.push_back(row.Items(i).StoredText());
  return out;
}

Rows StoredRows(const TDataTable& table) {
  Rows out;
  for (std::int32_t i = 0; i < table.ItemCount(); ++i) out.push_back(StoredCells(table.Items(i)));
  return out;
}

std::unique_ptr<TRow> MakeRow(TextView text) {
  auto row = std::make_unique<TRow>();
  row->Init(text, u',');
  return row;
}

const Cells kTenEmpty(10, Text());

// --- Parsing ---------------------------------------------------------------------------------

struct ParseCase {
  const char* name;
  Text text;
  std::optional<Cells> header;  // nullopt: the property row keeps its ten empty cells
  Rows rows;
};

class ParseTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseTest, GivesPropertyRowAndRows) {
  const ParseCase& c = GetParam();
  TDataTable table(u"", TColumnSet{1});
  table.Init(c.text);
  EXPECT_EQ(StoredCells(table.PropertyRow()), c.header.value_or(kTenEmpty));
  EXPECT_EQ(StoredRows(table), c.rows);
  for (std::int32_t i = 0; i < table.ItemCount(); ++i) {
    EXPECT_EQ(table.Items(i).Id(), i + 1);
    EXPECT_EQ(table.Items(i).GetIndex(), i);
    EXPECT_EQ(table.Items(i).Parent(), &table);
  }
}

INSTANTIATE_TEST_SUITE_P(
    TableText, ParseTest,
    ::testing::Values(ParseCase{"Empty", u"", std::nullopt, {{u""}}},
                      ParseCase{"CellsAndRows", u"a,b|c", std::nullopt, {{u"a", u"b"}, {u"c"}}},
                      ParseCase{"TrailingComma", u"a,", std::nullopt, {{u"a", u""}}},
                      ParseCase{"TrailingBar", u"a|", std::nullopt, {{u"a"}, {u""}}},
                      ParseCase{"OnlyBar", u"|", std::nullopt, {{u""}, {u""}}},
                      ParseCase{"Header", u"#p,q#a,b", Cells{u"p", u"q"}, {{u"a", u"b"}}},
                      ParseCase{"HeaderOnly", u"#p#", Cells{u"p"}, {}},
                      ParseCase{"EmptyHeaderOnly", u"##", Cells{u""}, {}},
                      ParseCase{"EmptyHeaderThenRow", u"##a", Cells{u""}, {{u"a"}}},
                      ParseCase{"NoSecondHash", u"#a,b", std::nullopt, {{u"#a", u"b"}}},
                      ParseCase{"HashInsideData", u"#h#a#,|#", Cells{u"h"}, {{u"a#", u""}, {u"#"}}},
                      ParseCase{"NothingTrimmedOrQuoted",
                                u" a ,\"b\r\n\\,c",
                                std::nullopt,
                                {{u" a ", u"\"b\r\n\\", u"c"}}},
                      ParseCase{"StopsAtNul", Text(u"a,b\0,c|d", 8), std::nullopt, {{u"a", u"b"}}},
                      ParseCase{"LeadingNul", Text(u"\0a", 2), std::nullopt, {{u""}}},
                      // The text ends at U+0000, so a header followed by it has no rows, and a "#"
                      // after it cannot close a header.
                      ParseCase{"NulAfterHeader", Text(u"#p#\0x", 5), Cells{u"p"}, {}},
                      ParseCase{"HashOnlyAfterNul", Text(u"#p\0#q", 5), std::nullopt, {{u"#p"}}},
                      ParseCase{"EscapesStoredAsGiven",
                                u"x,1\x1A"
                                u"2|\x1B",
                                std::nullopt,
                                {{u"x",
                                  u"1\x1A"
                                  u"2"},
                                 {u"\x1B"}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DataTableInit, ReplacesRowsKeepsHeaderWithoutOneAndRestartsIds) {
  TDataTable table(u"key", TColumnSet{});
  table.Init(u"#p,q#a|b|c");
  table.Init(u"d,e");
  EXPECT_EQ(StoredCells(table.PropertyRow()), (Cells{u"p", u"q"}));
  EXPECT_EQ(StoredRows(table), (Rows{{u"d", u"e"}}));
  EXPECT_EQ(table.Items(0).Id(), 1);
  // Parsing a cell's own text is safe although Init frees that cell first.
  table.Init(table.Items(0).Items(0).StoredText());
  EXPECT_EQ(StoredRows(table), (Rows{{u"d"}}));
  table.Items(0).Init(table.Items(0).Items(0).StoredText(), u',');
  EXPECT_EQ(StoredCells(table.Items(0)), (Cells{u"d"}));
}

TEST(DataTableInit, ManifestWithTooFewCellsFailsOnAccess) {
  // What an envelope that cannot be opened gives: the empty text, one row of one empty cell.
  TDataTable table(u"", TColumnSet{1});
  table.Init(u"");
  ASSERT_EQ(table.ItemCount(), 1);
  EXPECT_EQ(table.Items(0).Items(0).Value(), 0);
  try {
    table.Items(0).Items(3);
    FAIL() << "no range error";
  } catch (const ERangeError& e) {
    EXPECT_STREQ(e.what(), "List index out of bounds (3)");
  }
  EXPECT_THROW(table.Items(1), ERangeError);
  EXPECT_THROW(table.Items(-1), ERangeError);
  EXPECT_THROW(table.PropertyRow().Items(10), ERangeError);
  TDataTables tables;
  EXPECT_THROW(tables.Items(0), ERangeError);
}

// --- Converted columns -----------------------------------------------------------------------

TEST(ColumnSet, HoldsColumnsZeroTo103AsThirteenBytes) {
  TColumnSet set{0, 9, 103};
  EXPECT_EQ(set.Bytes()[0], 0x01);
  EXPECT_EQ(set.Bytes()[1], 0x02);
  EXPECT_EQ(set.Bytes()[12], 0x80);
  EXPECT_TRUE(set.Contains(9));
  EXPECT_FALSE(set.Contains(8));
  for (std::int32_t outside : {-1, 104, 1000}) {
    EXPECT_FALSE(set.Contains(outside));
    EXPECT_THROW(set.Include(outside), ERangeError);
  }
  set.Exclude(9);
  set.Exclude(104);
  EXPECT_FALSE(set.Contains(9));
  EXPECT_FALSE(TColumnSet{}.Contains(0));
  EXPECT_TRUE(TColumnSet{}.Empty());
}

TEST(CellText, ReadingUnescapesOnlyConvertedColumnsOfRowsInATable) {
  TDataTable table(u"", TColumnSet{1, 103});
  table.Init(
      u"#\x1A,h\x1B#\x1A,1\x1A"
      u"2\x1B"
      u"3,\x1A");
  const TRow& row = table.Items(0);
  EXPECT_EQ(row.Items(0).Text(), u"\x1A");
  EXPECT_EQ(row.Items(1).Text(), u"1,2|3");
  EXPECT_EQ(row.Items(1).StoredText(),
            u"1\x1A"
            u"2\x1B"
            u"3");
  EXPECT_EQ(row.Items(2).Text(), u"\x1A");
  // The header follows the same rule by column index.
  EXPECT_EQ(table.PropertyRow().Items(0).Text(), u"\x1A");
  EXPECT_EQ(table.PropertyRow().Items(1).Text(), u"h|");

  // Column 103 is the last that can be converted; 104 never is.
  Text wide;
  for (int i = 0; i < 105; ++i) wide += Text(i ? u"," : u"") + u"\x1A";
  table.Init(wide);
  EXPECT_EQ(table.Items(0).Items(103).Text(), u",");
  EXPECT_EQ(table.Items(0).Items(104).Text(), u"\x1A");

  // A row outside a table converts nothing.
  auto loose = MakeRow(u"a,b\x1A");
  EXPECT_EQ(loose->Items(1).Text(), u"b\x1A");
}

struct WriteCase {
  const char* name;
  Text value;
  Text stored;
  bool reserve_lf = false;
  std::int32_t io_mode = 2;
};

class CellWriteTest : public ::testing::TestWithParam<WriteCase> {};

TEST_P(CellWriteTest, CleansAndEscapesConvertedColumn) {
  const WriteCase& c = GetParam();
  TDataTable table(u"", TColumnSet{1});
  table.Init(u"a,b,c");
  if (c.reserve_lf) table.SetReserveLFSet(TColumnSet{1});
  table.SetIOMode(c.io_mode);
  TCell& cell = table.Items(0).Items(1);
  cell.SetText(c.value);
  EXPECT_EQ(cell.StoredText(), c.stored);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CellWriteTest,
    ::testing::Values(WriteCase{"Separators", u"p,q|r", u"p\x1Aq\x1Br"},
                      WriteCase{"BreaksBecomeSpaces", u"a\tb\nc\rd", u"a b c d"},
                      WriteCase{"BreaksKeptInReserveLFColumn", u"a\tb\nc\rd", u"a\tb\nc\rd", true},
                      WriteCase{"BreaksKeptWithIOModeBit0", u"a\tb\nc\rd", u"a\tb\nc\rd", false, 3},
                      WriteCase{"OtherControlsBecomeSpaces", u"\x01\x08\x0B\x0C\x0E\x1A\x1B\x1F!",
                                u"        !", true, 3},
                      WriteCase{"CutAtNul", Text(u"ab\0cd", 5), u"ab"},
                      WriteCase{"NonAsciiKept", u"\u00e9\u4e2d\U0001F600",
                                u"\u00e9\u4e2d\U0001F600"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CellText, WritingRoundTripsAndLeavesOtherColumnsAlone) {
  TDataTable table(u"", TColumnSet{1});
  table.Init(u"a,b");
  TRow& row = table.Items(0);
  row.Items(1).SetText(u"p,q|r");
  EXPECT_EQ(row.Items(1).Text(), u"p,q|r");
  row.Items(0).SetText(u"x,\ty");  // not converted: stored as given
  EXPECT_EQ(row.Items(0).StoredText(), u"x,\ty");
  auto loose = MakeRow(u"a,b");
  loose->Items(1).SetText(u"x,\ty");
  EXPECT_EQ(loose->Items(1).StoredText(), u"x,\ty");
}

// --- Value and AsBool ------------------------------------------------------------------------

struct ValueCase {
  Text text;
  std::optional<std::int32_t> value;  // nullopt: conversion error
};

TEST(CellValue, ReadsIntegersAndRejectsEverythingElse) {
  const std::vector<ValueCase> cases = {
      {u"0", 0},
      {u"12", 12},
      {u" 12", 12},
      {u"   -7", -7},
      {u"+7", 7},
      {u"007", 7},
      {u"2147483647", 2147483647},
      {u"-2147483648", INT32_MIN},
      {u"$1F", 31},
      {u"0x10", 16},
      {u"0X10", 16},
      {u"x1f", 31},
      {u"X1F", 31},
      {u"$FFFFFFFF", -1},
      {u"$80000000", INT32_MIN},
      {u"-$10", -16},
      {u"$000000001", 1},
      {u"12 ", std::nullopt},
      {u"2147483648", std::nullopt},
      {u"-2147483649", std::nullopt},
      {u"$100000000", std::nullopt},
      {u"$", std::nullopt},
      {u"0x", std::nullopt},
      {u"-", std::nullopt},
      {u" ", std::nullopt},
      {u"- 1", std::nullopt},
      {u"1.5", std::nullopt},
      {u"abc", std::nullopt},
      {u"$G", std::nullopt},
      {u"\uFF11", std::nullopt},
      {u"++1", std::nullopt},
      {u"0x-1", std::nullopt},
  };
  for (const ValueCase& c : cases) {
    SCOPED_TRACE(U8(c.text));
    TRow row;
    row.Init(c.text, u'|');
    TCell& cell = row.Items(0);
    if (c.value) {
      EXPECT_EQ(cell.Value(), *c.value);
    } else {
      EXPECT_THROW(cell.Value(), EConvertError);
      EXPECT_EQ(cell.StoredText(), c.text);  // the cell keeps its text
    }
  }
}

TEST(CellValue, EmptyCellReadsZeroAndKeepsIt) {
  TRow row;
  row.Init(u",", u',');
  int reports = 0;
  row.SetOnDataChanged([&](TRow&, TDataTableChangeMode, TCell*) { ++reports; });
  EXPECT_EQ(row.Items(0).Value(), 0);
  EXPECT_EQ(row.Items(0).StoredText(), u"0");
  EXPECT_FALSE(row.Items(1).AsBool());
  EXPECT_EQ(row.Items(1).StoredText(), u"0");
  EXPECT_EQ(reports, 0);
  try {
    row.Init(u"12 ", u',');
    row.Items(0).Value();
    FAIL() << "no conversion error";
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'12 ' is not a valid integer value");
  }
}

TEST(CellAsBool, ReadsNumbersAndTrueFalse) {
  const std::vector<std::pair<Text, std::optional<bool>>> cases = {
      {u"1", true},
      {u"-1", true},
      {u"true", true},
      {u"TRUE", true},
      {u"tRuE", true},
      {u"2.5", true},
      {u"0.001", true},
      {u".5", true},
      {u"1e3", true},
      {u" 3", true},
      {u"0", false},
      {u"False", false},
      {u"-0", false},
      {u"0.0", false},
      {u"0e5", false},
      {u"", false},
      {u"yes", std::nullopt},
      {u".", std::nullopt},
      {u"1e", std::nullopt},
      {u"1 ", std::nullopt},
      {u" true", std::nullopt},
      {u"$1", std::nullopt},
      {u"truex", std::nullopt},
      {u"1.2.3", std::nullopt},
  };
  for (const auto& [text, expected] : cases) {
    SCOPED_TRACE(U8(text));
    TRow row;
    row.Init(text, u'|');
    if (expected) {
      EXPECT_EQ(row.Items(0).AsBool(), *expected);
    } else {
      EXPECT_THROW(row.Items(0).AsBool(), EConvertError);
    }
  }
}

// --- Change notification ---------------------------------------------------------------------

// Collects every report of rows, tables and lists as one readable line each, in call order.
struct Recorder {
  std::vector<std::string> log;

  static std::string Row(const TRow* row) {
    if (row == nullptr) return "-";
    return row->IsProp() ? "prop" : "r" + std::to_string(row->Id());
  }
  static std::string Cell(const TCell* cell) {
    return cell == nullptr ? "-" : "c" + std::to_string(cell->GetIndex());
  }
  static std::string Table(const TDataTable* table) {
    return table == nullptr ? "-" : U8(table->Key());
  }

  void Watch(TRow& row) {
    row.SetOnDataChanged([this](TRow& sender, TDataTableChangeMode mode, TCell* cell) {
      log.push_back("row " + Row(&sender) + " " + std::to_string(mode) + " " + Cell(cell));
    });
  }
  void Watch(TDataTable& table) {
    table.SetOnDataChanged([this](TDataTable& sender, TDataTableChangeMode mode, TRow* row,
                                  TCell* cell, std::int32_t d1, std::int32_t d2) {
      log.push_back("table " + Table(&sender) + " " + std::to_string(mode) + " " + Row(row) + " " +
                    Cell(cell) + " " + std::to_string(d1) + " " + std::to_string(d2));
    });
    table.SetOnRowIndexChanged([this](TDataTable& sender, std::int32_t index) {
      log.push_back("index " + Table(&sender) + " " + std::to_string(index));
    });
  }
  void Watch(TDataTables& tables) {
    tables.SetOnDataChanged([this](TDataTables&, TDataTableChangeMode mode, std::int32_t count,
                                   TDataTable* table, std::int32_t index) {
      log.push_back("list " + std::to_string(mode) + " " + std::to_string(count) + " " +
                    Table(table) + " " + std::to_string(index));
    });
  }
  std::vector<std::string> Take() { return std::exchange(log, {}); }
};

using Log = std::vector<std::string>;

TEST(ChangeNotification, InitReportsOnceAndMarksWhatItCreated) {
  TDataTables tables;
  tables.AddItem(std::make_unique<TDataTable>(u"t0", TColumnSet{}));
  TDataTable& table = tables.AddItem(std::make_unique<TDataTable>(u"t1", TColumnSet{1}));
  Recorder rec;
  rec.Watch(tables);
  rec.Watch(table);
  rec.Watch(table.PropertyRow());

  table.Init(u"a|b");
  EXPECT_EQ(rec.Take(), (Log{"table t1 16 - - -1 -1", "list 16 1 t1 1"}));
  EXPECT_TRUE(table.DataChanged());
  EXPECT_TRUE(table.Items(0).DataChanged());
  EXPECT_TRUE(table.Items(1).DataChanged());
  EXPECT_FALSE(table.PropertyRow().DataChanged());

  table.Init(u"#p#");  // the header's row report is held back by the table's update
  EXPECT_EQ(rec.Take(), (Log{"row prop 9 -", "table t1 16 - - -1 -1", "list 16 1 t1 1"}));
  EXPECT_TRUE(table.PropertyRow().DataChanged());
}

TEST(ChangeNotification, EditsTravelFromRowToTableToList) {
  TDataTables tables;
  TDataTable& table = tables.AddItem(std::make_unique<TDataTable>(u"t", TColumnSet{1}));
  table.Init(u"a,b|c");
  Recorder rec;
  rec.Watch(tables);
  rec.Watch(table);
  rec.Watch(table.Items(0));
  rec.Watch(table.PropertyRow());
  TRow& row = table.Items(0);

  row.Items(1).SetText(u"x");
  row.Items(1).SetText(u"x");  // unchanged: nothing
  row.Items(1).SetValue(7);
  row.Items(1).SetValue(7);  // unchanged: nothing
  row.Items(1).SetAsBool(true);
  row.Items(1).SetText(u"-1");  // what AsBool stored: nothing
  row.AddItem(42);
  EXPECT_EQ(rec.Take(),
            (Log{"row r1 6 c1", "table t 6 r1 c1 -1 -1", "list 6 1 t 0", "row r1 6 c1",
                 "table t 6 r1 c1 -1 -1", "list 6 1 t 0", "row r1 6 c1", "table t 6 r1 c1 -1 -1",
                 "list 6 1 t 0", "row r1 5 c2", "table t 5 r1 c2 -1 -1", "list 5 1 t 0"}));
  EXPECT_EQ(row.Items(1).StoredText(), u"-1");
  EXPECT_EQ(row.Items(2).StoredText(), u"42");

  // A cleaned value equal to the stored text changes nothing.
  row.Items(1).SetText(u"a b");
  rec.Take();
  row.Items(1).SetText(u"a\tb");
  EXPECT_TRUE(rec.Take().empty());

  // The table hears of the property row as a property change; the row itself does not.
  table.SetName(u"name");
  table.SetValue(5);
  EXPECT_EQ(rec.Take(), (Log{"row prop 6 c0", "table t 4 prop c0 -1 -1", "list 4 1 t 0",
                             "row prop 6 c1", "table t 4 prop c1 -1 -1", "list 4 1 t 0"}));
  EXPECT_EQ(table.Name(), u"name");
  EXPECT_EQ(table.Value(), 5);

  row.Clear();
  row.Clear();  // nothing left to remove: nothing
  EXPECT_EQ(rec.Take(), (Log{"row r1 10 -", "table t 10 r1 - -1 -1", "list 10 1 t 0"}));

  // PreventEvent silences the table's own handler only.
  table.SetPreventEvent(true);
  table.Items(1).Items(0).SetText(u"z");
  EXPECT_EQ(rec.Take(), (Log{"list 6 1 t 0"}));
}

TEST(ChangeNotification, NestedUpdatesReportOnceWithOutermostMode) {
  TDataTables tables;
  TDataTable& table = tables.AddItem(std::make_unique<TDataTable>(u"t", TColumnSet{}));
  table.Init(u"a");
  Recorder rec;
  rec.Watch(tables);
  rec.Watch(table);
  rec.Watch(table.Items(0));

  table.BeginUpdate();
  table.BeginUpdate();
  table.Items(0).Items(0).SetText(u"b");  // the row still reports; the table holds back
  table.AddItem(MakeRow(u"c"));
  table.EndUpdate(cmRowAdd, nullptr, nullptr, 1, 2);
  EXPECT_EQ(rec.Take(), (Log{"row r1 6 c0"}));
  table.EndUpdate(cmLoad, &table.Items(1), nullptr, 3, 4);
  EXPECT_EQ(rec.Take(), (Log{"table t 1 r2 - 3 4", "list 1 1 t 0"}));

  TRow& row = table.Items(0);
  row.BeginUpdate();
  row.Items(0).SetText(u"x");
  row.AddItem(1);
  row.EndUpdate(cmRowInit, nullptr);
  EXPECT_EQ(rec.Take(), (Log{"row r1 9 -", "table t 9 r1 - -1 -1", "list 9 1 t 0"}));

  tables.BeginUpdate();
  row.Items(0).SetText(u"y");
  tables.EndUpdate(cmSort, 2, nullptr, 7);
  EXPECT_EQ(rec.Take(), (Log{"row r1 6 c0", "table t 6 r1 c0 -1 -1", "list 2 2 - 7"}));
}

TEST(ChangeNotification, UnmatchedEndUpdateDoesNotSilenceLaterReports) {
  TDataTables tables;
  TDataTable& table = tables.AddItem(std::make_unique<TDataTable>(u"t", TColumnSet{}));
  table.Init(u"a");
  Recorder rec;
  rec.Watch(tables);
  rec.Watch(table);
  rec.Watch(table.Items(0));
  table.Items(0).EndUpdate(cmRowInit, nullptr);
  table.EndUpdate(cmTableInit, nullptr, nullptr, -1, -1);
  tables.EndUpdate(cmTablesInit, -1, nullptr, -1);
  EXPECT_TRUE(rec.Take().empty());
  table.Items(0).Items(0).SetText(u"b");
  EXPECT_EQ(rec.Take(), (Log{"row r1 6 c0", "table t 6 r1 c0 -1 -1", "list 6 1 t 0"}));
}

TEST(ChangeNotification, TableOperationsReportTheirModes) {
  TDataTable table(u"t", TColumnSet{});
  Recorder rec;
  rec.Watch(table);

  table.Clear();  // no rows: nothing
  table.AddItem(MakeRow(u"a"));
  table.AddItem(table.Items(0));
  EXPECT_EQ(rec.Take(), (Log{"table t 11 r1 - -1 -1", "table t 11 r2 - -1 -1"}));

  table.SetRowIndex(1);
  rec.Take();
  table.Clear();
  EXPECT_EQ(rec.Take(), (Log{"index t -1", "table t 17 - - -1 -1"}));
  EXPECT_EQ(table.RowIndex(), -1);

  table.SetDataChanged(true);
  EXPECT_EQ(rec.Take(), (Log{"table t 3 - - -1 -1"}));
}

TEST(ChangeNotification, SettingDataChangedFalseClearsSilently) {
  TDataTables tables;
  TDataTable& table = tables.AddItem(std::make_unique<TDataTable>(u"t", TColumnSet{}));
  table.Init(u"#h#a|b");
  Recorder rec;
  rec.Watch(tables);
  rec.Watch(table);
  ASSERT_TRUE(tables.DataChanged() && table.DataChanged() && table.Items(1).DataChanged());
  tables.SetDataChanged(false);
  EXPECT_TRUE(rec.Take().empty());
  EXPECT_FALSE(tables.DataChanged());
  EXPECT_FALSE(table.DataChanged());
  EXPECT_FALSE(table.PropertyRow().DataChanged());
  EXPECT_FALSE(table.Items(0).DataChanged());
  EXPECT_FALSE(table.Items(1).DataChanged());
  tables.SetDataChanged(true);
  EXPECT_EQ(rec.Take(), (Log{"list 3 -1 - -1"}));
  EXPECT_TRUE(tables.DataChanged());
}

// --- Row ids, current row and column ---------------------------------------------------------

TEST(RowIds, GrowFromOneAndRestartAfterClear) {
  TDataTable table(u"", TColumnSet{});
  table.Init(u"a|b|c");
  EXPECT_EQ(table.IndexOfId(3), 2);
  EXPECT_EQ(table.IndexOfId(4), -1);
  EXPECT_EQ(table.IndexOfId(0), -1);  // the property row's id is not among the rows
  EXPECT_EQ(table.PropertyRow().Id(), 0);
  EXPECT_EQ(table.AddItem(MakeRow(u"d")).Id(), 4);
  table.Init(u"#h#");
  table.Clear();
  EXPECT_EQ(table.AddItem(MakeRow(u"e")).Id(), 1);
  TRow loose;
  EXPECT_EQ(loose.Id(), -1);
  EXPECT_EQ(loose.GetIndex(), -1);
}

TEST(CurrentRow, MarksOneRowAndReportsChanges) {
  TDataTable table(u"t", TColumnSet{});
  table.Init(u"a,b,c|d");
  Recorder rec;
  rec.Watch(table);
  table.SetRowIndex(1);
  table.SetRowIndex(1);  // unchanged: nothing
  table.SetRowIndex(0);
  EXPECT_TRUE(table.Items(0).IsIndex());
  EXPECT_FALSE(table.Items(1).IsIndex());
  table.SetRowIndex(2);   // the count of rows: none
  table.SetRowIndex(-5);  // already none: nothing
  EXPECT_EQ(rec.Take(), (Log{"index t 1", "index t 0", "index t -1"}));
  EXPECT_FALSE(table.Items(0).IsIndex());
  EXPECT_EQ(table.RowIndex(), -1);

  table.SetColIndex(2);
  EXPECT_EQ(table.ColIndex(), 2);
  table.SetColIndex(3);  // row 0 has three cells
  EXPECT_EQ(table.ColIndex(), -1);
  table.Init(u"#h#");
  table.SetColIndex(0);
  EXPECT_EQ(table.ColIndex(), -1);
}

// --- Copying ---------------------------------------------------------------------------------

TEST(Copying, RowCopiesStoredTexts) {
  TRow empty;
  TRow copy;
  copy.CopyFrom(empty);
  EXPECT_EQ(StoredCells(copy), (Cells{u""}));

  TDataTable table(u"", TColumnSet{1});
  table.Init(u"a,b\x1A,");
  copy.CopyFrom(table.Items(0));
  EXPECT_EQ(StoredCells(copy), (Cells{u"a", u"b\x1A", u""}));
  copy.CopyFrom(copy);
  EXPECT_EQ(StoredCells(copy), (Cells{u"a", u"b\x1A", u""}));
}

TEST(Copying, TableCopyTakesRowsUpToMaxCountAndKeepsItsOwnSettings) {
  TDataTable source(u"src", TColumnSet{0});
  source.Init(u"#p,q#r1|r2|r3|r4|r5");
  TDataTable target(u"dst", TColumnSet{1});
  target.Init(u"#old#x|y|z");

  target.CopyFrom(source, false, 2);
  EXPECT_EQ(StoredRows(target), (Rows{{u"r1"}, {u"r2"}}));
  EXPECT_EQ(StoredCells(target.PropertyRow()), (Cells{u"old"}));
  EXPECT_EQ(target.ConvertSet(), (TColumnSet{1}));
  EXPECT_EQ(target.Key(), u"dst");
  EXPECT_EQ(target.Items(1).Id(), 2);

  Recorder rec;
  rec.Watch(target);
  target.CopyFrom(source, true, 0);
  EXPECT_EQ(rec.Take(), (Log{"table dst 16 - - -1 -1"}));
  EXPECT_EQ(StoredRows(target).size(), 5u);
  EXPECT_EQ(StoredCells(target.PropertyRow()), (Cells{u"p", u"q"}));

  // Copying a table onto itself keeps its rows.
  target.CopyFrom(target, true, 3);
  EXPECT_EQ(StoredRows(target), (Rows{{u"r1"}, {u"r2"}, {u"r3"}}));
  EXPECT_EQ(StoredCells(target.PropertyRow()), (Cells{u"p", u"q"}));
}

TEST(TableList, AddCopyClearAndAssignReport) {
  TDataTable outside(u"out", TColumnSet{1});
  outside.Init(u"#h#a,b\x1A");
  TDataTables tables;
  Recorder rec;
  rec.Watch(tables);

  tables.AddItem(std::make_unique<TDataTable>(u"t0", TColumnSet{}));
  TDataTable& copy = tables.AddItem(outside);
  EXPECT_EQ(rec.Take(), (Log{"list 18 1 t0 0", "list 18 1  1"}));
  EXPECT_EQ(copy.Parent(), &tables);
  EXPECT_EQ(StoredRows(copy), (Rows{{u"a", u"b\x1A"}}));
  EXPECT_EQ(StoredCells(copy.PropertyRow()), kTenEmpty);  // rows only
  EXPECT_TRUE(copy.ConvertSet().Empty());
  EXPECT_EQ(copy.Key(), u"");

  tables.PropertyRow().Init(u"list,prop", u',');
  tables.SetTag(9);
  TDataTables other;
  Recorder other_rec;
  other_rec.Watch(other);
  other.Assign(tables);
  EXPECT_EQ(other_rec.Take(), (Log{"list 21 -1 - -1"}));
  ASSERT_EQ(other.ItemCount(), 2);
  EXPECT_EQ(StoredRows(other.Items(1)), (Rows{{u"a", u"b\x1A"}}));
  EXPECT_EQ(StoredCells(other.PropertyRow()), (Cells{u"list", u"prop"}));
  EXPECT_EQ(other.Tag(), 9);

  other.CopyFrom(other, 1);
  EXPECT_EQ(other_rec.Take(), (Log{"list 21 -1 - -1"}));
  ASSERT_EQ(other.ItemCount(), 1);
  EXPECT_EQ(other.Items(0).Parent(), &other);

  other.Clear();
  other.Clear();
  EXPECT_EQ(other_rec.Take(), (Log{"list 22 -1 - -1"}));

  try {
    other.Assign(outside);
    FAIL() << "no assignment error";
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "Cannot assign a TDataTable to a TDataTables");
  }
  EXPECT_THROW(copy.Assign(outside), EConvertError);
}

TEST(Destruction, ReleasesPropertyRowFirstThenRowsInOrder) {
  std::vector<std::string> released;
  auto tagged = [&](std::string name) {
    return std::shared_ptr<void>(nullptr, [&released, name](void*) { released.push_back(name); });
  };
  {
    TDataTable table(u"", TColumnSet{});
    table.Init(u"a|b");
    table.Items(0).SetIData(tagged("r1"));
    table.Items(1).SetIData(tagged("r2"));
    table.PropertyRow().SetIData(tagged("prop"));
    Recorder rec;
    rec.Watch(table);
  }
  EXPECT_EQ(released, (std::vector<std::string>{"prop", "r1", "r2"}));
}

// --- Writing table text ----------------------------------------------------------------------

TEST(ToText, ReadsBackAsTheSameTable) {
  TDataTable table(u"", TColumnSet{1});
  table.PropertyRow().Init(u"name,3", u',');
  for (const char16_t* dest : {u"", u"sub\\", u"$System$"}) {
    TRow& row = table.AddItem(std::make_unique<TRow>());
    row.Init(Text(dest) + u",,0,0", u',');
    row.Items(1).SetText(u"a,b|c.dll");
  }
  TDataTable read(u"", TColumnSet{1});
  read.Init(table.ToText(true));
  EXPECT_EQ(StoredCells(read.PropertyRow()), (Cells{u"name", u"3"}));
  EXPECT_EQ(StoredRows(read), StoredRows(table));
  EXPECT_EQ(read.Items(2).Items(1).Text(), u"a,b|c.dll");

  TDataTable unheaded(u"", TColumnSet{1});
  unheaded.Init(table.ToText(false));
  EXPECT_EQ(StoredRows(unheaded), StoredRows(table));
  EXPECT_EQ(StoredCells(unheaded.PropertyRow()), kTenEmpty);

  TDataTable header_only(u"", TColumnSet{});
  header_only.Init(u"#p#");
  EXPECT_EQ(header_only.ToText(true), u"#p#");
}

TEST(ToText, RefusesTablesThatWouldReadBackDifferently) {
  struct Case {
    const char* name;
    Text text;  // parsed into a table with converted column 1
    bool include_prop;
    std::function<void(TDataTable&)> edit;
  };
  const std::vector<Case> cases = {
      {"comma in unconverted cell", u"a,b", true,
       [](TDataTable& t) { t.Items(0).Items(0).SetText(u"x,y"); }},
      {"bar in unconverted cell", u"a", false,
       [](TDataTable& t) { t.Items(0).Items(0).SetText(u"x|y"); }},
      {"nul in unconverted cell", u"a", false,
       [](TDataTable& t) { t.Items(0).Items(0).SetText(Text(u"x\0y", 3)); }},
      {"hash in header", u"#p#a", true,
       [](TDataTable& t) { t.PropertyRow().Items(0).SetText(u"p#"); }},
      {"no rows without header", u"#p#", false, nullptr},
      {"single empty row after header", u"", true, nullptr},
      {"unheaded data reading as header", u"x|b#", false,
       [](TDataTable& t) { t.Items(0).Items(0).SetText(u"#a"); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TDataTable table(u"", TColumnSet{1});
    table.Init(c.text);
    if (c.edit) c.edit(table);
    EXPECT_THROW(table.ToText(c.include_prop), EConvertError);
  }
}

}  // namespace
}  // namespace tvdata

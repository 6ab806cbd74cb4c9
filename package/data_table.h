// Unit TvDataTable, namespace tvdata: tables of text cells, parsed from and written to the table
// text that the setup package's manifest uses.
//
// Table text: an optional property header "#p0,p1,...#" (only when the very first character is
// "#" and a second "#" follows), then rows separated by "|", each row cells separated by ",".
// The text ends at its end or at its first U+0000. No quoting and no trimming; a row always has
// at least one cell and row data always gives at least one row. In the table's converted columns
// a "," inside a cell is stored as U+001A and a "|" as U+001B; reading Text() turns them back.
//
// Ownership: a table owns its rows and its property row, a row owns its cells, a list of tables
// owns its tables. Cells, rows and tables never move once created, so the pointers that events
// carry stay valid as long as their owner keeps them.
//
// Change notification: rows, tables and lists of tables have an update counter. BeginUpdate adds
// one, EndUpdate subtracts one and, on reaching 0, reports once with the mode it was given. A
// row's report goes to its own OnDataChanged and then to its table; a table's report goes to its
// OnDataChanged (a report about the property row comes as cmPropChange) and then to its list.
// Handlers run synchronously and must not destroy the object that is reporting.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <vector>

#include "platform/errors.h"
#include "platform/os.h"

namespace tvdata {

using platform::Text;
using platform::TextView;

class TCell;
class TRow;
class TDataTable;
class TDataTables;

// What a change report is about. The numbers are fixed: stored change logs and listeners use them.
enum TDataTableChangeMode : std::int32_t {
  cmNoTrigger = 0,
  cmLoad = 1,
  cmSort = 2,
  cmDirect = 3,
  cmPropChange = 4,
  cmCellAdd = 5,
  cmCellEdit = 6,
  cmCellDeleted = 7,
  cmCellMove = 8,
  cmRowInit = 9,
  cmRowClear = 10,
  cmRowAdd = 11,
  cmRowBatchAdd = 12,
  cmRowDeleted = 13,
  cmRowBatchDeleted = 14,
  cmRowMove = 15,
  cmTableInit = 16,
  cmTableClear = 17,
  cmTableAdd = 18,
  cmTableDeleted = 19,
  cmTableMove = 20,
  cmTablesInit = 21,
  cmTablesClear = 22,
};

// Events. A null pointer stands for "no row", "no cell" or "no table".
using TRowDataChangeEvent =
    std::function<void(TRow& sender, TDataTableChangeMode mode, TCell* cell)>;
using TDataTableDataChangeEvent =
    std::function<void(TDataTable& sender, TDataTableChangeMode mode, TRow* row, TCell* cell,
                       std::int32_t data1, std::int32_t data2)>;
using TDataTablesDataChangeEvent =
    std::function<void(TDataTables& sender, TDataTableChangeMode mode, std::int32_t count,
                       TDataTable* table, std::int32_t index)>;
using TRowIndexChangeEvent = std::function<void(TDataTable& sender, std::int32_t new_index)>;
// Kept for editors that delete rows or tables; nothing in this unit raises them.
using TRowDeletingEvent =
    std::function<void(bool is_delete, TDataTable& sender, TRow* row, std::int32_t index)>;
using TTableDeletingEvent =
    std::function<void(bool is_delete, TDataTables& sender, TDataTable* table, std::int32_t index)>;

// A set of column indexes 0 to 103, kept as 13 bytes: column i is bit (i mod 8) of byte (i div 8).
class TColumnSet {
 public:
  static constexpr std::int32_t kMaxColumn = 103;

  TColumnSet() = default;
  // Throws ERangeError for a column outside 0..103.
  TColumnSet(std::initializer_list<std::int32_t> columns);

  // False for every column outside 0..103.
  bool Contains(std::int32_t column) const;
  // Throws ERangeError for a column outside 0..103.
  void Include(std::int32_t column);
  void Exclude(std::int32_t column);  // no effect outside 0..103
  bool Empty() const;
  const std::array<std::uint8_t, 13>& Bytes() const { return bytes_; }

  friend bool operator==(const TColumnSet&, const TColumnSet&) = default;

 private:
  std::array<std::uint8_t, 13> bytes_{};
};

// Base of the copyable classes. Assign from a source the class does not know raises
// EConvertError "Cannot assign a <source> to a <target>".
class TPersistent {
 public:
  virtual ~TPersistent() = default;
  virtual void Assign(const TPersistent& source);
  virtual const char16_t* ClassName() const = 0;
};

// One text cell. Its stored text is what the table text holds (escaped in converted columns).
class TCell {
 public:
  // A detached cell: the owner's operations add cells to rows, this constructor does not.
  explicit TCell(TRow* owner = nullptr) : parent_(owner) {}
  TCell(const TCell&) = delete;
  TCell& operator=(const TCell&) = delete;

  TRow* Parent() const { return parent_; }
  // Position in the owning row, -1 when the cell is not in a row.
  std::int32_t GetIndex() const { return index_; }

  // The text with the escapes of a converted column turned back into "," and "|".
  platform::Text Text() const;
  // Cleans and escapes the value in a converted column of a row that is in a table (control
  // characters become spaces, the text is cut at U+0000), stores it when it differs and reports
  // cmCellEdit.
  void SetText(TextView value);

  // Decimal, or hexadecimal after "$", "x", "0x" (as a 32-bit pattern); leading spaces and one
  // sign allowed. An empty cell is first given the text "0". Throws EConvertError otherwise.
  std::int32_t Value();
  void SetValue(std::int32_t value);  // stores the decimal text, reports cmCellEdit when changed

  // A number (true when not zero) or "True"/"False" in any letter case. An empty cell is first
  // given the text "0". Throws EConvertError otherwise.
  bool AsBool();
  void SetAsBool(bool value);  // stores "-1" or "0", reports cmCellEdit when changed

  // The text as stored, without any unescaping.
  const platform::Text& StoredText() const { return text_; }

 private:
  friend class TRow;
  void StoreAndReport(platform::Text stored);

  TRow* parent_;
  platform::Text text_;
  std::int32_t index_ = -1;
};

// An ordered list of cells.
class TRow : public TPersistent {
 public:
  // The owner is remembered but the row is not added to it; it must outlive the row until the
  // row is added (TDataTable::AddItem) or destroyed.
  explicit TRow(TDataTable* owner = nullptr) : parent_(owner) {}
  ~TRow() override;
  TRow(const TRow&) = delete;
  TRow& operator=(const TRow&) = delete;
  const char16_t* ClassName() const override { return u"TRow"; }

  TDataTable* Parent() const { return parent_; }
  // Position in the owning table, -1 when the row is not in a table's rows.
  std::int32_t GetIndex() const;
  std::int32_t ItemCount() const { return static_cast<std::int32_t>(items_.size()); }
  // Throws ERangeError for an index outside 0..ItemCount()-1.
  TCell& Items(std::int32_t index);
  const TCell& Items(std::int32_t index) const;

  // Replaces all cells by the pieces of text between split characters (one empty cell for an
  // empty text); scanning stops at U+0000. Reports cmRowInit.
  void Init(TextView text, char16_t split_char = u',');
  // Removes all cells; reports cmRowClear when there were any.
  void Clear();
  // Appends a cell holding the decimal text of value; reports cmCellAdd with the new cell.
  TCell& AddItem(std::int32_t value);
  // Gives this row as many cells as the source (at least one) holding the source's stored
  // texts. Reports cmRowInit.
  void CopyFrom(const TRow& source);

  void BeginUpdate();
  void EndUpdate(TDataTableChangeMode mode, TCell* cell);

  std::int32_t Id() const { return id_; }  // -1 until added to a table; 0 for a property row
  bool IsProp() const { return is_prop_; }
  bool IsIndex() const { return is_index_; }  // marks the table's current row
  std::int32_t Tag() const { return tag_; }
  void SetTag(std::int32_t tag) { tag_ = tag; }
  void* Data() const { return data_; }
  void SetData(void* data) { data_ = data; }
  void* Data2() const { return data2_; }
  void SetData2(void* data) { data2_ = data; }
  // A user reference released when the row is destroyed.
  const std::shared_ptr<void>& IData() const { return idata_; }
  void SetIData(std::shared_ptr<void> data) { idata_ = std::move(data); }
  bool DataChanged() const { return data_changed_; }
  void SetDataChanged(bool changed) { data_changed_ = changed; }
  const TRowDataChangeEvent& OnDataChanged() const { return on_data_changed_; }
  void SetOnDataChanged(TRowDataChangeEvent handler) { on_data_changed_ = std::move(handler); }

 private:
  friend class TCell;
  friend class TDataTable;
  friend class TDataTables;
  void Changed(TDataTableChangeMode mode, TCell* cell);
  TCell& Append(Text stored);

  TDataTable* parent_;
  std::vector<std::unique_ptr<TCell>> items_;
  std::int32_t id_ = -1;
  std::int32_t tag_ = 0;
  bool is_prop_ = false;
  bool is_index_ = false;
  void* data_ = nullptr;
  void* data2_ = nullptr;
  std::shared_ptr<void> idata_;
  std::int32_t update_count_ = 0;
  bool data_changed_ = false;
  TRowDataChangeEvent on_data_changed_;
};

// An ordered list of rows plus one property row (the header of the table text).
class TDataTable : public TPersistent {
 public:
  // The property row starts as ten empty cells; the table has no rows.
  TDataTable(Text key, TColumnSet convert_set);
  ~TDataTable() override;
  TDataTable(const TDataTable&) = delete;
  TDataTable& operator=(const TDataTable&) = delete;
  const char16_t* ClassName() const override { return u"TDataTable"; }

  TDataTables* Parent() const { return parent_; }
  std::int32_t ItemCount() const { return static_cast<std::int32_t>(items_.size()); }
  // Throws ERangeError for an index outside 0..ItemCount()-1.
  TRow& Items(std::int32_t index);
  const TRow& Items(std::int32_t index) const;
  TRow& PropertyRow() { return *property_row_; }
  const TRow& PropertyRow() const { return *property_row_; }
  std::int32_t PropCount() const { return property_row_->ItemCount(); }

  // Replaces all rows (and, when the text has a header, the property row's cells) by the parse
  // of a table text. Never fails on content. Reports cmTableInit once.
  void Init(TextView text);
  // Removes all rows; reports cmTableClear when there were any. Row ids restart at 1 then.
  void Clear();
  // Appends the row itself; it gets this table as parent and the next row id. Reports cmRowAdd.
  // A null row is a caller error (std::invalid_argument).
  TRow& AddItem(std::unique_ptr<TRow> row);
  // Appends a copy of the row (cells' stored texts only). Reports cmRowAdd.
  TRow& AddItem(const TRow& row);
  // Index of the first row with this id, or -1.
  std::int32_t IndexOfId(std::int32_t id) const;
  // Replaces the rows by copies of the source's (the first max_count when max_count > 0) and,
  // with include_prop, the property row too. The key and the converted columns stay this
  // table's. Reports cmTableInit once.
  void CopyFrom(const TDataTable& source, bool include_prop, std::int32_t max_count);

  // The table as table text: "#header#" when include_prop, then the rows, cells as stored.
  // Throws EConvertError when the text would not read back as this table (a cell holding ","
  // "|" or U+0000, a header cell holding "#", no rows without a header, a single empty row
  // with one, or unheaded row data that would read as a header).
  Text ToText(bool include_prop) const;

  void BeginUpdate();
  void EndUpdate(TDataTableChangeMode mode, TRow* row, TCell* cell, std::int32_t data1,
                 std::int32_t data2);

  // Current row: -1 for none. Setting a value outside 0..ItemCount()-1 gives -1; a change is
  // reported through OnRowIndexChanged.
  std::int32_t RowIndex() const { return row_index_; }
  void SetRowIndex(std::int32_t index);
  // Current column: 0..(cell count of row 0)-1, otherwise -1.
  std::int32_t ColIndex() const { return col_index_; }
  void SetColIndex(std::int32_t index);

  // Text of property cell 0 and Value of property cell 1.
  Text Name() const;
  void SetName(TextView name);
  std::int32_t Value();
  void SetValue(std::int32_t value);

  const Text& FileName() const { return file_name_; }
  void SetFileName(TextView name);
  std::int32_t Tag() const { return tag_; }
  void SetTag(std::int32_t tag) { tag_ = tag; }
  void* Data() const { return data_; }
  void SetData(void* data) { data_ = data; }
  void* Data2() const { return data2_; }
  void SetData2(void* data) { data2_ = data; }
  void* Data3() const { return data3_; }
  void SetData3(void* data) { data3_ = data; }
  // Bit 0 set: converted columns keep tab and line-break characters. 2 after construction.
  std::int32_t IOMode() const { return io_mode_; }
  void SetIOMode(std::int32_t mode) { io_mode_ = mode; }
  const Text& Key() const { return key_; }
  void SetKey(TextView key) { key_ = Text(key); }
  const Text& KeyCustom() const { return key_custom_; }
  void SetKeyCustom(TextView key) { key_custom_ = Text(key); }
  const TColumnSet& ConvertSet() const { return convert_set_; }
  // Converted columns that keep tab and line-break characters. Empty after construction.
  const TColumnSet& ReserveLFSet() const { return reserve_lf_set_; }
  void SetReserveLFSet(const TColumnSet& set) { reserve_lf_set_ = set; }
  // Batches of logged edits are not supported; no batch is ever open.
  bool InBatch() const { return false; }
  // When true, OnDataChanged is not called (the flag and the list's report still happen).
  bool PreventEvent() const { return prevent_event_; }
  void SetPreventEvent(bool prevent) { prevent_event_ = prevent; }

  bool DataChanged() const { return data_changed_; }
  // True reports cmDirect; false clears the flag here, on the property row and on every row,
  // silently.
  void SetDataChanged(bool changed);

  const TDataTableDataChangeEvent& OnDataChanged() const { return on_data_changed_; }
  void SetOnDataChanged(TDataTableDataChangeEvent handler) {
    on_data_changed_ = std::move(handler);
  }
  const TRowDeletingEvent& OnRowDeleting() const { return on_row_deleting_; }
  void SetOnRowDeleting(TRowDeletingEvent handler) { on_row_deleting_ = std::move(handler); }
  const TRowIndexChangeEvent& OnRowIndexChanged() const { return on_row_index_changed_; }
  void SetOnRowIndexChanged(TRowIndexChangeEvent handler) {
    on_row_index_changed_ = std::move(handler);
  }

 private:
  friend class TRow;
  friend class TDataTables;
  void Changed(TDataTableChangeMode mode, TRow* row, TCell* cell, std::int32_t data1,
               std::int32_t data2);
  void AddParsedRow(TextView piece);

  TDataTables* parent_ = nullptr;
  void* data_ = nullptr;
  void* data2_ = nullptr;
  void* data3_ = nullptr;
  std::vector<std::unique_ptr<TRow>> items_;
  Text file_name_;
  std::int32_t next_row_id_ = 1;
  std::int32_t tag_ = 0;
  std::unique_ptr<TRow> property_row_;
  std::int32_t update_count_ = 0;
  bool data_changed_ = false;
  std::int32_t row_index_ = -1;
  std::int32_t col_index_ = -1;
  std::int32_t io_mode_ = 2;
  Text key_;
  Text key_custom_;
  TColumnSet convert_set_;
  TColumnSet reserve_lf_set_;
  bool prevent_event_ = false;
  TDataTableDataChangeEvent on_data_changed_;
  TRowDeletingEvent on_row_deleting_;
  TRowIndexChangeEvent on_row_index_changed_;
};

// An ordered list of tables with a property row of its own (ten empty cells when new).
class TDataTables : public TPersistent {
 public:
  TDataTables();
  ~TDataTables() override;
  TDataTables(const TDataTables&) = delete;
  TDataTables& operator=(const TDataTables&) = delete;
  const char16_t* ClassName() const override { return u"TDataTables"; }

  std::int32_t ItemCount() const { return static_cast<std::int32_t>(items_.size()); }
  // Throws ERangeError for an index outside 0..ItemCount()-1.
  TDataTable& Items(std::int32_t index);
  const TDataTable& Items(std::int32_t index) const;
  TRow& PropertyRow() { return *property_row_; }
  const TRow& PropertyRow() const { return *property_row_; }

  // Appends the table itself. Reports cmTableAdd with the new table and its index.
  TDataTable& AddItem(std::unique_ptr<TDataTable> table);
  // Appends a copy of the table's rows in a new table with an empty key and no converted
  // columns. Reports cmTableAdd.
  TDataTable& AddItem(const TDataTable& table);
  // Removes all tables; reports cmTablesClear when there were any.
  void Clear();
  // Replaces the tables by copies of the source's (the first max_count when max_count > 0).
  // Reports cmTablesInit once.
  void CopyFrom(const TDataTables& source, std::int32_t max_count);
  // From another TDataTables: all tables, the property row and the tag, reported once as
  // cmTablesInit. Any other source raises EConvertError.
  void Assign(const TPersistent& source) override;

  void BeginUpdate();
  void EndUpdate(TDataTableChangeMode mode, std::int32_t count, TDataTable* table,
                 std::int32_t index);

  const Text& FileName() const { return file_name_; }
  void SetFileName(TextView name);
  bool IsEncrypt() const { return is_encrypt_; }
  void SetIsEncrypt(bool encrypt) { is_encrypt_ = encrypt; }
  std::int32_t Tag() const { return tag_; }
  void SetTag(std::int32_t tag) { tag_ = tag; }
  bool DataChanged() const { return data_changed_; }
  // True reports cmDirect; false clears the flag here, on the property row and on every table.
  void SetDataChanged(bool changed);

  const TDataTablesDataChangeEvent& OnDataChanged() const { return on_data_changed_; }
  void SetOnDataChanged(TDataTablesDataChangeEvent handler) {
    on_data_changed_ = std::move(handler);
  }
  const TTableDeletingEvent& OnTableDeleting() const { return on_table_deleting_; }
  void SetOnTableDeleting(TTableDeletingEvent handler) { on_table_deleting_ = std::move(handler); }

 private:
  friend class TDataTable;
  void Changed(TDataTableChangeMode mode, std::int32_t count, TDataTable* table,
               std::int32_t index);

  std::vector<std::unique_ptr<TDataTable>> items_;
  Text file_name_;
  bool is_encrypt_ = false;
  std::int32_t tag_ = 0;
  std::unique_ptr<TRow> property_row_;
  bool data_changed_ = false;
  std::int32_t update_count_ = 0;
  TDataTablesDataChangeEvent on_data_changed_;
  TTableDeletingEvent on_table_deleting_;
};

}  // namespace tvdata

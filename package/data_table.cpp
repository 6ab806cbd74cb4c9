#include "package/data_table.h"

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <string>

#include "platform/ascii.h"
#include "platform/text.h"

namespace tvdata {

using platform::EConvertError;
using platform::ERangeError;

namespace {

constexpr char16_t kEscapedComma = 0x1A;
constexpr char16_t kEscapedBar = 0x1B;

// The part of a text before its first U+0000; table texts end there.
TextView UpToNul(TextView text) { return text.substr(0, std::min(text.find(u'\0'), text.size())); }

Text Decimal(std::int64_t value) { return platform::AsciiToText(std::to_string(value)); }

[[noreturn]] void ThrowIndex(std::int32_t index) {
  throw ERangeError(u"List index out of bounds (" + Decimal(index) + u")");
}

template <typename List>
auto& At(List& items, std::int32_t index) {
  if (index < 0 || static_cast<std::size_t>(index) >= items.size()) ThrowIndex(index);
  return *items[static_cast<std::size_t>(index)];
}

// Runs body, then end on every path (end also runs when body throws, and the body's exception
// wins unless end throws too).
template <typename Body, typename End>
void WithUpdate(Body body, End end) {
  try {
    body();
  } catch (...) {
    end();
    throw;
  }
  end();
}

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

int HexDigit(char16_t c) {
  if (IsDigit(c)) return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// Integer syntax of cells: spaces, an optional sign, then decimal digits or hexadecimal digits
// after "$", "x", "X", "0x" or "0X". Hexadecimal is a 32-bit pattern; decimal must fit 32 bits.
bool ParseInt32(TextView s, std::int32_t& out) {
  std::size_t i = 0;
  while (i < s.size() && s[i] == u' ') ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) negative = s[i++] == u'-';
  bool hex = false;
  if (i < s.size() && (s[i] == u'$' || s[i] == u'x' || s[i] == u'X')) {
    hex = true;
    ++i;
  } else if (i + 1 < s.size() && s[i] == u'0' && (s[i + 1] == u'x' || s[i + 1] == u'X')) {
    hex = true;
    i += 2;
  }
  if (i == s.size()) return false;
  std::uint64_t magnitude = 0;
  const std::uint64_t limit = hex ? 0xFFFFFFFFu : (negative ? 0x80000000u : 0x7FFFFFFFu);
  for (; i < s.size(); ++i) {
    int digit = hex ? HexDigit(s[i]) : (IsDigit(s[i]) ? s[i] - u'0' : -1);
    if (digit < 0) return false;
    magnitude = magnitude * (hex ? 16 : 10) + static_cast<std::uint64_t>(digit);
    if (magnitude > limit) return false;
  }
  std::uint32_t bits = static_cast<std::uint32_t>(magnitude);
  if (negative) bits = 0u - bits;
  out = static_cast<std::int32_t>(bits);
  return true;
}

// Splits text (up to its first U+0000) at every split character; always at least one piece.
template <typename Sink>
void Split(TextView text, char16_t split_char, Sink sink) {
  text = UpToNul(text);
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == split_char) {
      sink(text.substr(start, i - start));
      start = i + 1;
    }
  }
  sink(text.substr(start));
}

}  // namespace

// --- TColumnSet ------------------------------------------------------------------------------

TColumnSet::TColumnSet(std::initializer_list<std::int32_t> columns) {
  for (std::int32_t c : columns) Include(c);
}

bool TColumnSet::Contains(std::int32_t column) const {
  if (column < 0 || column > kMaxColumn) return false;
  return (bytes_[static_cast<std::size_t>(column / 8)] >> (column % 8)) & 1u;
}

void TColumnSet::Include(std::int32_t column) {
  if (column < 0 || column > kMaxColumn) {
    throw ERangeError(u"Column " + Decimal(column) + u" cannot be in a column set");
  }
  bytes_[static_cast<std::size_t>(column / 8)] |= static_cast<std::uint8_t>(1u << (column % 8));
}

void TColumnSet::Exclude(std::int32_t column) {
  if (column < 0 || column > kMaxColumn) return;
  bytes_[static_cast<std::size_t>(column / 8)] &= static_cast<std::uint8_t>(~(1u << (column % 8)));
}

bool TColumnSet::Empty() const {
  return std::all_of(bytes_.begin(), bytes_.end(), [](std::uint8_t b) { return b == 0; });
}

// --- TPersistent -----------------------------------------------------------------------------

void TPersistent::Assign(const TPersistent& source) {
  throw EConvertError(Text(u"Cannot assign a ") + source.ClassName() + u" to a " + ClassName());
}

// --- TCell -----------------------------------------------------------------------------------

Text TCell::Text() const {
  const TDataTable* table = parent_ != nullptr ? parent_->Parent() : nullptr;
  if (text_.empty() || table == nullptr || !table->ConvertSet().Contains(index_)) return text_;
  platform::Text out = text_;
  for (char16_t& c : out) {
    if (c == u'\0') break;
    if (c == kEscapedComma)
      c = u',';
    else if (c == kEscapedBar)
      c = u'|';
  }
  return out;
}

void TCell::SetText(TextView value) {
  if (value == text_) return;
  const TDataTable* table = parent_ != nullptr ? parent_->Parent() : nullptr;
  if (table == nullptr || value.empty() || !table->ConvertSet().Contains(index_)) {
    StoreAndReport(platform::Text(value));
    return;
  }
  // A converted column must not hold the separators or control characters of the table text.
  const bool keep_breaks = table->ReserveLFSet().Contains(index_) || (table->IOMode() & 1) != 0;
  platform::Text cleaned;
  cleaned.reserve(value.size());
  for (char16_t c : UpToNul(value)) {
    if (c == u'\t' || c == u'\n' || c == u'\r') {
      cleaned.push_back(keep_breaks ? c : u' ');
    } else if (c < 0x20) {
      cleaned.push_back(u' ');
    } else if (c == u',') {
      cleaned.push_back(kEscapedComma);
    } else if (c == u'|') {
      cleaned.push_back(kEscapedBar);
    } else {
      cleaned.push_back(c);
    }
  }
  if (cleaned == text_) return;
  StoreAndReport(std::move(cleaned));
}

void TCell::StoreAndReport(platform::Text stored) {
  text_ = std::move(stored);
  if (parent_ != nullptr) parent_->Changed(cmCellEdit, this);
}

std::int32_t TCell::Value() {
  if (text_.empty()) text_ = u"0";
  std::int32_t value = 0;
  if (!ParseInt32(text_, value))
    throw EConvertError(u"'" + text_ + u"' is not a valid integer value");
  return value;
}

void TCell::SetValue(std::int32_t value) {
  platform::Text text = Decimal(value);
  if (text != text_) StoreAndReport(std::move(text));
}

bool TCell::AsBool() {
  if (text_.empty()) text_ = u"0";
  if (const std::optional<bool> value = platform::BoolFromText(text_)) return *value;
  // Spaces may lead a number, as they may lead an integer; not a word.
  const TextView text = text_;
  const std::size_t first = std::min(text.find_first_not_of(u' '), text.size());
  if (const std::optional<bool> value = platform::DecimalIsNonZero(text.substr(first)))
    return *value;
  throw EConvertError(u"'" + text_ + u"' is not a valid boolean value");
}

void TCell::SetAsBool(bool value) {
  platform::Text text = value ? u"-1" : u"0";
  if (text != text_) StoreAndReport(std::move(text));
}

// --- TRow ------------------------------------------------------------------------------------

TRow::~TRow() {
  // Cells go first and in order, then the user reference; nothing is reported.
  for (auto& cell : items_) cell.reset();
  idata_.reset();
}

std::int32_t TRow::GetIndex() const {
  if (parent_ == nullptr) return -1;
  const auto& rows = parent_->items_;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (rows[i].get() == this) return static_cast<std::int32_t>(i);
  }
  return -1;
}

TCell& TRow::Items(std::int32_t index) { return At(items_, index); }
const TCell& TRow::Items(std::int32_t index) const { return At(items_, index); }

TCell& TRow::Append(Text stored) {
  auto cell = std::make_unique<TCell>(this);
  cell->text_ = std::move(stored);
  cell->index_ = ItemCount();
  items_.push_back(std::move(cell));
  return *items_.back();
}

void TRow::Init(TextView text, char16_t split_char) {
  // Own copy: the text may be one of the cells that Clear is about to free.
  const Text source(UpToNul(text));
  BeginUpdate();
  WithUpdate(
      [&] {
        Clear();
        Split(source, split_char, [this](TextView piece) { Append(Text(piece)); });
      },
      [this] { EndUpdate(cmRowInit, nullptr); });
}

void TRow::Clear() {
  if (items_.empty()) return;
  for (auto& cell : items_) cell.reset();
  items_.clear();
  Changed(cmRowClear, nullptr);
}

TCell& TRow::AddItem(std::int32_t value) {
  TCell& cell = Append(Decimal(value));
  Changed(cmCellAdd, &cell);
  return cell;
}

void TRow::CopyFrom(const TRow& source) {
  // Taken before Init clears this row, so that copying a row onto itself keeps its texts.
  std::vector<Text> texts;
  texts.reserve(source.items_.size());
  for (const auto& cell : source.items_) texts.push_back(cell->text_);
  BeginUpdate();
  WithUpdate(
      [&] {
        Init(Text(texts.empty() ? 0 : texts.size() - 1, u','), u',');
        for (std::size_t i = 0; i < texts.size(); ++i) items_[i]->text_ = std::move(texts[i]);
      },
      [this] { EndUpdate(cmRowInit, nullptr); });
}

void TRow::BeginUpdate() { ++update_count_; }

void TRow::EndUpdate(TDataTableChangeMode mode, TCell* cell) {
  // An EndUpdate without its BeginUpdate is ignored rather than leaving the counter below zero,
  // which would silence every later report of the row.
  if (update_count_ == 0) return;
  if (--update_count_ == 0) Changed(mode, cell);
}

void TRow::Changed(TDataTableChangeMode mode, TCell* cell) {
  if (update_count_ != 0) return;
  data_changed_ = true;
  if (auto handler = on_data_changed_) handler(*this, mode, cell);
  if (parent_ != nullptr) parent_->Changed(mode, this, cell, -1, -1);
}

// --- TDataTable ------------------------------------------------------------------------------

TDataTable::TDataTable(Text key, TColumnSet convert_set)
    : property_row_(std::make_unique<TRow>()), key_(std::move(key)), convert_set_(convert_set) {
  property_row_->Init(u",,,,,,,,,", u',');
  property_row_->id_ = 0;
  property_row_->is_prop_ = true;
  property_row_->parent_ = this;
  property_row_->data_changed_ = false;
}

TDataTable::~TDataTable() {
  // The property row first, then the rows in order; nothing is reported.
  property_row_.reset();
  for (auto& row : items_) row.reset();
}

TRow& TDataTable::Items(std::int32_t index) { return At(items_, index); }
const TRow& TDataTable::Items(std::int32_t index) const { return At(items_, index); }

void TDataTable::AddParsedRow(TextView piece) {
  auto row = std::make_unique<TRow>();
  row->Init(piece, u',');
  AddItem(std::move(row));
}

void TDataTable::Init(TextView text) {
  // Everything from the first U+0000 on is not part of the table text. Own copy: the text may
  // live in a cell that Clear is about to free.
  const Text source(UpToNul(text));
  BeginUpdate();
  WithUpdate(
      [&] {
        Clear();
        std::size_t data_start = 0;
        if (!source.empty() && source[0] == u'#') {
          std::size_t close = source.find(u'#', 1);
          if (close != TextView::npos) {
            property_row_->Init(TextView(source).substr(1, close - 1), u',');
            data_start = close + 1;
            // A header with nothing after it means a table without rows.
            if (data_start == source.size()) return;
          }
        }
        Split(TextView(source).substr(data_start), u'|',
              [this](TextView piece) { AddParsedRow(piece); });
      },
      [this] { EndUpdate(cmTableInit, nullptr, nullptr, -1, -1); });
}

void TDataTable::Clear() {
  const bool removed = !items_.empty();
  if (removed) {
    for (auto& row : items_) row.reset();
    items_.clear();
    next_row_id_ = 1;
  }
  // The current row went with the rows; listeners hear of that before the data change.
  if (row_index_ != -1) {
    row_index_ = -1;
    if (auto handler = on_row_index_changed_) handler(*this, -1);
  }
  if (removed) Changed(cmTableClear, nullptr, nullptr, -1, -1);
}

TRow& TDataTable::AddItem(std::unique_ptr<TRow> row) {
  if (row == nullptr) throw std::invalid_argument("TDataTable::AddItem: no row");
  TRow* added = row.get();
  BeginUpdate();
  WithUpdate(
      [&] {
        added->parent_ = this;
        added->id_ = next_row_id_++;
        items_.push_back(std::move(row));
      },
      [&] {
        EndUpdate(cmRowAdd, items_.empty() ? nullptr : items_.back().get(), nullptr, -1, -1);
      });
  return *added;
}

TRow& TDataTable::AddItem(const TRow& row) {
  auto copy = std::make_unique<TRow>();
  copy->CopyFrom(row);
  return AddItem(std::move(copy));
}

std::int32_t TDataTable::IndexOfId(std::int32_t id) const {
  for (std::size_t i = 0; i < items_.size(); ++i) {
    if (items_[i]->id_ == id) return static_cast<std::int32_t>(i);
  }
  return -1;
}

void TDataTable::CopyFrom(const TDataTable& source, bool include_prop, std::int32_t max_count) {
  if (&source == this) {
    // Clear would empty the source too; copy from a snapshot of it instead.
    TDataTable snapshot(key_, convert_set_);
    snapshot.CopyFrom(*this, include_prop, max_count);
    CopyFrom(snapshot, include_prop, max_count);
    return;
  }
  BeginUpdate();
  WithUpdate(
      [&] {
        Clear();
        if (include_prop) property_row_->CopyFrom(*source.property_row_);
        for (const auto& row : source.items_) {
          if (max_count > 0 && ItemCount() >= max_count) break;
          AddItem(*row);
        }
      },
      [this] { EndUpdate(cmTableInit, nullptr, nullptr, -1, -1); });
}

Text TDataTable::ToText(bool include_prop) const {
  auto fail = [](const std::u16string& why) {
    throw EConvertError(u"Table cannot be written: " + why);
  };
  auto where = [](std::size_t row, std::size_t column) {
    return u"row " + Decimal(static_cast<std::int64_t>(row)) + u", column " +
           Decimal(static_cast<std::int64_t>(column));
  };
  Text out;
  if (include_prop) {
    out.push_back(u'#');
    for (std::size_t c = 0; c < property_row_->items_.size(); ++c) {
      const Text& cell = property_row_->items_[c]->StoredText();
      if (cell.find_first_of(std::u16string_view(u"#,\0", 3)) != Text::npos) {
        fail(u"property cell " + Decimal(static_cast<std::int64_t>(c)) +
             u" holds \"#\", \",\" or U+0000");
      }
      if (c > 0) out.push_back(u',');
      out += cell;
    }
    out.push_back(u'#');
  } else if (items_.empty()) {
    fail(u"a table without rows needs its property header");
  }
  if (include_prop && items_.size() == 1 && items_[0]->items_.size() == 1 &&
      items_[0]->items_[0]->StoredText().empty()) {
    fail(u"a single empty row after a property header would read as no rows");
  }
  const std::size_t data_start = out.size();
  for (std::size_t r = 0; r < items_.size(); ++r) {
    if (r > 0) out.push_back(u'|');
    const auto& cells = items_[r]->items_;
    for (std::size_t c = 0; c < cells.size(); ++c) {
      const Text& cell = cells[c]->StoredText();
      if (cell.find_first_of(std::u16string_view(u",|\0", 3)) != Text::npos) {
        fail(where(r, c) + u" holds \",\", \"|\" or U+0000");
      }
      if (c > 0) out.push_back(u',');
      out += cell;
    }
  }
  if (!include_prop && out.size() > data_start && out[0] == u'#' &&
      out.find(u'#', 1) != Text::npos) {
    fail(u"row data that begins with \"#\" and holds another \"#\" needs a property header");
  }
  return out;
}

void TDataTable::BeginUpdate() { ++update_count_; }

void TDataTable::EndUpdate(TDataTableChangeMode mode, TRow* row, TCell* cell, std::int32_t data1,
                           std::int32_t data2) {
  if (update_count_ == 0) return;  // unmatched: see TRow::EndUpdate
  if (--update_count_ == 0) Changed(mode, row, cell, data1, data2);
}

void TDataTable::Changed(TDataTableChangeMode mode, TRow* row, TCell* cell, std::int32_t data1,
                         std::int32_t data2) {
  if (update_count_ != 0) return;
  data_changed_ = true;
  if (row != nullptr && row->is_prop_) mode = cmPropChange;
  if (!prevent_event_) {
    if (auto handler = on_data_changed_) handler(*this, mode, row, cell, data1, data2);
  }
  if (parent_ != nullptr) parent_->Changed(mode, 1, this, -1);
}

void TDataTable::SetRowIndex(std::int32_t index) {
  // Any value outside the rows means "no current row"; only a real change is reported.
  if (index < 0 || index >= ItemCount()) index = -1;
  if (index == row_index_) return;
  if (row_index_ >= 0 && row_index_ < ItemCount()) {
    items_[static_cast<std::size_t>(row_index_)]->is_index_ = false;
  }
  if (index >= 0) items_[static_cast<std::size_t>(index)]->is_index_ = true;
  row_index_ = index;
  if (auto handler = on_row_index_changed_) handler(*this, row_index_);
}

void TDataTable::SetColIndex(std::int32_t index) {
  const bool valid = !items_.empty() && index >= 0 && index < items_[0]->ItemCount();
  col_index_ = valid ? index : -1;
}

Text TDataTable::Name() const { return property_row_->Items(0).Text(); }
void TDataTable::SetName(TextView name) { property_row_->Items(0).SetText(name); }
std::int32_t TDataTable::Value() { return property_row_->Items(1).Value(); }
void TDataTable::SetValue(std::int32_t value) { property_row_->Items(1).SetValue(value); }

void TDataTable::SetFileName(TextView name) {
  if (name != file_name_) file_name_ = Text(name);
}

void TDataTable::SetDataChanged(bool changed) {
  if (changed) {
    Changed(cmDirect, nullptr, nullptr, -1, -1);
    return;
  }
  data_changed_ = false;
  property_row_->data_changed_ = false;
  for (auto& row : items_) row->data_changed_ = false;
}

// --- TDataTables -----------------------------------------------------------------------------

TDataTables::TDataTables() : property_row_(std::make_unique<TRow>()) {
  // Laid out like a table's property row: ten empty cells, id 0.
  property_row_->Init(u",,,,,,,,,", u',');
  property_row_->id_ = 0;
  property_row_->is_prop_ = true;
  property_row_->data_changed_ = false;
}

TDataTables::~TDataTables() {
  // The property row first, then the tables in order; nothing is reported.
  property_row_.reset();
  for (auto& table : items_) table.reset();
}

TDataTable& TDataTables::Items(std::int32_t index) { return At(items_, index); }
const TDataTable& TDataTables::Items(std::int32_t index) const { return At(items_, index); }

TDataTable& TDataTables::AddItem(std::unique_ptr<TDataTable> table) {
  if (table == nullptr) throw std::invalid_argument("TDataTables::AddItem: no table");
  TDataTable* added = table.get();
  BeginUpdate();
  WithUpdate(
      [&] {
        added->parent_ = this;
        items_.push_back(std::move(table));
      },
      [this] {
        EndUpdate(cmTableAdd, 1, items_.empty() ? nullptr : items_.back().get(), ItemCount() - 1);
      });
  return *added;
}

TDataTable& TDataTables::AddItem(const TDataTable& table) {
  auto copy = std::make_unique<TDataTable>(Text(), TColumnSet());
  TDataTable* added = copy.get();
  BeginUpdate();
  WithUpdate(
      [&] {
        copy->parent_ = this;
        copy->CopyFrom(table, false, 0);
        AddItem(std::move(copy));
      },
      [this] {
        EndUpdate(cmTableAdd, 1, items_.empty() ? nullptr : items_.back().get(), ItemCount() - 1);
      });
  return *added;
}

void TDataTables::Clear() {
  if (items_.empty()) return;
  for (auto& table : items_) table.reset();
  items_.clear();
  Changed(cmTablesClear, -1, nullptr, -1);
}

void TDataTables::CopyFrom(const TDataTables& source, std::int32_t max_count) {
  if (&source == this) {
    // Clear would empty the source too; copy from a snapshot of it instead.
    TDataTables snapshot;
    snapshot.CopyFrom(*this, max_count);
    CopyFrom(snapshot, max_count);
    return;
  }
  BeginUpdate();
  WithUpdate(
      [&] {
        Clear();
        for (const auto& table : source.items_) {
          if (max_count > 0 && ItemCount() >= max_count) break;
          AddItem(*table);
        }
      },
      [this] { EndUpdate(cmTablesInit, -1, nullptr, -1); });
}

void TDataTables::Assign(const TPersistent& source) {
  const auto* other = dynamic_cast<const TDataTables*>(&source);
  if (other == nullptr) {
    TPersistent::Assign(source);
    return;
  }
  BeginUpdate();
  WithUpdate(
      [&] {
        CopyFrom(*other, 0);
        property_row_->CopyFrom(*other->property_row_);
        tag_ = other->tag_;
      },
      [this] { EndUpdate(cmTablesInit, -1, nullptr, -1); });
}

void TDataTables::BeginUpdate() { ++update_count_; }

void TDataTables::EndUpdate(TDataTableChangeMode mode, std::int32_t count, TDataTable* table,
                            std::int32_t index) {
  if (update_count_ == 0) return;  // unmatched: see TRow::EndUpdate
  if (--update_count_ == 0) Changed(mode, count, table, index);
}

void TDataTables::Changed(TDataTableChangeMode mode, std::int32_t count, TDataTable* table,
                          std::int32_t index) {
  if (update_count_ != 0) return;
  data_changed_ = true;
  auto handler = on_data_changed_;
  if (!handler) return;
  if (table != nullptr && index == -1) {
    for (std::size_t i = 0; i < items_.size(); ++i) {
      if (items_[i].get() == table) index = static_cast<std::int32_t>(i);
    }
  }
  handler(*this, mode, count, table, index);
}

void TDataTables::SetFileName(TextView name) {
  if (name != file_name_) file_name_ = Text(name);
}

void TDataTables::SetDataChanged(bool changed) {
  if (changed) {
    Changed(cmDirect, -1, nullptr, -1);
    return;
  }
  data_changed_ = false;
  property_row_->data_changed_ = false;
  for (auto& table : items_) table->SetDataChanged(false);
}

}  // namespace tvdata

// The text sink of the data-line scanner: rows as the row file's text.
#include "engine/text_rows.hpp"

#include "engine/data_line.hpp"

namespace tnx {
namespace {

// Rows as the row file's text: the label field formatted once per line,
// then three copies and a value per row.
class TextRows {
 public:
  using Label = LabelField;

  TextRows(const ColumnTexts& columns, RowWriter& writer) noexcept
      : columns_(columns), writer_(writer) {}

  static bool label_from_text(const char* text, std::size_t digits,
                              bool negative, LabelField& label) noexcept {
    return label_field_from_text(text, digits, negative, label);
  }

  static void label_from_value(std::int32_t value, LabelField& label) noexcept {
    label = format_label_field(value);
  }

  LineRows rows(const LabelField& label) noexcept {
    return {writer_.reserve(MAX_COLUMNS * columns_.max_row_bytes()), label,
            columns_};
  }

  void commit(const LineRows& rows) noexcept { writer_.commit(rows.end()); }

 private:
  const ColumnTexts& columns_;
  RowWriter& writer_;
};

}  // namespace

void convert_data_line(const Line& line, const ColumnTexts& columns,
                       RowWriter& writer) noexcept {
  TextRows sink(columns, writer);
  scan_data_line(line, sink);
}

void convert_data_line(const Line& line, const ColumnTexts& columns,
                       RowWriter& writer, LineScan& scan) noexcept {
  TextRows sink(columns, writer);
  scan_data_line(line, sink, scan);
}

}  // namespace tnx

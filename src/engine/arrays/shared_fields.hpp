// The fields a data line's rows share -- the line's label, and the column,
// point and events of each row's slot -- filled on a thread of its own while
// the data pass goes on with the values. Of the 21 bytes a row takes in the
// arrays these are 17: the data pass then writes a fifth of the memory it
// would, and the other core takes the rest, with the page faults of fresh
// memory (in which the system clears each page) that come with it.
//
// Arrays and batches change hands, never share them: the thread owns the
// four arrays from start() until finish() hands them back, and a batch of
// lines handed over is the thread's until it hands it back filled. The
// values stay the data pass's.
//
// The thread also asked the system for the values' pages ahead of the rows
// once (MADV_POPULATE_WRITE): that saved 2 ms of 50 on one large file, but
// made two files read side by side take 1.6 s instead of 0.7, the calls of
// several threads waiting for each other in the system.
#pragma once

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include "engine/arrays/heap_array.hpp"
#include "engine/column_tables.hpp"
#include "engine/hand_over.hpp"
#include "engine/limits.hpp"

namespace tnx {

// The arrays of the fields a line's rows share.
struct SharedFields {
  HeapArray<std::int32_t> label;
  HeapArray<std::uint8_t> column;
  HeapArray<double> point;
  HeapArray<std::uint32_t> events;
};

// 0, 1, 2, ...: the columns of a line's rows.
constexpr std::array<std::uint8_t, MAX_COLUMNS> column_numbers() {
  std::array<std::uint8_t, MAX_COLUMNS> numbers{};
  for (std::size_t j = 0; j < numbers.size(); ++j) {
    numbers[j] = static_cast<std::uint8_t>(j);
  }
  return numbers;
}

inline constexpr std::array<std::uint8_t, MAX_COLUMNS> COLUMN_NUMBERS =
    column_numbers();

// fill_line_rows()
//
// Fills rows [row, row + count) of `fields`: the rows of a line labelled
// `label` are its columns 0, 1, ... count - 1, so their label, column,
// point and events are copies of the label and of the tables' first
// `count` slots. `count` is at most MAX_COLUMNS.
inline void fill_line_rows(const SharedFields& fields, std::size_t row,
                           std::int32_t label, std::size_t count,
                           const ColumnTables& tables) noexcept {
  std::fill_n(fields.label.get() + row, count, label);
  std::memcpy(fields.column.get() + row, COLUMN_NUMBERS.data(), count);
  std::memcpy(fields.point.get() + row, tables.points.data(),
              count * sizeof(double));
  std::memcpy(fields.events.get() + row, tables.events.data(),
              count * sizeof(std::uint32_t));
}

class SharedFieldsThread {
 public:
  // Batches handed over and not yet filled, at most.
  static constexpr std::size_t MAX_QUEUED = 3;
  // A batch is handed over once it holds this many rows (or its lines are
  // as many as it can hold): large enough that handing over costs nothing
  // beside filling, small enough that the data pass is never far ahead.
  static constexpr std::size_t BATCH_ROWS = std::size_t{64} << 10;
  // The lines a batch holds, unless told otherwise.
  static constexpr std::size_t BATCH_LINES = std::size_t{16} << 10;

  // The rows of one line: `count` rows labelled `label`.
  struct LineRows {
    std::int32_t label = 0;
    std::uint32_t count = 0;
  };

  // start()
  //
  // Takes over `fields` and starts the thread that fills them from row 0
  // on with the tables `tables`, handed `batch_lines` lines at a time.
  // Returns null, `fields` left as they were, when the thread or its
  // batches cannot get started.
  [[nodiscard]] static std::unique_ptr<SharedFieldsThread> start(
      SharedFields& fields, const ColumnTables& tables,
      std::size_t batch_lines) noexcept;

  SharedFieldsThread(const SharedFieldsThread&) = delete;
  SharedFieldsThread& operator=(const SharedFieldsThread&) = delete;
  // Stops once the batch being filled is done, joins the thread and frees
  // the arrays (the rows were not wanted).
  ~SharedFieldsThread();

  // add()
  //
  // The next line's rows (`count` of them, at most MAX_COLUMNS, the rows
  // before it and its own within the arrays). Waits while
  // MAX_QUEUED batches are in line.
  void add(std::int32_t label, std::uint32_t count) noexcept {
    Batch& b = filling_;
    b.lines[b.count++] = {label, count};
    b.rows += count;
    if (b.count == batch_lines_ || b.rows >= BATCH_ROWS) hand_over();
  }

  // finish()
  //
  // Hands over the last lines, waits until every row is filled, joins the
  // thread and gives the arrays back.
  [[nodiscard]] SharedFields finish() noexcept;

 private:
  struct Batch {
    std::unique_ptr<LineRows[]> lines;
    std::size_t count = 0;
    std::size_t rows = 0;
  };
  // What the thread does once the batches in line are gone.
  enum class Ending { none, finish, abandon };
  static constexpr std::size_t BATCHES = MAX_QUEUED + 2;

  SharedFieldsThread(const ColumnTables& tables, std::size_t batch_lines);
  void hand_over() noexcept;
  void fill_batches() noexcept;
  void fill(const Batch& batch) noexcept;
  void end(Ending ending) noexcept;

  // The thread's own while it runs.
  SharedFields fields_;
  std::size_t row_ = 0;
  // Set before the thread starts, then only read.
  ColumnTables tables_;
  std::size_t batch_lines_;
  // The data pass's own: the batch it adds lines to.
  Batch filling_;

  std::mutex mutex_;
  std::condition_variable changed_;
  // Guarded by mutex_: the batches in line, and the filled ones.
  RingQueue<Batch, MAX_QUEUED> queue_;
  FreeStack<Batch, BATCHES> free_;
  Ending ending_ = Ending::none;

  std::thread thread_;
};

}  // namespace tnx

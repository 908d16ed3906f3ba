// A streaming writer of one Excel 97-2003 worksheet of text cells: the
// BIFF8 records of the "Workbook" stream. Cells go to two temporary files
// while rows come in (the shared strings and the cell records), so memory
// does not grow with the rows; finish() hands the whole stream, piece by
// piece, to a sink (the OLE2 container).
#pragma once

#include <glib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace biff8 {

// Largest record body; longer data goes on in CONTINUE records.
inline constexpr std::size_t MAX_RECORD_DATA = 8224;
// Rows and columns of a BIFF8 worksheet.
inline constexpr unsigned MAX_ROWS = 65536;
inline constexpr unsigned MAX_COLS = 256;
// Characters of one cell (UTF-16 units).
inline constexpr std::size_t MAX_CELL_UNITS = 32767;

// Record identifiers used here.
enum record_id : uint16_t {
    EOF_ = 0x000A,
    CONTINUE = 0x003C,
    WINDOW1 = 0x003D,
    CODEPAGE = 0x0042,
    BOUNDSHEET = 0x0085,
    FONT = 0x0031,
    XF = 0x00E0,
    SST = 0x00FC,
    LABELSST = 0x00FD,
    EXTSST = 0x00FF,
    DIMENSIONS = 0x0200,
    WINDOW2 = 0x023E,
    STYLE = 0x0293,
    BOF = 0x0809,
};

// Little-endian byte building.
void put16(std::string& out, uint16_t v);
void put32(std::string& out, uint32_t v);
// One record: header (id, length) and body; the body must fit one record.
std::string record(uint16_t id, const std::string& body);

// The globals substream up to and including BOUNDSHEET, whose sheet
// position is `sheet_pos`. Its size does not depend on `sheet_pos`.
std::string globals_head(uint32_t sheet_pos);
// The worksheet substream's records before the cells, for rows [0, rows)
// and columns [0, cols).
std::string sheet_head(uint32_t rows, uint16_t cols);
// The worksheet substream's records after the cells.
std::string sheet_tail();

// Where the stream goes; false when it could not take the bytes.
using sink = std::function<bool(const void* data, std::size_t size)>;

// One worksheet being written. Not copyable; one per open workbook.
class sheet_writer {
public:
    sheet_writer() = default;
    ~sheet_writer();
    sheet_writer(const sheet_writer&) = delete;
    sheet_writer& operator=(const sheet_writer&) = delete;

    // Opens the temporary files in `dir` (the folder of the workbook, so
    // they are on its disk). False when they cannot be created.
    bool open(const std::string& dir);
    // Appends a row of text cells (UTF-16, not NUL-terminated); empty cells
    // get no record. Longer cells are cut to MAX_CELL_UNITS, never inside a
    // surrogate pair. False when the sheet is full or a write failed; the
    // writer then stays failed.
    bool add_row(const std::vector<std::basic_string<gunichar2>>& cells);
    // Writes the whole "Workbook" stream to `out`. False when a write failed.
    bool finish(const sink& out);

    // Drops the temporary files.
    void close() { close_files(); }

    uint32_t rows() const { return rows_; }
    bool failed() const { return failed_; }

private:
    void add_string(const gunichar2* units, std::size_t n);
    void flush_record();
    bool write_cell(uint32_t row, uint16_t col, uint32_t isst);
    void close_files();

    std::FILE* sst_ = nullptr;    // SST record and its CONTINUE records
    std::FILE* cells_ = nullptr;  // LABELSST records
    std::string cur_;             // body of the record being filled
    bool cur_is_sst_ = true;      // the first record is SST, then CONTINUE
    uint64_t sst_bytes_ = 0;      // bytes written to sst_
    uint32_t strings_ = 0;
    uint32_t rows_ = 0;
    uint16_t cols_ = 0;
    bool failed_ = false;

    // EXTSST: the position of every `bucket_`-th string, at most 128.
    struct bucket_pos {
        uint64_t file_pos;   // in sst_, of the string's first byte
        uint16_t in_record;  // from the start of its record, header included
    };
    uint32_t bucket_ = 8;
    std::vector<bucket_pos> buckets_;
};

}  // namespace biff8

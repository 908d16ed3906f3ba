// Insertion of received log records into LogTab, with their three display
// texts. Rows are gathered into multi-row statements on `mysql_2`: a burst of
// records costs a few statements instead of one round trip each.
#pragma once

#include "base/record.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include <mysql.h>

// The values of one LogTab row, as the statement embeds them.
struct log_row {
    uint32_t dwIP = 0;
    uint32_t dwLogType = 0;
    uint32_t dwSourceIP = 0;
    std::string cLogUser;
    std::string cLogContent;
    std::string cLogNote;
    uint32_t time = 0;
    std::string cLogContent_chinese;
    std::string cLogContent_fanti;
    std::string cLogContent_en;
};

// The two look-up keys of a log text: the whole text for the display texts
// and its first word for the existence question. With b_space_to_add 1 every
// space becomes '+' first.
struct lookup_keys {
    std::string value_key;
    std::string exist_key;
};
lookup_keys make_lookup_keys(std::string_view content, int b_space_to_add);

// Every "&nbsp;" becomes one space.
std::string without_nbsp(std::string_view text);

// "('%u','%u','%u','%s','%s','%s','%u','%s','%s','%s')" of a row, every text
// escaped for `conn`.
std::string insert_values(MYSQL* conn, const log_row& row);

// "insert into LogTab (...) values " followed by the rows' values.
std::string insert_statement(MYSQL* conn, const std::vector<log_row>& rows);

// Display texts of a log text, from the script tables.
struct display_texts {
    std::string chinese, en, fanti;
};
using text_lookup = std::function<bool(const lookup_keys& keys, display_texts& out)>;

// Builds the row of one record: receive time, source-address inheritance,
// display texts looked up with `lookup` (the content itself when unknown).
// `store_source_ip` carries the source address of the previous record.
// `content` is the record's text, or its rewritten form.
log_row make_log_row(const tagCommunicationData_& record, std::string_view content,
                     int b_space_to_add, uint32_t now, uint32_t& store_source_ip,
                     const text_lookup& lookup);

// Rows waiting for their statement, in arrival order; the row store takes
// them out in one piece.
class insert_batch {
public:
    explicit insert_batch(std::size_t max_rows);

    void add(log_row row);
    std::vector<log_row> take_rows();
    std::size_t size() const { return rows_.size(); }
    bool full() const { return rows_.size() >= max_rows_; }

private:
    std::size_t max_rows_;
    std::vector<log_row> rows_;
};

// The program's insertion: builds the row of a record (keys, script texts,
// time, source address) and queues it for `mysql_2`. flush_inserts() stores
// what is queued; the main loop calls it when it would go idle, when the
// batch is full or old, and at quit.
void insert_new_to_sql_js_2(tagCommunicationData_* pData, int b_space_to_add);
// The same with the record's text replaced by a rewritten one, which may be
// longer than the record's field.
void insert_new_to_sql_js_2(tagCommunicationData_* pData, std::string_view content,
                            int b_space_to_add);
// Stores the queued rows (program_row_store, storage/spool.h: into the spool
// while the server cannot be reached, spooled rows first) and returns how
// many were handed on.
std::size_t flush_inserts();
std::size_t pending_inserts();
// Milliseconds since the oldest queued row arrived (0 when none).
int64_t pending_age_ms();

// The one place that learns of a row that could not be stored.
void insert_failed(const log_row& row);
uint64_t inserts_stored();
// Rows the server refused, and rows that could be neither stored nor spooled.
uint64_t inserts_failed();
// Rows waiting in the spool for the server.
std::size_t spooled_rows();
// Stores the rows waiting for insertion, before a query reads the table so
// it counts them. Only on the thread that queues rows (the main loop); a
// query on another thread leaves them.
void store_waiting_rows();
// Records dropped or not stored since start: dropped by the UDP receiver
// (queue full and the disk too low for its file) and rows that could not be
// stored (inserts_failed).
uint64_t records_not_stored();

#include "storage/mysql_data.h"

#include "companion/extern.h"
#include "email/python_interface.h"
#include "receive/udp.h"
#include "storage/mysql_ctrl.h"
#include "storage/spool.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <unordered_map>

namespace {

using clock_type = std::chrono::steady_clock;

// The thread that queues rows (the main loop).
std::thread::id g_inserting_thread;

std::string field_text(const char* field, std::size_t size)
{
    return std::string(field, strnlen(field, size));
}

std::string number(uint32_t v) { return std::to_string(v); }

void append_quoted(std::string& out, const std::string& escaped)
{
    out += '\'';
    out += escaped;
    out += '\'';
}

}  // namespace

lookup_keys make_lookup_keys(std::string_view content, int b_space_to_add)
{
    lookup_keys keys {std::string(content), {}};
    if (b_space_to_add == 1)
        for (char& c : keys.value_key)
            if (c == ' ')
                c = '+';
    keys.exist_key = keys.value_key.substr(0, keys.value_key.find('+'));
    return keys;
}

std::string without_nbsp(std::string_view text)
{
    static constexpr std::string_view nbsp = "&nbsp;";
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        if (text.compare(i, nbsp.size(), nbsp) == 0) {
            out += ' ';
            i += nbsp.size();
        } else {
            out += text[i++];
        }
    }
    return out;
}

std::string insert_values(MYSQL* conn, const log_row& row)
{
    std::string v = "(";
    append_quoted(v, number(row.dwIP));
    v += ',';
    append_quoted(v, number(row.dwLogType));
    v += ',';
    append_quoted(v, number(row.dwSourceIP));
    v += ',';
    append_quoted(v, sql_text(conn, row.cLogUser));
    v += ',';
    append_quoted(v, sql_correct_text(row.cLogContent));
    v += ',';
    append_quoted(v, sql_text(conn, row.cLogNote));
    v += ',';
    append_quoted(v, number(row.time));
    v += ',';
    append_quoted(v, sql_text(conn, row.cLogContent_chinese));
    v += ',';
    append_quoted(v, sql_text(conn, row.cLogContent_fanti));
    v += ',';
    append_quoted(v, sql_text(conn, row.cLogContent_en));
    v += ')';
    return v;
}

std::string insert_statement(MYSQL* conn, const std::vector<log_row>& rows)
{
    std::string sql =
        "insert into LogTab (dwIP,dwLogType,dwSourceIP,cLogUser,cLogContent,cLogNote,time,"
        "cLogContent_chinese,cLogContent_fanti,cLogContent_en) values ";
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (i)
            sql += ',';
        sql += insert_values(conn, rows[i]);
    }
    return sql;
}

log_row make_log_row(const tagCommunicationData_& record, std::string_view content,
                     int b_space_to_add, uint32_t now, uint32_t& store_source_ip,
                     const text_lookup& lookup)
{
    const tagImpMsg_& msg = record.msg.impMsg;
    log_row row;
    row.time = now;
    row.dwIP = record.dwIP;
    row.dwLogType = msg.dwLogType;
    row.cLogUser = field_text(msg.cLogUser, sizeof msg.cLogUser);
    row.cLogContent = std::string(content);
    row.cLogNote = field_text(msg.cLogNote, sizeof msg.cLogNote);

    display_texts texts;
    if (!lookup(make_lookup_keys(row.cLogContent, b_space_to_add), texts))
        texts = {row.cLogContent, row.cLogContent, row.cLogContent};
    row.cLogContent_chinese = without_nbsp(texts.chinese);
    row.cLogContent_en = without_nbsp(texts.en);
    row.cLogContent_fanti = without_nbsp(texts.fanti);

    // A record without a source address inherits the previous record's.
    uint32_t source = msg.dwSourceIP;
    if (source == 0)
        source = store_source_ip;
    store_source_ip = source;
    row.dwSourceIP = source;
    return row;
}

insert_batch::insert_batch(std::size_t max_rows) : max_rows_(max_rows) { rows_.reserve(max_rows); }

void insert_batch::add(log_row row) { rows_.push_back(std::move(row)); }

std::vector<log_row> insert_batch::take_rows()
{
    std::vector<log_row> out;
    out.swap(rows_);
    rows_.reserve(max_rows_);
    return out;
}

namespace {

constexpr std::size_t MAX_BATCH_ROWS = 500;

insert_batch& program_batch()
{
    static insert_batch batch(MAX_BATCH_ROWS);
    return batch;
}

clock_type::time_point oldest_pending;
uint32_t store_source_ip = 0;

// The tables do not change while the program runs, and most records of a
// router share their first word: their existence answers are kept.
bool known_word(const std::string& word)
{
    static std::unordered_map<std::string, bool> answers;
    if (auto it = answers.find(word); it != answers.end())
        return it->second;
    char ch_6[py_exist_size] = {};
    py_js_get_b_exist_chinese(word.c_str(), ch_6);
    if (answers.size() >= 4096)
        answers.clear();
    return answers[word] = (ch_6[0] == '3');
}

bool script_lookup(const lookup_keys& keys, display_texts& out)
{
    if (!known_word(keys.exist_key))
        return false;
    py_js_get_all(keys.value_key.c_str(), out.chinese, out.en, out.fanti);
    return true;
}

}  // namespace

void insert_new_to_sql_js_2(tagCommunicationData_* pData, std::string_view content,
                            int b_space_to_add)
{
    uint32_t now = current_time();
    g_inserting_thread = std::this_thread::get_id();
    insert_batch& batch = program_batch();
    if (batch.size() == 0)
        oldest_pending = clock_type::now();
    batch.add(make_log_row(*pData, content, b_space_to_add, now, store_source_ip, script_lookup));
    if (batch.full())
        flush_inserts();
}

void insert_new_to_sql_js_2(tagCommunicationData_* pData, int b_space_to_add)
{
    const char* text = pData->msg.impMsg.cLogContent;
    insert_new_to_sql_js_2(
        pData, std::string_view(text, strnlen(text, sizeof pData->msg.impMsg.cLogContent)),
        b_space_to_add);
}

std::size_t flush_inserts()
{
    std::vector<log_row> rows = program_batch().take_rows();
    const std::size_t n = rows.size();
    program_row_store().store(std::move(rows));
    return n;
}

std::size_t spooled_rows() { return program_row_store().spooled_rows(); }

uint64_t records_not_stored()
{
    udp_counts c {};
    const uint64_t dropped = udp_counts_get(&c) ? c.dropped_full : 0;
    return dropped + inserts_failed();
}

void store_waiting_rows()
{
    if (pending_inserts() > 0 && std::this_thread::get_id() == g_inserting_thread)
        flush_inserts();
}

std::size_t pending_inserts() { return program_batch().size(); }

int64_t pending_age_ms()
{
    if (program_batch().size() == 0)
        return 0;
    return std::chrono::duration_cast<std::chrono::milliseconds>(clock_type::now() - oldest_pending)
        .count();
}

void insert_failed(const log_row& row)
{
    // The row stays counted in the device tree; the database did not take it.
    std::fprintf(stderr, "Insert error %u: %s\n", mysql_2 ? mysql_errno(mysql_2) : 0u,
                 mysql_2 ? mysql_error(mysql_2) : "no connection");
    (void)row;
}

uint64_t inserts_stored() { return program_row_store().stored(); }
uint64_t inserts_failed() { return program_row_store().refused() + program_row_store().lost(); }

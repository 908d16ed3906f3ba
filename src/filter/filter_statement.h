// The filter's statement: the statement of the list on screen narrowed by
// the operator's conditions. Values in, statement out: nothing here reads a
// widget, so the filter panel and the export job build the same statement
// from the values they read on the GUI thread.
#pragma once

#include <mysql.h>

#include <string>
#include <string_view>

// What the filter panel holds when an action starts.
struct filter_inputs {
    // Statement of the list on screen, without limit and order
    // (sql_cmd_filter): "select * from LogTab  where (dwIP = '..') ...".
    std::string base;
    // User pattern, a server regular expression as typed (UTF-8).
    std::string user;
    // Source address as typed, "a.b.c.d".
    std::string source_ip;
    // Time bounds on the stored clock, both inclusive, each only when its
    // flag is set.
    bool start_on = false;
    unsigned start = 0;
    bool end_on = false;
    unsigned end = 0;
    // Content pattern, matched against the three language columns.
    std::string content;
};

// The filter statement: six texts joined by single blanks, in this order:
// the base statement, the user, source-address, start-time, end-time and
// content conditions. A condition not in force is empty and its blanks stay,
// so no input gives the base statement followed by five blanks.
// The patterns are escaped for `conn` (or, when it is not open, for a
// server with the default SQL mode), so the server sees exactly the typed
// regular expression inside its literal. Safe on any thread that may use
// `conn`; reads nothing but its arguments.
std::string filter_statement(const filter_inputs& in, MYSQL* conn);

// The conditions one by one, each with its surrounding blanks as it goes
// into the statement, or "" when not in force.
//
// " and cLogUser REGEXP '<user>' " when the text starts with an ASCII letter
// or digit.
std::string user_condition(std::string_view user, MYSQL* conn);
// " and dwSourceIP='<value>' " for a text with at least three dots; each of
// the four parts (the last one up to the end) counts by its leading digits,
// 0 without any, so "1.2.3.4.5" is 1.2.3.4. A part above 255 gives
// " and FALSE ", which matches nothing.
std::string source_ip_condition(std::string_view source_ip);
// "and (time >= '<start>') " / "and (time <= '<end>') ".
std::string start_condition(bool on, unsigned start);
std::string end_condition(bool on, unsigned end);
// " and (cLogContent_chinese REGEXP '<c>' or cLogContent_fanti REGEXP '<c>'
// or cLogContent_en REGEXP '<c>' )" when the text starts with an ASCII
// letter or digit.
std::string content_condition(std::string_view content, MYSQL* conn);

// Whether a user or content text is used: not empty and starting with an
// ASCII letter or digit.
bool pattern_in_force(std::string_view text);

// The deletion form of a filter statement: its leading "select * " becomes
// "delete   ", so it removes the rows the statement lists on all its pages,
// and " and (id_inc <= <max_id>)" is appended, so records stored after the
// rows were counted are kept. "" when the statement does not start with
// "select * ".
std::string filter_delete_statement(const std::string& statement, unsigned long long max_id);

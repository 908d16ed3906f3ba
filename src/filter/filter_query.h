// The filter's statements on the first connection: the count of the
// matches, the deletion of what was counted, and why a statement failed.
#pragma once

#include <string>

// Why a filter statement failed.
enum class filter_failure {
    none,
    rejected,     // the server refused it, for example a malformed pattern
    too_long,     // the server stopped it at the statement time limit
    unreachable,  // no connection to the server
};

// The kind of failure of a server or client error number.
filter_failure failure_of_error(unsigned err);
// Why the last statement on the first connection failed.
filter_failure last_filter_failure();

// The matches of a filter statement.
struct filter_count {
    filter_failure failure = filter_failure::none;
    long long count = 0;
    unsigned long long max_id = 0;  // largest id_inc among them, 0 for none
};

// Counts the matches of a filter statement (given without limit and order)
// from its first "from" on, within query_time_limit_s.
filter_count count_filter_matches(const std::string& statement);

// Deletes the matches of a filter statement whose id is at most max_id,
// so exactly what count_filter_matches counted (less what is gone since),
// within delete_time_limit_s. 0, or -1 when the statement failed or is no
// filter statement.
int delete_filter_matches(const std::string& statement, unsigned long long max_id);

// The reversed-source list: the first words of record texts whose source
// addresses are shown lowest byte first, and its file "reverse" (logic, no
// widget; the menu is browse/menu_reverse_source_ip.h).
//
// The list is read by the row reader (GetOneRowFromDB) on the main loop and
// on an export's worker; it changes only on the main loop, and the menu item
// that changes it is insensitive while an export runs.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

inline constexpr const char* REVERSE_FILE = "reverse";
// One record of the file: the key as zero-terminated text, at most 299 bytes.
inline constexpr std::size_t REVERSE_RECORD_SIZE = 300;
inline constexpr std::size_t REVERSE_KEY_MAX = REVERSE_RECORD_SIZE - 1;

// The key of a record text: its first word (the text up to its first space,
// the whole text when it has none), cut to REVERSE_KEY_MAX bytes at a
// character boundary.
std::string reverse_key(std::string_view content);

// The list entry equal to pChar (byte comparison), nullptr if none.
const char* Find_list(const char* pChar);

// Whether the source addresses of a record kind, given as the first word of
// its text, are shown lowest byte first: Find_list of its key. The row
// reader's test (set_source_reversed_test).
bool source_is_reversed(const char* first_word);

// Adds the key when it is not in the list, otherwise removes it. 1 added,
// 0 removed.
int toggle_reverse_key(std::string_view key);

// A copy of the entries in list order.
std::vector<std::string> reverse_list_entries();

// Frees every entry and empties the list (at shutdown).
void release_list();

// Replaces the list with the file at `path`: one entry per 300-byte record,
// its text up to its first zero byte or its 299th byte (a key held twice is
// taken once). 0 when loaded; -1
// with the list empty when the file is missing, unreadable, empty or not a
// multiple of 300 bytes long.
int read_reverse_file(const char* path = REVERSE_FILE);

// Replaces the file with one 300-byte record per entry (zero-padded), in list
// order, atomically; an empty list gives an empty file. 0 when written, -1
// otherwise (the file is then as it was).
int write_reverse_file(const char* path = REVERSE_FILE);

// "select cLogContent from LogTab  where (id_inc = '<id>') ".
std::string record_content_statement(unsigned id);

// The menu's action for the record `id`: reads its text on the first
// connection, toggles its key and rewrites the file. 1 added, 0 removed, -1
// when the statement fails or no row comes back (nothing changes).
int reverse_source_of_record(unsigned id, const char* path = REVERSE_FILE);

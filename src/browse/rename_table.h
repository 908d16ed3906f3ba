// Router aliases: the table of 200 records and its file "rename" (logic, no
// widget; the dialog and the tree side are in browse/rename.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// One alias record: the router address in dwIP form (all bits set when the
// record is free or its alias was removed) and the alias as zero-terminated
// UTF-8. The bytes after the terminator carry no meaning but are kept, so a
// record is written back exactly as it was read.
struct name_store_ {
    std::uint32_t ip;
    char name[400];
};
static_assert(sizeof(name_store_) == 404);

inline constexpr int RENAME_RECORDS = 200;
// The file holds the 200 records in table order, each as 4 bytes of `ip`
// (little-endian) and the 400 bytes of `name`; no header.
inline constexpr std::size_t RENAME_FILE_SIZE = RENAME_RECORDS * sizeof(name_store_);
static_assert(RENAME_FILE_SIZE == 80800);
inline constexpr const char* RENAME_FILE = "rename";
// The longest alias in bytes (the record keeps one byte for the terminator);
// a longer text is cut at a character boundary.
inline constexpr std::size_t RENAME_NAME_MAX = sizeof(name_store_::name) - 1;
inline constexpr std::uint32_t RENAME_NO_IP = 0xFFFFFFFFu;

// The table.
extern name_store_ name_save[RENAME_RECORDS];

// Every record free: ip all bits set, name all zero.
void clear_rename_table();

// A record is empty when the first four bytes of its name are zero; in use
// otherwise (a removed alias keeps its name and has ip RENAME_NO_IP, so it is
// never reused).
bool rename_record_empty(int pos);

// Index of the first record whose ip is `ip`, -1 if none.
int get_pos_by_ip(std::uint32_t ip);
// Index of the first empty record, -1 when all 200 are in use.
int get_empty_pos();

// Replaces the table with the file at `path` when it is exactly
// RENAME_FILE_SIZE bytes long and reads whole; 0 then. -1 otherwise (missing,
// short, long or unreadable), the table unchanged.
int read_rename_file(const char* path);
// Replaces the file with the table, atomically. 0 when written, -1 otherwise
// (the file is then as it was).
int write_rename_file(const char* path);

// The editing rule of the alias dialog for router `ip`: the router's own
// record, else the first empty one. A non-empty alias (cut to
// RENAME_NAME_MAX bytes at a character boundary) becomes that record's name,
// with `ip`; an empty alias sets that record's ip to RENAME_NO_IP and keeps
// its name. Returns the record's index, or -1 when the router has no record
// and none is empty (nothing changes then).
int set_rename(std::uint32_t ip, std::string_view alias);

// The alias the tree shows for `ip`: the name of the last record with that
// ip among the records before the first empty one (records after an empty
// one are never shown), as stored, up to its terminator or its 400th byte.
// False when there is none; RENAME_NO_IP names no router.
bool rename_shown(std::uint32_t ip, std::string_view& name_out);

// The stored name of record `pos`, up to its terminator or its 400th byte.
std::string_view rename_name(int pos);

// Calls fn(ip, name) for the records that the tree shows, from record 0 up
// to the first empty one, skipping removed aliases.
template <typename Fn> void for_each_shown_rename(Fn&& fn)
{
    for (int i = 0; i < RENAME_RECORDS && !rename_record_empty(i); ++i)
        if (name_save[i].ip != RENAME_NO_IP)
            fn(name_save[i].ip, rename_name(i));
}

// Rows kept while the database cannot be reached: an append-only spool file
// in the working directory, stored in order once the server answers again,
// and the program's way of storing built rows on `mysql_2` without storing
// any row twice.
#pragma once

#include "storage/mysql_ctrl.h"
#include "storage/mysql_data.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// The file the program spools to, in its working directory.
inline constexpr const char* SPOOL_FILE = "insert.spool";

// One spool file. Layout: an 8-byte magic, two header slots (written in
// turn, each with a sequence number and a checksum, so a torn header write
// leaves the other one), then the entries. An entry is one batch of rows:
// magic, row count, payload length, CRC-32 of count and payload, payload.
// Opening keeps every entry up to the first one that is cut short or does
// not match its checksum, and cuts the file there.
class row_spool {
public:
    // What is known of the first entry: how many of its rows are stored, and
    // how many rows after those went to the server in a statement whose
    // outcome is unknown (0: none), with the highest row id known before it.
    struct head_state {
        uint32_t rows_done = 0;
        uint32_t unknown_rows = 0;
        uint64_t id_bound = 0;
    };

    explicit row_spool(std::string path);
    ~row_spool();
    row_spool(const row_spool&) = delete;
    row_spool& operator=(const row_spool&) = delete;

    // Opens or creates the file and reads its entries. False when it cannot
    // be opened or created. Entries cut off by a torn write are removed.
    bool open();
    bool is_open() const { return fd_ >= 0; }

    bool empty() const { return entries_.empty(); }
    std::size_t entries() const { return entries_.size(); }
    // Rows of all entries not stored yet.
    std::size_t rows() const;
    // Entries dropped as torn when the file was opened.
    std::size_t torn_entries() const { return torn_; }

    // Appends one entry and syncs it to the disk; false when it could not be
    // written whole (the file is then as before).
    bool append(const std::vector<log_row>& rows);

    // The rows of the first entry (all of them, rows_done included).
    bool front(std::vector<log_row>& out) const;
    const head_state& head() const { return head_; }
    // Records progress within the first entry.
    void set_head(const head_state& state);
    // The first entry is stored: it leaves the spool. An empty spool is cut
    // back to its header.
    void pop_front();

private:
    struct entry {
        uint64_t offset;
        uint32_t rows;
        uint32_t bytes;  // whole entry
    };
    bool write_header();
    bool read_header(uint64_t& head_offset);
    // Checks or writes the magic and the header; the head entry's offset.
    bool start_file(uint64_t size, uint64_t& head_offset);
    // Reads the entries from `off` on, cutting the file at a torn one.
    bool read_entries(uint64_t off, uint64_t size);

    std::string path_;
    int fd_ = -1;
    std::vector<entry> entries_;  // from the head on
    std::size_t first_ = 0;       // index of the head in entries_ (popped ones before it)
    uint64_t end_ = 0;            // end of the last entry
    head_state head_;
    uint64_t seq_ = 0;
    std::size_t torn_ = 0;
};

// Serialised rows of one entry, and back; false for a payload that does not
// decode whole.
std::string encode_rows(const std::vector<log_row>& rows);
bool decode_rows(const std::string& payload, uint32_t count, std::vector<log_row>& out);
uint32_t spool_crc32(const void* data, std::size_t size, uint32_t crc = 0);

// What storing needs of the server; the program's are the `mysql_2`
// functions of mysql_ctrl.h, tests may put others here.
struct row_store_backend {
    // Runs an insert statement once: its outcome and, when stored, the
    // first id it assigned.
    std::function<insert_outcome(const std::string& sql, uint64_t& first_id)> insert;
    // Connected as far as known; one new connection attempt (at most one a
    // second after a failed one).
    std::function<bool()> connected;
    std::function<bool()> reconnect;
    // The highest id of a stored row equal to `row` above `bound`: nothing
    // when there is none, -1 in `error` when the question could not be put.
    std::function<std::optional<uint64_t>(const log_row& row, uint64_t bound, bool& error)>
        find_row;
    // The highest id in the table, nothing when it cannot be read.
    std::function<std::optional<uint64_t>()> max_id;
};

// The program's storing of built rows: straight to the server while it
// answers, into the spool while it does not, and from the spool, in order,
// before any new row once it answers again. A statement whose outcome is
// unknown (the connection died while it ran) is looked for after
// reconnecting before it is sent again. Rows the server refuses for their
// content are retried one by one; a row refused alone is counted and
// reported (insert_failed) and not spooled.
class row_store {
public:
    row_store(std::string spool_path, row_store_backend backend,
              std::function<void(const log_row&)> refused);

    // Stores `rows` after whatever is spooled, or spools them.
    void store(std::vector<log_row> rows);
    // Stores spooled entries until the spool is empty, the server cannot be
    // reached or `budget` has passed; true when the spool is empty.
    bool replay(std::chrono::milliseconds budget);

    std::size_t spooled_rows();
    uint64_t stored() const { return stored_; }
    uint64_t refused() const { return refused_; }
    // Rows that could be neither stored nor spooled (the spool unwritable).
    uint64_t lost() const { return lost_; }
    // Rows that went into the spool since start.
    uint64_t spooled_total() const { return spooled_total_; }

    // Called after a replay emptied the spool.
    void on_drained(std::function<void()> listener) { drained_ = std::move(listener); }

private:
    struct progress {
        std::size_t done = 0;
        std::size_t unknown = 0;  // rows after `done` in a statement of unknown outcome
        uint64_t bound = 0;
        bool one_by_one = false;
    };
    // Stores rows[p.done..]; false when the connection is lost (p says where).
    bool run_rows(const std::vector<log_row>& rows, progress& p,
                  const std::function<void(const progress&)>& persist);
    // Looks whether the statement of unknown outcome in `p` was stored;
    // false when the question could not be put.
    bool resolve_unknown(const std::vector<log_row>& rows, progress& p);
    // Opens the spool file; without `create` only when it exists.
    bool ensure_spool(bool create);
    void store_inner(std::vector<log_row> rows);
    bool replay_inner(std::chrono::milliseconds budget);
    void spool_rows(std::vector<log_row> rows, const progress& p);
    uint64_t bound();

    std::string path_;
    row_store_backend be_;
    std::function<void(const log_row&)> refused_cb_;
    std::function<void()> drained_;
    std::optional<row_spool> spool_;
    bool spool_failed_ = false;
    bool absent_ = false;            // no spool file when last looked
    std::optional<uint64_t> bound_;  // highest row id known
    uint64_t stored_ = 0;
    uint64_t refused_ = 0;
    uint64_t lost_ = 0;
    uint64_t spooled_total_ = 0;
    bool replayed_ = false;  // entries were stored from the spool since it was last empty
    bool busy_ = false;
    int depth_ = 0;  // store/replay calls in progress
    // Tells the drained listener, once the outermost call is done (so the
    // rows of a store() are in the table before the tree is recounted).
    void notify_drained();
};

// The program's row_store on `mysql_2` with SPOOL_FILE.
row_store& program_row_store();

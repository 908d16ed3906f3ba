#include "storage/spool.h"

#include "storage/mysql_ctrl.h"
#include "base/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

using clock_type = std::chrono::steady_clock;

constexpr char FILE_MAGIC[8] = {'L', 'G', 'S', 'P', 'O', 'O', 'L', '1'};
constexpr uint32_t ENTRY_MAGIC = 0x4C4F5053;  // "SPOL"
constexpr uint64_t SLOT_OFFSET = 8;
constexpr uint64_t SLOT_SIZE = 40;
constexpr uint64_t DATA_START = 96;
constexpr uint32_t ENTRY_HEAD = 16;
constexpr uint32_t MAX_PAYLOAD = 256u << 20;

// Slot: seq, head offset, rows done, unknown rows, id bound, crc of the
// 32 bytes before it, padding.
struct slot {
    uint64_t seq = 0;
    uint64_t head = 0;
    uint32_t rows_done = 0;
    uint32_t unknown = 0;
    uint64_t bound = 0;
};

void put32(std::string& out, uint32_t v)
{
    char b[4];
    std::memcpy(b, &v, 4);
    out.append(b, 4);
}

void put64(char* at, uint64_t v) { std::memcpy(at, &v, 8); }
void put32(char* at, uint32_t v) { std::memcpy(at, &v, 4); }

uint32_t get32(const char* at)
{
    uint32_t v;
    std::memcpy(&v, at, 4);
    return v;
}
uint64_t get64(const char* at)
{
    uint64_t v;
    std::memcpy(&v, at, 8);
    return v;
}

struct reader {
    const std::string& s;
    std::size_t pos = 0;
    bool ok = true;

    uint32_t u32()
    {
        if (pos + 4 > s.size()) {
            ok = false;
            return 0;
        }
        uint32_t v = get32(s.data() + pos);
        pos += 4;
        return v;
    }
    std::string text()
    {
        uint32_t n = u32();
        if (!ok || pos + n > s.size()) {
            ok = false;
            return {};
        }
        std::string v = s.substr(pos, n);
        pos += n;
        return v;
    }
};

void put_text(std::string& out, const std::string& s)
{
    put32(out, static_cast<uint32_t>(s.size()));
    out += s;
}

}  // namespace

uint32_t spool_crc32(const void* data, std::size_t size, uint32_t crc)
{
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t {};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    crc = ~crc;
    const auto* p = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i)
        crc = table[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

std::string encode_rows(const std::vector<log_row>& rows)
{
    std::string out;
    for (const log_row& r : rows) {
        put32(out, r.dwIP);
        put32(out, r.dwLogType);
        put32(out, r.dwSourceIP);
        put32(out, r.time);
        put_text(out, r.cLogUser);
        put_text(out, r.cLogContent);
        put_text(out, r.cLogNote);
        put_text(out, r.cLogContent_chinese);
        put_text(out, r.cLogContent_fanti);
        put_text(out, r.cLogContent_en);
    }
    return out;
}

bool decode_rows(const std::string& payload, uint32_t count, std::vector<log_row>& out)
{
    out.clear();
    out.reserve(count);
    reader in {payload};
    for (uint32_t i = 0; i < count && in.ok; ++i) {
        log_row r;
        r.dwIP = in.u32();
        r.dwLogType = in.u32();
        r.dwSourceIP = in.u32();
        r.time = in.u32();
        r.cLogUser = in.text();
        r.cLogContent = in.text();
        r.cLogNote = in.text();
        r.cLogContent_chinese = in.text();
        r.cLogContent_fanti = in.text();
        r.cLogContent_en = in.text();
        out.push_back(std::move(r));
    }
    return in.ok && in.pos == payload.size();
}

// ---------------------------------------------------------------- row_spool

row_spool::row_spool(std::string path) : path_(std::move(path)) { }

row_spool::~row_spool()
{
    if (fd_ >= 0)
        ::close(fd_);
}

std::size_t row_spool::rows() const
{
    std::size_t n = 0;
    for (std::size_t i = first_; i < entries_.size(); ++i)
        n += entries_[i].rows;
    if (!empty())
        n -= std::min<std::size_t>(head_.rows_done, entries_[first_].rows);
    return n;
}

bool row_spool::read_header(uint64_t& head_offset)
{
    char buf[2 * SLOT_SIZE];
    if (!pread_all(fd_, buf, sizeof buf, SLOT_OFFSET))
        return false;
    bool found = false;
    for (int i = 0; i < 2; ++i) {
        const char* s = buf + i * SLOT_SIZE;
        if (spool_crc32(s, 32) != get32(s + 32))
            continue;
        uint64_t seq = get64(s);
        if (found && seq <= seq_)
            continue;
        found = true;
        seq_ = seq;
        head_offset = get64(s + 8);
        head_.rows_done = get32(s + 16);
        head_.unknown_rows = get32(s + 20);
        head_.id_bound = get64(s + 24);
    }
    return found;
}

bool row_spool::write_header()
{
    ++seq_;
    char s[SLOT_SIZE] = {};
    put64(s, seq_);
    put64(s + 8, empty() ? DATA_START : entries_[first_].offset);
    put32(s + 16, head_.rows_done);
    put32(s + 20, head_.unknown_rows);
    put64(s + 24, head_.id_bound);
    put32(s + 32, spool_crc32(s, 32));
    if (!pwrite_all(fd_, s, sizeof s, SLOT_OFFSET + (seq_ % 2) * SLOT_SIZE))
        return false;
    return ::fdatasync(fd_) == 0;
}

bool row_spool::open()
{
    fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0)
        return false;
    struct stat st { };
    uint64_t head_offset = DATA_START;
    if (::fstat(fd_, &st) != 0 || !start_file(static_cast<uint64_t>(st.st_size), head_offset)) {
        ::close(fd_);
        fd_ = -1;
        return false;
    }
    if (!read_entries(head_offset, static_cast<uint64_t>(st.st_size)))
        return false;
    if (entries_.empty()) {
        head_ = {};
        end_ = DATA_START;
        if (::ftruncate(fd_, static_cast<off_t>(DATA_START)) != 0)
            return false;
    } else if (head_.rows_done + head_.unknown_rows > entries_.front().rows) {
        head_ = {};
    }
    return write_header();
}

bool row_spool::start_file(uint64_t size, uint64_t& head_offset)
{
    char magic[8] = {};
    const bool valid = size >= DATA_START && pread_all(fd_, magic, 8, 0) &&
        std::memcmp(magic, FILE_MAGIC, 8) == 0 && read_header(head_offset);
    if (!valid && size > 0)
        std::fprintf(stderr, "spool: %s has no valid header, started anew\n", path_.c_str());
    if (valid && head_offset >= DATA_START && head_offset <= size)
        return true;
    // A new file, or one emptied just before its header was written.
    head_ = {};
    head_offset = DATA_START;
    if (::ftruncate(fd_, valid ? static_cast<off_t>(DATA_START) : 0) != 0)
        return false;
    if (valid)
        return true;
    char start[DATA_START] = {};
    std::memcpy(start, FILE_MAGIC, 8);
    return pwrite_all(fd_, start, sizeof start, 0);
}

bool row_spool::read_entries(uint64_t off, uint64_t size)
{
    // The entries from the head on; the first that is cut short or does not
    // match its checksum ends the file.
    std::string payload;
    while (off < size) {
        char h[ENTRY_HEAD];
        bool ok = off + ENTRY_HEAD <= size && pread_all(fd_, h, ENTRY_HEAD, off);
        const uint32_t count = ok ? get32(h + 4) : 0;
        const uint32_t len = ok ? get32(h + 8) : 0;
        ok = ok && get32(h) == ENTRY_MAGIC && len <= MAX_PAYLOAD && off + ENTRY_HEAD + len <= size;
        if (ok) {
            payload.resize(len);
            ok = pread_all(fd_, payload.data(), len, off + ENTRY_HEAD) &&
                spool_crc32(payload.data(), payload.size(), spool_crc32(h + 4, 4)) == get32(h + 12);
        }
        if (!ok) {
            std::fprintf(stderr,
                         "spool: %s: entry at byte %llu is incomplete (torn write), "
                         "%llu bytes dropped; the %zu entries before it are kept\n",
                         path_.c_str(), static_cast<unsigned long long>(off),
                         static_cast<unsigned long long>(size - off), entries_.size());
            ++torn_;
            if (::ftruncate(fd_, static_cast<off_t>(off)) != 0)
                return false;
            break;
        }
        entries_.push_back({off, count, ENTRY_HEAD + len});
        off += ENTRY_HEAD + len;
    }
    end_ = off;
    return true;
}

bool row_spool::append(const std::vector<log_row>& rows)
{
    if (fd_ < 0 || rows.empty())
        return fd_ >= 0;
    std::string payload = encode_rows(rows);
    if (payload.size() > MAX_PAYLOAD)
        return false;
    std::string e;
    e.reserve(ENTRY_HEAD + payload.size());
    put32(e, ENTRY_MAGIC);
    put32(e, static_cast<uint32_t>(rows.size()));
    put32(e, static_cast<uint32_t>(payload.size()));
    uint32_t crc = spool_crc32(e.data() + 4, 4);
    put32(e, spool_crc32(payload.data(), payload.size(), crc));
    e += payload;
    if (!pwrite_all(fd_, e.data(), e.size(), end_) || ::fdatasync(fd_) != 0) {
        if (::ftruncate(fd_, static_cast<off_t>(end_)) != 0) {
            // The torn entry is found and cut at the next opening.
        }
        return false;
    }
    const bool was_empty = empty();
    entries_.push_back({end_, static_cast<uint32_t>(rows.size()), static_cast<uint32_t>(e.size())});
    end_ += e.size();
    if (was_empty)
        write_header();
    return true;
}

bool row_spool::front(std::vector<log_row>& out) const
{
    if (empty())
        return false;
    const entry& e = entries_[first_];
    std::string payload(e.bytes - ENTRY_HEAD, '\0');
    if (!pread_all(fd_, payload.data(), payload.size(), e.offset + ENTRY_HEAD))
        return false;
    return decode_rows(payload, e.rows, out);
}

void row_spool::set_head(const head_state& state)
{
    head_ = state;
    write_header();
}

void row_spool::pop_front()
{
    if (empty())
        return;
    head_ = {};
    ++first_;
    if (first_ >= entries_.size()) {
        entries_.clear();
        first_ = 0;
        end_ = DATA_START;
        // Cut first: a header still naming the old head then lies beyond
        // the end, which reads as empty.
        if (::ftruncate(fd_, static_cast<off_t>(DATA_START)) != 0) {
            // Left as it is; the header below makes it empty all the same.
        }
    }
    write_header();
    // The index of popped entries is dropped now and then.
    if (first_ > 1024) {
        entries_.erase(entries_.begin(), entries_.begin() + static_cast<std::ptrdiff_t>(first_));
        first_ = 0;
    }
}

// ---------------------------------------------------------------- row_store

row_store::row_store(std::string spool_path, row_store_backend backend,
                     std::function<void(const log_row&)> refused)
    : path_(std::move(spool_path)), be_(std::move(backend)), refused_cb_(std::move(refused))
{ }

bool row_store::ensure_spool(bool create)
{
    if (spool_ && spool_->is_open())
        return true;
    if (spool_failed_)
        return false;
    // No file is made until a row has to be spooled.
    if (!create && (absent_ || ::access(path_.c_str(), F_OK) != 0)) {
        absent_ = true;
        return false;
    }
    spool_.emplace(path_);
    if (!spool_->open()) {
        std::fprintf(stderr, "spool: cannot open %s: %s\n", path_.c_str(), std::strerror(errno));
        spool_failed_ = true;
        return false;
    }
    if (!spool_->empty())
        std::fprintf(stderr, "spool: %zu rows from an earlier run are waiting in %s\n",
                     spool_->rows(), path_.c_str());
    return true;
}

std::size_t row_store::spooled_rows()
{
    if (!ensure_spool(false))
        return 0;
    return spool_->rows();
}

uint64_t row_store::bound()
{
    if (!bound_ && be_.connected() && be_.max_id)
        if (auto v = be_.max_id())
            bound_ = *v;
    return bound_.value_or(0);
}

bool row_store::resolve_unknown(const std::vector<log_row>& rows, progress& p)
{
    // Look whether the statement's last row is there: a statement is stored
    // whole or not at all.
    bool error = false;
    std::optional<uint64_t> id = be_.find_row(rows[p.done + p.unknown - 1], p.bound, error);
    if (error)
        return false;
    if (id) {
        p.done += p.unknown;
        stored_ += p.unknown;
        bound_ = std::max(bound_.value_or(0), *id);
    }
    p.unknown = 0;
    return true;
}

bool row_store::run_rows(const std::vector<log_row>& rows, progress& p,
                         const std::function<void(const progress&)>& persist)
{
    int resent = 0;  // statements of unknown outcome in this call
    while (p.done < rows.size()) {
        if (!be_.connected() && !be_.reconnect())
            return false;
        if (p.unknown) {
            if (!resolve_unknown(rows, p))
                return false;
            persist(p);
            continue;
        }
        const std::size_t n = p.one_by_one ? 1 : rows.size() - p.done;
        std::string sql = insert_statement(mysql_2, {});
        for (std::size_t i = 0; i < n; ++i)
            sql += (i ? "," : "") + insert_values(mysql_2, rows[p.done + i]);
        p.bound = bound();
        // Noted before it is sent: when the program dies after the commit,
        // the next start looks for these rows instead of storing them again.
        progress sending = p;
        sending.unknown = n;
        persist(sending);
        uint64_t first = 0;
        const insert_outcome outcome = be_.insert(sql, first);
        if (outcome == insert_outcome::not_sent)
            return false;
        if (outcome == insert_outcome::stored) {
            p.done += n;
            stored_ += n;
            if (first)
                bound_ = std::max(bound_.value_or(0), first + n - 1);
        } else if (outcome == insert_outcome::refused && n > 1) {
            p.one_by_one = true;
            continue;
        } else if (outcome == insert_outcome::refused) {
            ++refused_;
            refused_cb_(rows[p.done]);
            ++p.done;
        } else {
            p.unknown = n;  // looked for before anything else is sent
            persist(p);
            if (++resent > 1)
                return false;  // tried again at the next flush
            continue;
        }
        if (p.done < rows.size())
            persist(p);
    }
    return true;
}

void row_store::spool_rows(std::vector<log_row> rows, const progress& p)
{
    const std::size_t n = rows.size();
    if (!ensure_spool(true) || !spool_->append(rows)) {
        lost_ += n;
        std::fprintf(stderr, "spool: %zu rows could be neither stored nor spooled\n", n);
        return;
    }
    spooled_total_ += n;
    if (spool_->entries() == 1 && p.unknown)
        spool_->set_head({0, static_cast<uint32_t>(p.unknown), p.bound});
}

void row_store::notify_drained()
{
    if (depth_ > 0 || !replayed_ || !spool_ || !spool_->empty())
        return;
    replayed_ = false;
    if (drained_)
        drained_();
}

void row_store::store(std::vector<log_row> rows)
{
    ++depth_;
    store_inner(std::move(rows));
    --depth_;
    notify_drained();
}

void row_store::store_inner(std::vector<log_row> rows)
{
    if (busy_) {
        // Called again from a drained listener: keep the order by spooling.
        if (!rows.empty())
            spool_rows(std::move(rows), {});
        return;
    }
    bool spool_empty = !ensure_spool(false) || spool_->empty();
    if (!spool_empty)
        spool_empty = replay_inner(std::chrono::milliseconds(20));
    if (rows.empty())
        return;
    if (!spool_empty) {
        spool_rows(std::move(rows), {});
        return;
    }
    progress p;
    busy_ = true;
    const bool done = run_rows(rows, p, [](const progress&) {});
    busy_ = false;
    if (done)
        return;
    rows.erase(rows.begin(), rows.begin() + static_cast<std::ptrdiff_t>(p.done));
    spool_rows(std::move(rows), p);
}

bool row_store::replay(std::chrono::milliseconds budget)
{
    ++depth_;
    const bool empty = replay_inner(budget);
    --depth_;
    notify_drained();
    return empty;
}

bool row_store::replay_inner(std::chrono::milliseconds budget)
{
    if (busy_)
        return false;
    if (!ensure_spool(false))
        return true;
    const auto deadline = clock_type::now() + budget;
    busy_ = true;
    while (!spool_->empty()) {
        std::vector<log_row> rows;
        if (!spool_->front(rows)) {
            std::fprintf(stderr, "spool: an entry of %s cannot be read, dropped\n", path_.c_str());
            spool_->pop_front();
            continue;
        }
        const row_spool::head_state& h = spool_->head();
        progress p;
        p.done = h.rows_done;
        p.unknown = h.unknown_rows;
        p.bound = h.id_bound;
        const bool done = run_rows(rows, p, [this](const progress& q) {
            spool_->set_head(
                {static_cast<uint32_t>(q.done), static_cast<uint32_t>(q.unknown), q.bound});
        });
        if (!done)
            break;
        spool_->pop_front();
        replayed_ = true;
        if (clock_type::now() >= deadline)
            break;
    }
    busy_ = false;
    return spool_->empty();
}

row_store& program_row_store()
{
    static row_store store(
        SPOOL_FILE,
        row_store_backend {
            insert_once_2,
            connected_2,
            reconnect_2,
            [](const log_row& row, uint64_t bound, bool& error) -> std::optional<uint64_t> {
                std::optional<uint64_t> id;
                const std::string sql = "select max(id_inc) from LogTab where id_inc > " +
                    std::to_string(bound) +
                    " and (dwIP,dwLogType,dwSourceIP,cLogUser,cLogContent,cLogNote,time,"
                    "cLogContent_chinese,cLogContent_fanti,cLogContent_en) = " +
                    insert_values(mysql_2, row);
                const int rc = query_number_2(sql, id);
                error = rc == -2;
                return rc == 0 ? id : std::nullopt;
            },
            []() -> std::optional<uint64_t> {
                std::optional<uint64_t> id;
                if (query_number_2("select max(id_inc) from LogTab", id) != 0)
                    return std::nullopt;
                return id.value_or(0);
            },
        },
        insert_failed);
    return store;
}

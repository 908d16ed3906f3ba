// The UDP receiver: one thread drains the socket into a bounded queue of
// decoded records, another hands them to the program's callback one at a
// time, so a callback that holds its thread does not make the socket
// overflow. When the memory queue is full, records go on in a file beside it
// (a disk-assisted queue); what is still queued at stop stays in that file
// and is delivered first at the next start.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "base/file_io.h"
#include "base/allow_list.h"
#include "base/config.h"
#include "syslog_record.h"
#include "udp_module.h"

namespace {

constexpr std::size_t default_queue_capacity = 262144;  // records, 624 bytes each
// The queue file, in the working directory.
constexpr const char* queue_file_name = "udp.queue";
// Below this much free space the queue file takes nothing more: the disk
// monitor's low threshold.
constexpr uint64_t default_min_free_mb = 1000;
// Records read from the queue file at a time.
constexpr std::size_t file_chunk = 256;
// Free space is looked at again after this many records went to the file.
constexpr uint64_t free_space_every = 4096;
// The most datagrams the last drain at stop reads.
constexpr int final_drain_max = 1 << 20;
// After reading what the socket held, the reader waits this long before it
// looks again, so records that trickle in are queued (and handed over) a few
// at a time rather than each waking every thread on its way: the longer wait
// when the socket buffer holds that long of any stream the program can store
// (as root it is enlarged past the system limit), else the shorter one.
constexpr int short_gather_ms = 4;
constexpr int long_gather_ms = 10;
constexpr int long_gather_buffer_bytes = 16 << 20;
// A read of this many datagrams or more is a fast stream: the shorter wait.
constexpr int busy_drain = 64;
constexpr int receive_buffer_bytes = 64 << 20;
constexpr std::size_t max_datagram = 65536;
// How long stop waits for a callback in progress.
constexpr std::chrono::milliseconds callback_wait {2000};

// Fixed-capacity ring of records. Its storage is left uninitialised, so only
// the pages a burst actually fills become resident.
class record_ring {
public:
    explicit record_ring(std::size_t capacity)
        : slots_(new tagCommunicationData_[capacity]), capacity_(capacity)
    { }

    bool empty() const { return count_ == 0; }
    bool full() const { return count_ == capacity_; }
    std::size_t size() const { return count_; }

    void push(const tagCommunicationData_& r)
    {
        slots_[(head_ + count_) % capacity_] = r;
        ++count_;
    }
    tagCommunicationData_ pop()
    {
        tagCommunicationData_ r = slots_[head_];
        head_ = (head_ + 1) % capacity_;
        --count_;
        return r;
    }

private:
    std::unique_ptr<tagCommunicationData_[]> slots_;
    std::size_t capacity_;
    std::size_t head_ = 0;
    std::size_t count_ = 0;
};

struct counters {
    std::atomic<uint64_t> received {0};
    std::atomic<uint64_t> delivered {0};
    std::atomic<uint64_t> dropped_full {0};
    std::atomic<uint64_t> malformed {0};
    std::atomic<uint64_t> queue_peak {0};
    std::atomic<uint64_t> spilled {0};
    std::atomic<uint64_t> restored {0};
    std::atomic<uint64_t> waiting {0};
    std::atomic<uint64_t> kept {0};
    std::atomic<uint64_t> refused {0};

    void reset()
    {
        for (auto* c : {&received, &delivered, &dropped_full, &malformed, &queue_peak, &spilled,
                        &restored, &waiting, &kept, &refused})
            c->store(0);
    }
};

counters g_counts;

class fd_holder {
public:
    explicit fd_holder(int fd = -1) : fd_(fd) { }
    ~fd_holder()
    {
        if (fd_ >= 0)
            close(fd_);
    }
    fd_holder(fd_holder&& o) noexcept : fd_(std::exchange(o.fd_, -1)) { }
    fd_holder& operator=(fd_holder&&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// As large a receive buffer as allowed: past the system limit as root,
// else up to it.
void enlarge_receive_buffer(int fd)
{
    int size = receive_buffer_bytes;
    if (setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) == 0)
        return;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
}

int gather_ms_for(int fd)
{
    int size = 0;
    socklen_t len = sizeof size;
    if (getsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, &len) != 0)
        return short_gather_ms;
    return size >= long_gather_buffer_bytes ? long_gather_ms : short_gather_ms;
}

// A number from the environment, `fallback` when unset or not a number.
uint64_t env_number(const char* name, uint64_t fallback)
{
    const char* v = std::getenv(name);
    if (v == nullptr || *v == '\0')
        return fallback;
    char* end = nullptr;
    unsigned long long n = std::strtoull(v, &end, 10);
    return (end && *end == '\0') ? n : fallback;
}

// The queue file: a 64-byte header (magic, index of the first record not yet
// delivered), then records of 624 bytes, slot i at 64 + 624 * i. A new file
// starts its records `room` slots in, so the memory queue's records can be
// put in front of it at stop without moving the rest (the hole takes no
// disk space).
class queue_file {
public:
    static constexpr char magic[8] = {'L', 'G', 'U', 'D', 'P', 'Q', '1', '\0'};
    static constexpr uint64_t header = 64;
    static constexpr uint64_t rec = sizeof(tagCommunicationData_);

    explicit queue_file(uint64_t room) : room_(room) { }
    ~queue_file()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }

    // Opens an existing file and takes its records; false when there is none
    // or it is not a queue file.
    bool open_existing()
    {
        fd_ = ::open(queue_file_name, O_RDWR | O_CLOEXEC);
        if (fd_ < 0)
            return false;
        struct stat st { };
        char head[header] = {};
        if (::fstat(fd_, &st) != 0 || static_cast<uint64_t>(st.st_size) < header ||
            !pread_all(fd_, head, header, 0) || std::memcmp(head, magic, sizeof magic) != 0) {
            std::fprintf(stderr, "udp.so: %s is not a queue file, left alone\n", queue_file_name);
            ::close(fd_);
            fd_ = -1;
            return false;
        }
        std::memcpy(&read_, head + 8, 8);
        write_ = (static_cast<uint64_t>(st.st_size) - header) / rec;  // a torn record is cut
        if (read_ > write_)
            read_ = write_;
        if (::ftruncate(fd_, static_cast<off_t>(header + write_ * rec)) != 0) {
            // Appending overwrites the torn tail all the same.
        }
        return true;
    }

    bool open_new()
    {
        if (fd_ < 0)
            fd_ = ::open(queue_file_name, O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd_ < 0)
            return false;
        return reset();
    }

    bool is_open() const { return fd_ >= 0; }
    uint64_t unread() const { return write_ - read_; }

    bool append(const tagCommunicationData_& r)
    {
        if (!pwrite_all(fd_, &r, rec, header + write_ * rec))
            return false;
        ++write_;
        return true;
    }

    // Reads up to `max` records from the first unread one on.
    std::size_t read_front(tagCommunicationData_* out, std::size_t max)
    {
        std::size_t n = static_cast<std::size_t>(std::min<uint64_t>(max, unread()));
        if (n == 0 || !pread_all(fd_, out, n * rec, header + read_ * rec))
            return 0;
        return n;
    }

    // The first unread record is delivered.
    void advance()
    {
        ++read_;
        write_read_index();
    }

    // Puts `n` records before the unread ones; false when there is no room
    // in front (then nothing changed).
    bool prepend(const tagCommunicationData_* r, uint64_t n)
    {
        if (n > read_)
            return false;
        if (!pwrite_all(fd_, r, n * rec, header + (read_ - n) * rec))
            return false;
        read_ -= n;
        return write_read_index();
    }

    // Puts `n` records before the unread ones by writing the file anew
    // (when there is no room in front of them).
    bool rewrite_with_front(const tagCommunicationData_* r, uint64_t n)
    {
        const std::string tmp = std::string(queue_file_name) + ".new";
        int out = ::open(tmp.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (out < 0)
            return false;
        char head[header] = {};
        std::memcpy(head, magic, sizeof magic);
        uint64_t zero = 0;
        std::memcpy(head + 8, &zero, 8);
        bool ok = pwrite_all(out, head, header, 0) && pwrite_all(out, r, n * rec, header);
        std::vector<char> buf(file_chunk * rec);
        uint64_t at = header + n * rec;
        for (uint64_t i = read_; ok && i < write_;) {
            uint64_t k = std::min<uint64_t>(file_chunk, write_ - i);
            ok = pread_all(fd_, buf.data(), k * rec, header + i * rec) &&
                pwrite_all(out, buf.data(), k * rec, at);
            at += k * rec;
            i += k;
        }
        if (!ok || ::rename(tmp.c_str(), queue_file_name) != 0) {
            ::close(out);
            ::unlink(tmp.c_str());
            return false;
        }
        ::close(fd_);
        fd_ = out;
        write_ = write_ - read_ + n;
        read_ = 0;
        return true;
    }

    // Empties the file: a new hole of `room` slots.
    bool reset()
    {
        char head[header] = {};
        std::memcpy(head, magic, sizeof magic);
        read_ = write_ = room_;
        std::memcpy(head + 8, &read_, 8);
        return ::ftruncate(fd_, 0) == 0 && pwrite_all(fd_, head, header, 0) &&
            ::ftruncate(fd_, static_cast<off_t>(header + room_ * rec)) == 0;
    }

    void remove()
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
        ::unlink(queue_file_name);
    }

private:
    bool write_read_index() { return pwrite_all(fd_, &read_, 8, 8); }

    uint64_t room_;
    int fd_ = -1;
    uint64_t read_ = 0;   // first record not yet delivered
    uint64_t write_ = 0;  // next free slot
};

// The queue between the two threads and the delivery loop: the memory ring,
// and behind it the queue file. Once a record went to the file, every later
// one does too until delivery has emptied the file, so the order holds. The
// delivery thread holds its own reference, so that a callback which does not
// return by the time the receiver stops cannot leave it pointing at freed
// memory.
class delivery_queue {
public:
    delivery_queue(RecvProc cb, std::size_t capacity)
        : cb_(cb), ring_(capacity), file_(capacity),
          min_free_bytes_(env_number("LOGSERVER_UDP_QUEUE_MIN_FREE_MB", default_min_free_mb) << 20),
          chunk_(new tagCommunicationData_[file_chunk])
    {
        // Records an earlier stop left: delivered first.
        if (file_.open_existing()) {
            if (file_.unread() > 0) {
                spilling_ = true;
                g_counts.restored.store(file_.unread());
                g_counts.waiting.fetch_add(file_.unread());
            } else {
                file_.remove();
            }
        }
    }

    // Queues a record; true when the delivery thread may be asleep on an
    // empty queue and wake() must follow (once for a whole batch).
    bool push(const tagCommunicationData_& rec)
    {
        bool wake = false;
        {
            std::lock_guard lock(mutex_);
            if (persisted_) {
                g_counts.dropped_full.fetch_add(1, std::memory_order_relaxed);
                return false;
            }
            if (!spilling_ && !ring_.full()) {
                wake = ring_.empty();
                ring_.push(rec);
                if (ring_.size() > g_counts.queue_peak.load(std::memory_order_relaxed))
                    g_counts.queue_peak.store(ring_.size(), std::memory_order_relaxed);
            } else {
                if (!spill(rec)) {
                    g_counts.dropped_full.fetch_add(1, std::memory_order_relaxed);
                    return false;
                }
                wake = ring_.empty() && file_.unread() == 1;
            }
            g_counts.waiting.fetch_add(1, std::memory_order_relaxed);
        }
        return wake;
    }

    void wake() { changed_.notify_all(); }

    // Hands queued records to the callback one at a time, outside the lock,
    // memory first, then the file, until stop().
    void run()
    {
        pthread_setname_np(pthread_self(), "udp-deliver");
        for (;;) {
            tagCommunicationData_ rec;
            bool from_file = false;
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [this] {
                    return stopping_ || !ring_.empty() || (spilling_ && file_.unread() > 0);
                });
                if (stopping_)
                    break;
                if (!ring_.empty()) {
                    rec = ring_.pop();
                } else {
                    if (chunk_pos_ == chunk_len_) {
                        chunk_len_ = file_.read_front(chunk_.get(), file_chunk);
                        chunk_pos_ = 0;
                        if (chunk_len_ == 0) {
                            // Unreadable: what is in the file is lost.
                            g_counts.dropped_full.fetch_add(file_.unread());
                            g_counts.waiting.fetch_sub(file_.unread());
                            file_.reset();
                            spilling_ = false;
                            continue;
                        }
                    }
                    rec = chunk_[chunk_pos_++];
                    from_file = true;
                }
                g_counts.waiting.fetch_sub(1, std::memory_order_relaxed);
            }
            cb_(&rec);
            g_counts.delivered.fetch_add(1, std::memory_order_relaxed);
            if (from_file) {
                std::lock_guard lock(mutex_);
                if (persisted_)
                    continue;  // stop gave up waiting for this callback
                file_.advance();
                if (file_.unread() == 0) {
                    // Delivery has caught up: memory again.
                    file_.reset();
                    chunk_pos_ = chunk_len_ = 0;
                    spilling_ = false;
                }
            }
        }
        std::lock_guard lock(mutex_);
        finished_ = true;
        changed_.notify_all();
    }

    void stop()
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        changed_.notify_all();
    }

    // True once run() has returned, false when it still has not after `wait`.
    bool wait_finished(std::chrono::milliseconds wait)
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, wait, [this] { return finished_; });
    }

    // After stop: what is still queued is kept in the file, the memory
    // queue's records in front of the file's; an empty queue leaves no file.
    void persist()
    {
        std::lock_guard lock(mutex_);
        if (persisted_)
            return;
        persisted_ = true;
        const uint64_t n = ring_.size();
        if (n == 0 && (!file_.is_open() || file_.unread() == 0)) {
            if (file_.is_open())
                file_.remove();
            return;
        }
        if (n > 0) {
            std::vector<tagCommunicationData_> mem;
            mem.reserve(n);
            while (!ring_.empty())
                mem.push_back(ring_.pop());
            if (!file_.is_open() && !file_.open_new()) {
                lose(n, "cannot create the queue file");
                return;
            }
            if (!file_.prepend(mem.data(), n) && !file_.rewrite_with_front(mem.data(), n)) {
                lose(n + file_.unread(), "cannot write the queue file");
                file_.remove();
                return;
            }
        }
        g_counts.kept.store(file_.unread());
    }

private:
    // A record into the queue file; false when it cannot take it (disk low
    // or the file unwritable).
    bool spill(const tagCommunicationData_& rec)
    {
        if (since_free_check_ == 0 || since_free_check_ >= free_space_every) {
            struct statvfs st { };
            disk_low_ = statvfs(".", &st) == 0 &&
                static_cast<uint64_t>(st.f_bavail) * st.f_frsize < min_free_bytes_;
            since_free_check_ = 0;
        }
        ++since_free_check_;
        if (disk_low_)
            return false;
        if (!file_.is_open() && !file_.open_new())
            return false;
        if (!file_.append(rec))
            return false;
        spilling_ = true;
        g_counts.spilled.fetch_add(1, std::memory_order_relaxed);
        return true;
    }

    void lose(uint64_t n, const char* why)
    {
        std::fprintf(stderr, "udp.so: %s, %llu queued records lost\n", why,
                     static_cast<unsigned long long>(n));
        g_counts.dropped_full.fetch_add(n);
    }

    RecvProc cb_;
    std::mutex mutex_;
    std::condition_variable changed_;
    record_ring ring_;
    queue_file file_;
    uint64_t min_free_bytes_;
    std::unique_ptr<tagCommunicationData_[]> chunk_;
    std::size_t chunk_pos_ = 0;
    std::size_t chunk_len_ = 0;
    uint64_t since_free_check_ = 0;
    bool disk_low_ = false;
    bool spilling_ = false;  // records go to the file until it is empty
    bool stopping_ = false;
    bool finished_ = false;
    bool persisted_ = false;
};

class receiver {
public:
    receiver(RecvProc cb, fd_holder sock, fd_holder wake, std::size_t capacity,
             std::string allow_path)
        : sock_(std::move(sock)), wake_(std::move(wake)),
          queue_(std::make_shared<delivery_queue>(cb, capacity)), allow_(std::move(allow_path))
    {
        reader_ = std::thread([this] { read_loop(); });
        try {
            deliverer_ = std::thread([q = queue_] { q->run(); });
        } catch (...) {
            stop();
            throw;
        }
    }
    ~receiver() { stop(); }

    void stop()
    {
        stopping_ = true;
        uint64_t one = 1;
        if (write(wake_.get(), &one, sizeof one) < 0) {
            // The reader also sees stopping_ before its next datagram.
        }
        if (reader_.joinable())
            reader_.join();
        queue_->stop();
        if (deliverer_.joinable()) {
            if (queue_->wait_finished(callback_wait)) {
                deliverer_.join();
            } else {
                // The callback waits for something that will not come, e.g. a
                // main loop that has ended: leave it rather than hang.
                std::fprintf(stderr, "udp.so: callback still busy at stop, not waiting for it\n");
                deliverer_.detach();
            }
        }
        queue_->persist();
    }

private:
    void read_loop()
    {
        pthread_setname_np(pthread_self(), "udp-recv");
        std::vector<char> buf(max_datagram);
        pollfd fds[2] = {{sock_.get(), POLLIN, 0}, {wake_.get(), POLLIN, 0}};
        const int gather_ms = gather_ms_for(sock_.get());
        while (!stopping_) {
            if (poll(fds, 2, -1) < 0 && errno != EINTR)
                break;
            if (fds[1].revents != 0)
                break;
            // A fast stream is read again soon: its records come anyway.
            const int wait = drain(buf, false) >= busy_drain ? short_gather_ms : gather_ms;
            if (poll(&fds[1], 1, wait) > 0)
                break;  // stop
        }
        // What the socket still holds is queued too, so a stop loses nothing
        // that reached it.
        drain(buf, true);
    }

    // Reads every datagram that is waiting; until stop, or at stop a bounded
    // number. The delivery thread is woken once for what one read queued (and
    // every wake_batch records of a long one), not for each record. Returns
    // the number of datagrams read.
    int drain(std::vector<char>& buf, bool final)
    {
        int read = 0;
        constexpr int wake_batch = 256;
        bool wake_due = false;
        int since_wake = 0;
        for (int left = final_drain_max; final ? left > 0 : !stopping_; --left) {
            sockaddr_in from {};
            socklen_t from_len = sizeof from;
            ssize_t n = recvfrom(sock_.get(), buf.data(), buf.size(), MSG_DONTWAIT,
                                 reinterpret_cast<sockaddr*>(&from), &from_len);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                break;  // EAGAIN: drained; anything else: wait for the next
            }
            tagCommunicationData_ rec;
            if (!allow_.allows(ntohl(from.sin_addr.s_addr)))
                g_counts.refused.fetch_add(1, std::memory_order_relaxed);
            else if (udp::decode_datagram({buf.data(), static_cast<std::size_t>(n)},
                                          udp::dwip_from_network(from.sin_addr.s_addr), rec))
                wake_due = queue_->push(rec) || wake_due;
            else
                g_counts.malformed.fetch_add(1, std::memory_order_relaxed);
            // Counted once its outcome is, so the counts always add up.
            g_counts.received.fetch_add(1, std::memory_order_release);
            ++read;
            if (wake_due && ++since_wake >= wake_batch) {
                queue_->wake();
                wake_due = false;
                since_wake = 0;
            }
        }
        if (wake_due)
            queue_->wake();
        return read;
    }

    fd_holder sock_;
    fd_holder wake_;
    std::shared_ptr<delivery_queue> queue_;
    allow_watch allow_;  // "allow_routers" of the working directory at start
    std::atomic<bool> stopping_ {false};
    std::thread reader_;
    std::thread deliverer_;
};

std::mutex g_life;  // guards g_receiver across start and stop
std::unique_ptr<receiver> g_receiver;
std::atomic<int> g_port {-1};

}  // namespace

extern "C" int start_udp(RecvProc cb)
{
    std::lock_guard lock(g_life);
    if (g_receiver || cb == nullptr)
        return -1;
    uint16_t port = config_file_udp_port(CONFIG_FILE);
    fd_holder sock(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (sock.get() < 0)
        return -1;
    enlarge_receive_buffer(sock.get());
    sockaddr_in addr {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    addr.sin_port = htons(port);
    if (bind(sock.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
        return -1;
    fd_holder wake(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (wake.get() < 0)
        return -1;
    g_counts.reset();
    try {
        std::size_t capacity = static_cast<std::size_t>(
            env_number("LOGSERVER_UDP_QUEUE_RECORDS", default_queue_capacity));
        char* cwd = getcwd(nullptr, 0);
        std::string allow_path = std::string(cwd ? cwd : ".") + "/" + ALLOW_ROUTERS_FILE;
        std::free(cwd);
        g_receiver = std::make_unique<receiver>(cb, std::move(sock), std::move(wake),
                                                capacity > 0 ? capacity : 1, std::move(allow_path));
    } catch (...) {
        return -1;
    }
    g_port = port;
    return 0;
}

extern "C" void stop_udp(void)
{
    std::lock_guard lock(g_life);
    g_port = -1;
    g_receiver.reset();
}

extern "C" void udp_get_counts(udp_counts* counts)
{
    if (counts == nullptr)
        return;
    counts->received = g_counts.received.load();
    counts->delivered = g_counts.delivered.load();
    counts->dropped_full = g_counts.dropped_full.load();
    counts->malformed = g_counts.malformed.load();
    counts->queue_peak = g_counts.queue_peak.load();
    counts->spilled = g_counts.spilled.load();
    counts->restored = g_counts.restored.load();
    counts->waiting = g_counts.waiting.load();
    counts->kept = g_counts.kept.load();
    counts->refused = g_counts.refused.load();
}

extern "C" int udp_bound_port(void) { return g_port.load(); }

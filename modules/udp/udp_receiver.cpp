// The UDP receiver: one thread drains the socket into a bounded queue of
// decoded records, another hands them to the program's callback one at a
// time, so a callback that holds its thread does not make the socket
// overflow.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "syslog_record.h"
#include "udp_module.h"

namespace {

constexpr std::size_t queue_capacity = 262144;  // records, 624 bytes each
constexpr int receive_buffer_bytes = 64 << 20;
constexpr std::size_t max_datagram = 65536;
// How long stop waits for a callback in progress.
constexpr std::chrono::milliseconds callback_wait{2000};

// Fixed-capacity ring of records. Its storage is left uninitialised, so only
// the pages a burst actually fills become resident.
class record_ring {
public:
    explicit record_ring(std::size_t capacity)
        : slots_(new tagCommunicationData_[capacity]), capacity_(capacity) {}

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
    std::atomic<uint64_t> received{0};
    std::atomic<uint64_t> delivered{0};
    std::atomic<uint64_t> dropped_full{0};
    std::atomic<uint64_t> malformed{0};
    std::atomic<uint64_t> queue_peak{0};

    void reset()
    {
        for (auto* c : {&received, &delivered, &dropped_full, &malformed, &queue_peak})
            c->store(0);
    }
};

counters g_counts;

class fd_holder {
public:
    explicit fd_holder(int fd = -1) : fd_(fd) {}
    ~fd_holder()
    {
        if (fd_ >= 0)
            close(fd_);
    }
    fd_holder(fd_holder&& o) noexcept : fd_(std::exchange(o.fd_, -1)) {}
    fd_holder& operator=(fd_holder&&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

uint16_t configured_port()
{
    std::vector<char> buf(500);
    std::size_t n = 0;
    if (FILE* f = std::fopen("config", "rb")) {
        n = std::fread(buf.data(), 1, buf.size(), f);
        std::fclose(f);
    }
    return udp::udp_port_from_config({buf.data(), n});
}

// As large a receive buffer as allowed: past the system limit as root,
// else up to it.
void enlarge_receive_buffer(int fd)
{
    int size = receive_buffer_bytes;
    if (setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) == 0)
        return;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
}

// The queue between the two threads and the delivery loop. The delivery
// thread holds its own reference, so that a callback which does not return
// by the time the receiver stops cannot leave it pointing at freed memory.
class delivery_queue {
public:
    explicit delivery_queue(RecvProc cb) : cb_(cb), ring_(queue_capacity) {}

    void push(const tagCommunicationData_& rec)
    {
        bool was_empty = false;
        {
            std::lock_guard lock(mutex_);
            if (ring_.full()) {
                g_counts.dropped_full.fetch_add(1, std::memory_order_relaxed);
                return;
            }
            was_empty = ring_.empty();
            ring_.push(rec);
            if (ring_.size() > g_counts.queue_peak.load(std::memory_order_relaxed))
                g_counts.queue_peak.store(ring_.size(), std::memory_order_relaxed);
        }
        if (was_empty)
            changed_.notify_all();
    }

    // Hands queued records to the callback one at a time, outside the lock,
    // until stop().
    void run()
    {
        pthread_setname_np(pthread_self(), "udp-deliver");
        for (;;) {
            tagCommunicationData_ rec;
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [this] { return stopping_ || !ring_.empty(); });
                if (stopping_)
                    break;
                rec = ring_.pop();
            }
            cb_(&rec);
            g_counts.delivered.fetch_add(1, std::memory_order_relaxed);
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

private:
    RecvProc cb_;
    std::mutex mutex_;
    std::condition_variable changed_;
    record_ring ring_;
    bool stopping_ = false;
    bool finished_ = false;
};

class receiver {
public:
    receiver(RecvProc cb, fd_holder sock, fd_holder wake)
        : sock_(std::move(sock)), wake_(std::move(wake)),
          queue_(std::make_shared<delivery_queue>(cb))
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
        if (!deliverer_.joinable())
            return;
        if (queue_->wait_finished(callback_wait)) {
            deliverer_.join();
        } else {
            // The callback waits for something that will not come, e.g. a
            // main loop that has ended: leave it rather than hang.
            std::fprintf(stderr, "udp.so: callback still busy at stop, not waiting for it\n");
            deliverer_.detach();
        }
    }

private:
    void read_loop()
    {
        pthread_setname_np(pthread_self(), "udp-recv");
        std::vector<char> buf(max_datagram);
        pollfd fds[2] = {{sock_.get(), POLLIN, 0}, {wake_.get(), POLLIN, 0}};
        while (!stopping_) {
            if (poll(fds, 2, -1) < 0 && errno != EINTR)
                break;
            if (fds[1].revents != 0)
                break;
            drain(buf);
        }
    }

    // Reads every datagram that is waiting.
    void drain(std::vector<char>& buf)
    {
        while (!stopping_) {
            sockaddr_in from{};
            socklen_t from_len = sizeof from;
            ssize_t n = recvfrom(sock_.get(), buf.data(), buf.size(), MSG_DONTWAIT,
                                 reinterpret_cast<sockaddr*>(&from), &from_len);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return;  // EAGAIN: drained; anything else: wait for the next
            }
            tagCommunicationData_ rec;
            if (udp::decode_datagram({buf.data(), static_cast<std::size_t>(n)},
                                     udp::dwip_from_network(from.sin_addr.s_addr), rec))
                queue_->push(rec);
            else
                g_counts.malformed.fetch_add(1, std::memory_order_relaxed);
            // Counted once its outcome is, so the counts always add up.
            g_counts.received.fetch_add(1, std::memory_order_release);
        }
    }

    fd_holder sock_;
    fd_holder wake_;
    std::shared_ptr<delivery_queue> queue_;
    std::atomic<bool> stopping_{false};
    std::thread reader_;
    std::thread deliverer_;
};

std::mutex g_life;  // guards g_receiver across start and stop
std::unique_ptr<receiver> g_receiver;
std::atomic<int> g_port{-1};

}  // namespace

extern "C" int start_udp(RecvProc cb)
{
    std::lock_guard lock(g_life);
    if (g_receiver || cb == nullptr)
        return -1;
    uint16_t port = configured_port();
    fd_holder sock(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (sock.get() < 0)
        return -1;
    enlarge_receive_buffer(sock.get());
    sockaddr_in addr{};
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
        g_receiver = std::make_unique<receiver>(cb, std::move(sock), std::move(wake));
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
}

extern "C" int udp_bound_port(void)
{
    return g_port.load();
}

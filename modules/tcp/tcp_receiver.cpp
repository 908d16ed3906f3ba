// The mail receiver: a GIO threaded socket service runs one SMTP session per
// connection on a worker thread; each accepted message is stored as a file,
// and a thread of the module's own hands one record of type 144 per stored
// mail to the program's callback, one at a time.

#include <gio/gio.h>
#include <pthread.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "base/allow_list.h"
#include "mail_store.h"
#include "smtp_protocol.h"
#include "tcp_module.h"

namespace {

constexpr uint16_t default_port = 20025;
constexpr tcp_limits default_limits {25ull << 20, 512, 100, 5 * 60 * 1000, 64};
// Records waiting for the callback; beyond, a record is dropped (its mail is
// stored and shows at the next rescan of the store).
constexpr std::size_t max_waiting_records = 100000;
// How long stop waits for a callback in progress, and for the sessions.
constexpr std::chrono::milliseconds stop_wait {2000};
// Protocol errors after which a session is closed.
constexpr int max_errors = 20;
constexpr std::size_t read_buffer_bytes = 64 * 1024;
constexpr std::size_t write_chunk_bytes = 64 * 1024;
constexpr int listen_backlog = 128;

struct counters {
    std::atomic<uint64_t> sessions {0};
    std::atomic<uint64_t> refused {0};
    std::atomic<uint64_t> busy {0};
    std::atomic<uint64_t> stored {0};

    void reset()
    {
        for (auto* c : {&sessions, &refused, &busy, &stored})
            c->store(0);
    }
};

counters g_counts;

template <class T> struct g_unref {
    void operator()(T* p) const { g_object_unref(p); }
};
template <class T> using gobject_ptr = std::unique_ptr<T, g_unref<T>>;

struct error_holder {
    GError* e = nullptr;
    ~error_holder() { g_clear_error(&e); }
    bool matches(GIOErrorEnum code) const { return g_error_matches(e, G_IO_ERROR, code); }
};

// Gives the calling thread a name for as long as it lives, then the old one
// back (the session threads belong to GLib's pool).
class thread_name {
public:
    explicit thread_name(const char* name)
    {
        pthread_getname_np(pthread_self(), old_, sizeof old_);
        pthread_setname_np(pthread_self(), name);
    }
    ~thread_name() { pthread_setname_np(pthread_self(), old_); }
    thread_name(const thread_name&) = delete;
    thread_name& operator=(const thread_name&) = delete;

private:
    char old_[16] = {};
};

uint16_t configured_port()
{
    gchar* text = nullptr;
    if (!g_file_get_contents("smtp_port", &text, nullptr, nullptr))
        return default_port;
    guint64 port = 0;
    gchar* line = g_strstrip(text);
    gboolean ok = g_ascii_string_to_unsigned(line, 10, 1, 65535, &port, nullptr);
    g_free(text);
    return ok ? static_cast<uint16_t>(port) : default_port;
}

tcp_limits with_defaults(tcp_limits l)
{
    if (l.max_message_bytes == 0)
        l.max_message_bytes = default_limits.max_message_bytes;
    if (l.max_line_bytes == 0)
        l.max_line_bytes = default_limits.max_line_bytes;
    if (l.max_recipients == 0)
        l.max_recipients = default_limits.max_recipients;
    if (l.idle_timeout_ms == 0)
        l.idle_timeout_ms = default_limits.idle_timeout_ms;
    if (l.max_sessions == 0)
        l.max_sessions = default_limits.max_sessions;
    return l;
}

// Router addresses of stored mails on their way to the callback. The
// delivering thread holds its own reference, so a callback that has not
// returned by the time the receiver stops cannot leave it on freed memory.
class delivery_queue {
public:
    explicit delivery_queue(RecvProc cb) : cb_(cb) { }

    void push(uint32_t dwip)
    {
        {
            std::lock_guard lock(mutex_);
            if (stopping_ || waiting_.size() >= max_waiting_records)
                return;
            waiting_.push_back(dwip);
        }
        changed_.notify_all();
    }

    void run()
    {
        thread_name name("smtp-deliver");
        for (;;) {
            tagCommunicationData_ rec {};
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
                if (stopping_)
                    break;
                rec.dwIP = waiting_.front();
                waiting_.pop_front();
            }
            rec.msg.impMsg.dwLogType = LOG_TYPE_EMAIL;
            cb_(&rec);
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

    bool wait_finished(std::chrono::milliseconds wait)
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, wait, [this] { return finished_; });
    }

private:
    RecvProc cb_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<uint32_t> waiting_;
    bool stopping_ = false;
    bool finished_ = false;
};

// What the sessions of one run share.
struct shared_state {
    shared_state(tcp_limits l, const std::string& dir, std::shared_ptr<delivery_queue> q)
        : limits(l), host(g_get_host_name()), store(dir + "/mail_save"), delivery(std::move(q)),
          allow(dir + "/" + ALLOW_ROUTERS_FILE), cancel(g_cancellable_new())
    { }
    ~shared_state() { g_object_unref(cancel); }

    const tcp_limits limits;
    const std::string host;
    const tcp::mail_store store;
    const std::shared_ptr<delivery_queue> delivery;
    allow_watch allow;           // "allow_routers" of the working directory at start
    GCancellable* const cancel;  // cancelled at stop: every session ends

    std::mutex mutex;
    std::condition_variable changed;
    unsigned sessions = 0;  // handlers running, refused ones included
};

enum class io { ok, closed, timeout, cancelled };

// One SMTP conversation on a connected socket.
class session {
public:
    session(shared_state& st, GSocket* sock, uint32_t router)
        : st_(st), sock_(sock), router_(router), buf_(read_buffer_bytes)
    {
        g_socket_set_blocking(sock_, FALSE);
    }

    void refuse_busy()
    {
        reply("421 4.7.0 " + st_.host + " Too many connections, try again later");
    }

    // A peer outside "allow_routers": refused in place of the greeting.
    void refuse_outsider() { reply("554 5.7.1 " + st_.host + " Access denied"); }

    void run()
    {
        if (!reply("220 " + st_.host + " ESMTP mail receiver"))
            return;
        for (;;) {
            std::string line;
            bool overlong = false;
            io r = read_command(line, overlong);
            if (r != io::ok) {
                end_with(r);
                return;
            }
            if (overlong ? !error("500 5.5.2 Line too long") : !dispatch(line))
                return;
        }
    }

private:
    // Replies for the ways a read can end; nothing to a peer that has gone.
    void end_with(io r)
    {
        if (r == io::timeout)
            reply("421 4.4.2 " + st_.host + " Idle timeout, closing connection");
        else if (r == io::cancelled)
            reply("421 4.3.2 " + st_.host + " Service shutting down");
    }

    // False when the session is over.
    bool dispatch(std::string_view line)
    {
        smtp::command cmd = smtp::parse_command(line);
        switch (cmd.what) {
        case smtp::verb::ehlo:
        case smtp::verb::helo:
            return hello(cmd);
        case smtp::verb::mail:
            return mail(cmd.arg);
        case smtp::verb::rcpt:
            return rcpt(cmd.arg);
        case smtp::verb::data:
            if (!cmd.arg.empty())
                return error("501 5.5.4 Syntax: DATA");
            if (!in_mail_)
                return error("503 5.5.1 Need MAIL command");
            if (recipients_ == 0)
                return error("554 5.5.1 No valid recipients");
            return receive_message();
        case smtp::verb::rset:
            if (!cmd.arg.empty())
                return error("501 5.5.4 Syntax: RSET");
            reset();
            return reply("250 2.0.0 Ok");
        case smtp::verb::noop:
            return reply("250 2.0.0 Ok");
        case smtp::verb::quit:
            reply("221 2.0.0 Bye");
            return false;
        case smtp::verb::vrfy:
            return reply("252 2.0.0 Cannot VRFY user, but will accept message");
        case smtp::verb::help:
            return reply("214 2.0.0 Commands: EHLO HELO MAIL RCPT DATA RSET NOOP QUIT VRFY HELP");
        case smtp::verb::not_implemented:
            return error("502 5.5.1 Command not implemented");
        case smtp::verb::unknown:
            break;
        }
        return error("500 5.5.2 Command not recognized");
    }

    bool hello(const smtp::command& cmd)
    {
        if (cmd.arg.empty())
            return error("501 5.5.4 Syntax: EHLO hostname");
        greeted_ = true;
        reset();
        if (cmd.what == smtp::verb::helo)
            return reply("250 " + st_.host);
        return reply(
            "250-" + st_.host + "\r\n250-SIZE " + std::to_string(st_.limits.max_message_bytes) +
            "\r\n250-8BITMIME\r\n250-SMTPUTF8\r\n250-PIPELINING\r\n250 ENHANCEDSTATUSCODES");
    }

    bool mail(std::string_view arg)
    {
        if (!greeted_)
            return error("503 5.5.1 Send EHLO or HELO first");
        if (in_mail_)
            return error("503 5.5.1 Sender already given");
        smtp::mail_from from = smtp::parse_mail_from(arg);
        if (from.status == smtp::arg_status::syntax)
            return error("501 5.5.4 Syntax: MAIL FROM:<address>");
        if (from.status == smtp::arg_status::unknown_parameter)
            return error("555 5.5.4 Unsupported MAIL parameter");
        if (from.has_size && from.size > st_.limits.max_message_bytes)
            return reply("552 5.3.4 Message size exceeds fixed maximum message size");
        in_mail_ = true;
        return reply("250 2.1.0 Ok");
    }

    bool rcpt(std::string_view arg)
    {
        if (!in_mail_)
            return error("503 5.5.1 Need MAIL command");
        smtp::arg_status to = smtp::parse_rcpt_to(arg);
        if (to == smtp::arg_status::syntax)
            return error("501 5.5.4 Syntax: RCPT TO:<address>");
        if (to == smtp::arg_status::unknown_parameter)
            return error("555 5.5.4 Unsupported RCPT parameter");
        if (recipients_ >= st_.limits.max_recipients)
            return reply("452 4.5.3 Too many recipients");
        ++recipients_;
        return reply("250 2.1.5 Ok");
    }

    void reset()
    {
        in_mail_ = false;
        recipients_ = 0;
    }

    // A reply to a bad command; too many of them end the session.
    bool error(const std::string& text)
    {
        if (++errors_ >= max_errors) {
            reply("421 4.7.0 " + st_.host + " Too many errors, closing connection");
            return false;
        }
        return reply(text);
    }

    // Reads the message after DATA, stores it and replies.
    bool receive_message()
    {
        reset();
        if (!reply("354 End data with <CR><LF>.<CR><LF>"))
            return false;
        std::unique_ptr<tcp::mail_file> file = st_.store.begin(router_);
        bool store_failed = !file;
        bool too_big = false;
        uint64_t size = 0;
        smtp::data_reader reader;
        std::string out;
        while (!reader.done()) {
            if (head_ == tail_) {
                io r = fill(deadline());
                if (r != io::ok) {
                    end_with(r);  // the file is removed with `file`
                    return false;
                }
            }
            const std::size_t before = out.size();
            head_ += reader.feed({buf_.data() + head_, tail_ - head_}, out);
            size += out.size() - before;
            if (size > st_.limits.max_message_bytes && !too_big) {
                too_big = true;
                file.reset();
            }
            if (too_big && size > 2 * st_.limits.max_message_bytes) {
                // Still sending at twice the limit: not worth reading to the end.
                reply("552 5.3.4 Message size exceeds fixed maximum message size");
                return false;
            }
            if (file && (out.size() >= write_chunk_bytes || reader.done()) && !file->write(out)) {
                file.reset();
                store_failed = true;
            }
            if (!file || out.size() >= write_chunk_bytes)
                out.clear();
        }
        if (too_big)
            return reply("552 5.3.4 Message size exceeds fixed maximum message size");
        std::string name;
        if (store_failed || !file->commit(name))
            return reply("451 4.3.0 Local error, message not stored");
        file.reset();
        g_counts.stored.fetch_add(1, std::memory_order_relaxed);
        st_.delivery->push(router_);
        return reply("250 2.0.0 Ok: stored as " + name);
    }

    gint64 deadline() const
    {
        return g_get_monotonic_time() + gint64 {st_.limits.idle_timeout_ms} * 1000;
    }

    // A command line without its line end; `overlong` when it did not fit in
    // the limit (the line is then read to its end and dropped).
    io read_command(std::string& line, bool& overlong)
    {
        const gint64 until = deadline();
        const std::size_t max = st_.limits.max_line_bytes;
        std::size_t dropped = 0;
        for (;;) {
            const char* start = buf_.data() + head_;
            const void* lf = std::memchr(start, '\n', tail_ - head_);
            if (lf) {
                std::size_t len = static_cast<std::size_t>(static_cast<const char*>(lf) - start);
                head_ += len + 1;
                overlong = dropped + len + 1 > max;
                if (!overlong) {
                    line.assign(start, len);
                    if (!line.empty() && line.back() == '\r')
                        line.pop_back();
                }
                return io::ok;
            }
            if (tail_ - head_ >= max) {
                dropped += tail_ - head_;
                head_ = tail_;
            }
            io r = fill(until);
            if (r != io::ok)
                return r;
        }
    }

    // Reads what has arrived, waiting until `until` for the first byte.
    io fill(gint64 until)
    {
        if (head_ == tail_)
            head_ = tail_ = 0;
        else if (tail_ == buf_.size()) {
            std::memmove(buf_.data(), buf_.data() + head_, tail_ - head_);
            tail_ -= head_;
            head_ = 0;
        }
        for (;;) {
            io r = wait(G_IO_IN, until);
            if (r != io::ok)
                return r;
            error_holder err;
            gssize n = g_socket_receive(sock_, buf_.data() + tail_, buf_.size() - tail_, st_.cancel,
                                        &err.e);
            if (n > 0) {
                tail_ += static_cast<std::size_t>(n);
                return io::ok;
            }
            if (n == 0)
                return io::closed;
            if (err.matches(G_IO_ERROR_CANCELLED))
                return io::cancelled;
            if (!err.matches(G_IO_ERROR_WOULD_BLOCK))
                return io::closed;
        }
    }

    io wait(GIOCondition condition, gint64 until)
    {
        gint64 left = until - g_get_monotonic_time();
        if (left <= 0)
            return io::timeout;
        error_holder err;
        if (g_socket_condition_timed_wait(sock_, condition, left, st_.cancel, &err.e))
            return io::ok;
        if (err.matches(G_IO_ERROR_TIMED_OUT))
            return io::timeout;
        if (err.matches(G_IO_ERROR_CANCELLED))
            return io::cancelled;
        return io::closed;
    }

    // Sends one reply (lines separated by CRLF, without the last CRLF); false
    // when the peer cannot be written to.
    bool reply(std::string text)
    {
        text += "\r\n";
        std::string_view rest = text;
        const gint64 until = deadline();
        while (!rest.empty()) {
            error_holder err;
            // Not cancellable: the last words at stop still go out.
            gssize n = g_socket_send(sock_, rest.data(), rest.size(), nullptr, &err.e);
            if (n > 0) {
                rest.remove_prefix(static_cast<std::size_t>(n));
                continue;
            }
            if (!err.matches(G_IO_ERROR_WOULD_BLOCK))
                return false;
            error_holder wait_err;
            gint64 left = until - g_get_monotonic_time();
            if (left <= 0 ||
                !g_socket_condition_timed_wait(sock_, G_IO_OUT, left, nullptr, &wait_err.e))
                return false;
        }
        return true;
    }

    shared_state& st_;
    GSocket* sock_;
    const uint32_t router_;
    std::vector<char> buf_;
    std::size_t head_ = 0, tail_ = 0;  // unread bytes: buf_[head_, tail_)
    bool greeted_ = false;
    bool in_mail_ = false;
    unsigned recipients_ = 0;
    int errors_ = 0;
};

// dwIP form of the peer's IPv4 address: first octet in the low byte.
uint32_t peer_router(GSocketConnection* connection)
{
    gobject_ptr<GSocketAddress> addr(g_socket_connection_get_remote_address(connection, nullptr));
    if (!addr || !G_IS_INET_SOCKET_ADDRESS(addr.get()))
        return 0;
    GInetAddress* inet = g_inet_socket_address_get_address(G_INET_SOCKET_ADDRESS(addr.get()));
    if (g_inet_address_get_family(inet) != G_SOCKET_FAMILY_IPV4)
        return 0;
    const guint8* b = g_inet_address_to_bytes(inet);
    return uint32_t {b[0]} | uint32_t {b[1]} << 8 | uint32_t {b[2]} << 16 | uint32_t {b[3]} << 24;
}

// The service's "run" handler, on a worker thread of its pool.
gboolean on_connection(GThreadedSocketService*, GSocketConnection* connection, GObject*,
                       gpointer data)
{
    std::shared_ptr<shared_state> st = *static_cast<std::shared_ptr<shared_state>*>(data);
    thread_name name("smtp-session");
    bool busy = false;
    {
        std::lock_guard lock(st->mutex);
        busy = ++st->sessions > st->limits.max_sessions;
    }
    g_counts.sessions.fetch_add(1, std::memory_order_relaxed);
    if (!g_cancellable_is_cancelled(st->cancel)) {
        const uint32_t router = peer_router(connection);
        session s(*st, g_socket_connection_get_socket(connection), router);
        if (!st->allow.allows_dwip(router)) {
            g_counts.refused.fetch_add(1, std::memory_order_relaxed);
            s.refuse_outsider();
        } else if (busy) {
            g_counts.busy.fetch_add(1, std::memory_order_relaxed);
            s.refuse_busy();
        } else {
            s.run();
        }
    }
    g_io_stream_close(G_IO_STREAM(connection), nullptr, nullptr);
    {
        std::lock_guard lock(st->mutex);
        --st->sessions;
    }
    st->changed.notify_all();
    return TRUE;
}

class receiver {
public:
    // Listens on `port`; throws when the port cannot be bound.
    // `dir`: the working directory, which holds "mail_save" and "allow_routers".
    receiver(RecvProc cb, uint16_t port, tcp_limits limits, const std::string& dir)
        : queue_(std::make_shared<delivery_queue>(cb)),
          state_(std::make_shared<shared_state>(limits, dir, queue_)),
          context_(g_main_context_new()), loop_(g_main_loop_new(context_, FALSE)),
          // No thread limit of its own: a full service would stop accepting
          // instead of answering 421, so sessions are counted here.
          service_(g_threaded_socket_service_new(-1))
    {
        g_signal_connect_data(
            service_, "run", G_CALLBACK(on_connection), new std::shared_ptr<shared_state>(state_),
            [](gpointer p, GClosure*) { delete static_cast<std::shared_ptr<shared_state>*>(p); },
            GConnectFlags(0));
        // Accepting is set up in the listener's thread-default context,
        // which the accepting thread then runs.
        // Routers connecting at once wait in the kernel, not in SYN retries.
        g_socket_listener_set_backlog(G_SOCKET_LISTENER(service_), listen_backlog);
        g_main_context_push_thread_default(context_);
        gobject_ptr<GInetAddress> any(g_inet_address_new_any(G_SOCKET_FAMILY_IPV4));
        gobject_ptr<GSocketAddress> addr(g_inet_socket_address_new(any.get(), port));
        gboolean bound = g_socket_listener_add_address(G_SOCKET_LISTENER(service_), addr.get(),
                                                       G_SOCKET_TYPE_STREAM, G_SOCKET_PROTOCOL_TCP,
                                                       nullptr, nullptr, nullptr);
        g_main_context_pop_thread_default(context_);
        if (!bound) {
            release();
            throw std::runtime_error("bind");
        }
        try {
            acceptor_ = std::thread([this] { accept_loop(); });
            deliverer_ = std::thread([q = queue_] { q->run(); });
        } catch (...) {
            stop();
            throw;
        }
    }
    ~receiver() { stop(); }
    receiver(const receiver&) = delete;
    receiver& operator=(const receiver&) = delete;

private:
    void accept_loop()
    {
        thread_name name("smtp-accept");
        g_main_context_push_thread_default(context_);
        g_main_loop_run(loop_);
        // The cancelled accept finishes here, so the service can be freed.
        while (g_main_context_iteration(context_, FALSE)) { }
        g_main_context_pop_thread_default(context_);
    }

    void stop()
    {
        g_cancellable_cancel(state_->cancel);
        if (acceptor_.joinable()) {
            GSource* quit = g_idle_source_new();
            g_source_set_callback(
                quit,
                [](gpointer self) -> gboolean {
                    auto* r = static_cast<receiver*>(self);
                    g_socket_service_stop(r->service_);
                    g_socket_listener_close(G_SOCKET_LISTENER(r->service_));
                    g_main_loop_quit(r->loop_);
                    return G_SOURCE_REMOVE;
                },
                this, nullptr);
            g_source_attach(quit, context_);
            g_source_unref(quit);
            acceptor_.join();
        }
        {
            // Sessions see the cancellation at their next wait.
            std::unique_lock lock(state_->mutex);
            if (!state_->changed.wait_for(lock, stop_wait,
                                          [this] { return state_->sessions == 0; }))
                std::fprintf(stderr,
                             "tcp_dll.dll: sessions still open at stop, not waiting for them\n");
        }
        release();
        queue_->stop();
        if (!deliverer_.joinable())
            return;
        if (queue_->wait_finished(stop_wait)) {
            deliverer_.join();
        } else {
            // The callback waits for something that will not come, e.g. a
            // main loop that has ended: leave it rather than hang.
            std::fprintf(stderr, "tcp_dll.dll: callback still busy at stop, not waiting for it\n");
            deliverer_.detach();
        }
    }

    // Sessions still running hold references of their own.
    void release()
    {
        g_socket_listener_close(G_SOCKET_LISTENER(service_));
        g_object_unref(service_);
        g_main_loop_unref(loop_);
        g_main_context_unref(context_);
    }

    std::shared_ptr<delivery_queue> queue_;
    std::shared_ptr<shared_state> state_;
    GMainContext* context_;
    GMainLoop* loop_;
    GSocketService* service_;
    std::thread acceptor_;
    std::thread deliverer_;
};

std::mutex g_life;  // guards g_receiver and g_limits across start and stop
std::unique_ptr<receiver> g_receiver;
tcp_limits g_limits = default_limits;
std::atomic<int> g_port {-1};

}  // namespace

extern "C" int tcp_interface_SetFunc(RecvProc cb)
{
    std::lock_guard lock(g_life);
    if (g_receiver || cb == nullptr)
        return -1;
    uint16_t port = configured_port();
    gchar* cwd = g_get_current_dir();
    const std::string dir = cwd;
    g_free(cwd);
    g_counts.reset();
    try {
        g_receiver = std::make_unique<receiver>(cb, port, g_limits, dir);
    } catch (...) {
        return -1;
    }
    g_port = port;
    return 0;
}

extern "C" void stop_tcp(void)
{
    std::lock_guard lock(g_life);
    g_port = -1;
    g_receiver.reset();
}

extern "C" void tcp_set_limits(const tcp_limits* limits)
{
    std::lock_guard lock(g_life);
    g_limits = limits ? with_defaults(*limits) : default_limits;
}

extern "C" int tcp_bound_port(void) { return g_port.load(); }

extern "C" void tcp_get_counts(tcp_counts* counts)
{
    if (counts == nullptr)
        return;
    counts->sessions = g_counts.sessions.load();
    counts->refused = g_counts.refused.load();
    counts->busy = g_counts.busy.load();
    counts->stored = g_counts.stored.load();
}

// The hand-over from receiver threads to the main loop: two receivers calling
// at once never overwrite the record in the buffer, every record is taken
// once and in each receiver's order, and quitting releases a waiting receiver.
#include "receive/udp_proc.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

struct taken_record {
    uint32_t receiver;
    uint32_t seq;
    std::string content;
};

std::vector<taken_record> taken;

void take(const tagCommunicationData_& r)
{
    taken.push_back({r.dwIP, r.msg.impMsg.dwSourceIP, r.msg.impMsg.cLogContent});
}

// The processor's pattern: copy the record out, release the receiver, then
// look for the next record of the burst.
gboolean processor(gpointer data)
{
    auto* record = static_cast<tagCommunicationData_*>(data);
    for (;;) {
        tagCommunicationData_ copy = *record;
        finish_handover();
        take(copy);
        record = take_next_record(std::chrono::milliseconds(1));
        if (!record)
            break;
    }
    return FALSE;
}

tagCommunicationData_ make_record(uint32_t receiver, uint32_t seq)
{
    tagCommunicationData_ r {};
    r.dwIP = receiver;
    r.msg.impMsg.dwLogType = 5;
    r.msg.impMsg.dwSourceIP = seq;
    std::snprintf(r.msg.impMsg.cLogContent, sizeof r.msg.impMsg.cLogContent, "r%u-%u", receiver, seq);
    // No terminators: the hand-over puts them in.
    std::memset(r.msg.impMsg.cLogUser, 'u', sizeof r.msg.impMsg.cLogUser);
    std::memset(r.msg.impMsg.cLogNote, 'n', sizeof r.msg.impMsg.cLogNote);
    return r;
}

void run_main_loop_until(const std::atomic<int>& done, int target)
{
    while (done.load() < target)
        g_main_context_iteration(nullptr, FALSE);
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
}

}  // namespace

TEST(Handover, TwoReceiversAtOnceLoseAndTearNothing)
{
    set_record_processor(processor);
    constexpr uint32_t per_receiver = 2000;
    std::atomic<int> done {0};
    auto receive = [&](uint32_t receiver) {
        for (uint32_t seq = 0; seq < per_receiver; ++seq) {
            tagCommunicationData_ r = make_record(receiver, seq);
            if (receiver == 1)
                MyRecvProc(&r);
            else
                MyRecvProc_tcp(&r);
        }
        ++done;
    };
    std::thread udp(receive, 1);
    std::thread tcp(receive, 2);
    run_main_loop_until(done, 2);
    udp.join();
    tcp.join();

    ASSERT_EQ(taken.size(), 2 * per_receiver);
    uint32_t next[3] = {0, 0, 0};
    for (const taken_record& t : taken) {
        ASSERT_TRUE(t.receiver == 1 || t.receiver == 2);
        EXPECT_EQ(t.seq, next[t.receiver]++);
        EXPECT_EQ(t.content, "r" + std::to_string(t.receiver) + "-" + std::to_string(t.seq));
    }
    EXPECT_EQ(data_copy.msg.impMsg.cLogUser[sizeof data_copy.msg.impMsg.cLogUser - 1], '\0');
    EXPECT_EQ(data_copy.msg.impMsg.cLogNote[sizeof data_copy.msg.impMsg.cLogNote - 1], '\0');
}

TEST(Handover, ClosedReceptionReturnsAtOnceAndQuitReleasesAWaitingReceiver)
{
    // A processor that never runs: the main loop is not iterated.
    set_record_processor(processor);
    tagCommunicationData_ r = make_record(1, 0);
    b_recv = 0;
    MyRecvProc(&r);  // dropped, returns without the main loop
    b_recv = 1;

    std::atomic<bool> returned {false};
    std::thread receiver([&] {
        MyRecvProc(&r);
        returned = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(returned.load());  // waits for the main loop
    release_receivers();
    receiver.join();
    EXPECT_TRUE(returned.load());
    EXPECT_EQ(b_write_over_2.load(), 0);  // the record was never taken

    MyRecvProc(&r);  // after quit a hand-over is refused at once
}

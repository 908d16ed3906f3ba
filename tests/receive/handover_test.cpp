// The hand-over from receiver threads to the main loop: two receivers calling
// at once lose and tear nothing, each receiver's records are taken in its
// order, a full hand-over holds its receiver back, and quitting takes what
// is left and releases a waiting receiver.
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
    bool terminated;
};

std::vector<taken_record> taken;

void take(const tagCommunicationData_& r)
{
    const tagImpMsg_& m = r.msg.impMsg;
    taken.push_back(
        {r.dwIP, m.dwSourceIP, m.cLogContent,
         m.cLogUser[sizeof m.cLogUser - 1] == '\0' && m.cLogNote[sizeof m.cLogNote - 1] == '\0'});
}

// The processor's pattern: take what is there, then let new records queue
// a dispatch again.
gboolean processor(gpointer)
{
    tagCommunicationData_ r;
    std::size_t n = 0;
    for (; take_record(&r); ++n)
        take(r);
    stop_taking_records(n);
    return FALSE;
}

tagCommunicationData_ make_record(uint32_t receiver, uint32_t seq)
{
    tagCommunicationData_ r {};
    r.dwIP = receiver;
    r.msg.impMsg.dwLogType = 5;
    r.msg.impMsg.dwSourceIP = seq;
    std::snprintf(r.msg.impMsg.cLogContent, sizeof r.msg.impMsg.cLogContent, "r%u-%u", receiver,
                  seq);
    // No terminators: the hand-over puts them in.
    std::memset(r.msg.impMsg.cLogUser, 'u', sizeof r.msg.impMsg.cLogUser);
    std::memset(r.msg.impMsg.cLogNote, 'n', sizeof r.msg.impMsg.cLogNote);
    return r;
}

void expect_in_order(uint32_t receivers, uint32_t per_receiver)
{
    ASSERT_EQ(taken.size(), receivers * per_receiver);
    std::vector<uint32_t> next(receivers + 1, 0);
    for (const taken_record& t : taken) {
        ASSERT_TRUE(t.receiver >= 1 && t.receiver <= receivers);
        EXPECT_EQ(t.seq, next[t.receiver]++);
        EXPECT_EQ(t.content, "r" + std::to_string(t.receiver) + "-" + std::to_string(t.seq));
        EXPECT_TRUE(t.terminated);
    }
}

}  // namespace

TEST(Handover, TwoReceiversAtOnceLoseAndTearNothing)
{
    set_record_processor(processor);
    // More than the hand-over holds, so the receivers also wait for room.
    constexpr uint32_t per_receiver = 3 * HANDOVER_CAPACITY;
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
    while (done.load() < 2 || taken.size() < 2 * per_receiver)
        g_main_context_iteration(nullptr, FALSE);
    udp.join();
    tcp.join();
    expect_in_order(2, per_receiver);
}

TEST(Handover, FullHandOverHoldsTheReceiverAndQuitTakesTheRest)
{
    // A processor that never runs: the main loop is not iterated.
    set_record_processor(processor);
    taken.clear();
    tagCommunicationData_ closed = make_record(1, 99);
    b_recv = 0;
    MyRecvProc(&closed);  // dropped, returns without the main loop
    b_recv = 1;

    std::atomic<uint32_t> handed {0};
    std::thread receiver([&] {
        for (uint32_t seq = 0; seq <= HANDOVER_CAPACITY; ++seq) {
            tagCommunicationData_ r = make_record(1, seq);
            MyRecvProc(&r);
            ++handed;
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(handed.load(), HANDOVER_CAPACITY);  // the last one waits for room

    tagCommunicationData_ r;
    while (take_record_at_quit(&r, std::chrono::milliseconds(200)))
        take(r);
    receiver.join();
    expect_in_order(1, HANDOVER_CAPACITY + 1);

    // Released: a receiver waiting for room returns, and nothing more is taken.
    for (uint32_t seq = 0; seq < HANDOVER_CAPACITY; ++seq) {
        tagCommunicationData_ more = make_record(2, seq);
        MyRecvProc(&more);
    }
    std::thread waiting([] {
        tagCommunicationData_ last = make_record(2, HANDOVER_CAPACITY);
        MyRecvProc(&last);
    });
    release_receivers();
    waiting.join();
    tagCommunicationData_ after = make_record(3, 0);
    MyRecvProc(&after);
    taken.clear();
    while (take_record_at_quit(&r, std::chrono::milliseconds(0)))
        take(r);
    ASSERT_EQ(taken.size(), HANDOVER_CAPACITY);
    EXPECT_EQ(taken.back().receiver, 2u);
    EXPECT_EQ(taken.back().seq, HANDOVER_CAPACITY - 1);
}

// The hand-over from receiver threads to the main loop.
#include "modules/record_sink.h"
#include "receive/udp_proc.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

std::vector<std::pair<uint32_t, uint32_t>> taken;  // receiver, sequence number

void take(const tagCommunicationData_& r)
{
    const tagImpMsg_& m = r.msg.impMsg;
    EXPECT_EQ(m.cLogContent, "r" + std::to_string(r.dwIP) + "-" + std::to_string(m.dwSourceIP));
    EXPECT_EQ(m.cLogUser[sizeof m.cLogUser - 1], '\0') << "terminated by the hand-over";
    EXPECT_EQ(m.cLogNote[sizeof m.cLogNote - 1], '\0');
    taken.emplace_back(r.dwIP, m.dwSourceIP);
}

// Takes what is there, then lets new records queue a dispatch again.
gboolean processor(gpointer)
{
    tagCommunicationData_ r;
    std::size_t n = 0;
    for (; take_record(&r); ++n)
        take(r);
    stop_taking_records(n);
    return FALSE;
}

// As a receiver does, without terminators in the user and note fields.
void hand(uint32_t receiver, uint32_t seq, void (*proc)(tagCommunicationData_*) = MyRecvProc)
{
    tagCommunicationData_ r {};
    r.dwIP = receiver;
    r.msg.impMsg.dwLogType = 5;
    r.msg.impMsg.dwSourceIP = seq;
    std::snprintf(r.msg.impMsg.cLogContent, sizeof r.msg.impMsg.cLogContent, "r%u-%u", receiver,
                  seq);
    std::memset(r.msg.impMsg.cLogUser, 'u', sizeof r.msg.impMsg.cLogUser);
    std::memset(r.msg.impMsg.cLogNote, 'n', sizeof r.msg.impMsg.cLogNote);
    proc(&r);
}

void expect_in_order(uint32_t receivers, uint32_t per_receiver)
{
    ASSERT_EQ(taken.size(), receivers * per_receiver);
    std::vector<uint32_t> next(receivers + 1, 0);
    for (const auto& [receiver, seq] : taken) {
        ASSERT_TRUE(receiver >= 1 && receiver <= receivers);
        EXPECT_EQ(seq, next[receiver]++);
    }
}

}  // namespace

TEST(Handover, ReceiversLoseNothingAndAFullHandOverHoldsThemUntilQuit)
{
    set_record_processor(processor);
    // Two receivers at once, more than the hand-over holds: they wait for room.
    constexpr uint32_t per_receiver = 3 * HANDOVER_CAPACITY;
    std::atomic<int> done {0};
    auto receive = [&](uint32_t receiver) {
        for (uint32_t seq = 0; seq < per_receiver; ++seq)
            hand(receiver, seq, receiver == 1 ? MyRecvProc : MyRecvProc_tcp);
        ++done;
    };
    std::thread udp(receive, 1);
    std::thread tcp(receive, 2);
    while (done.load() < 2 || taken.size() < 2 * per_receiver)
        g_main_context_iteration(nullptr, FALSE);
    udp.join();
    tcp.join();
    expect_in_order(2, per_receiver);

    // From here the main loop is not iterated: the processor never runs.
    taken.clear();
    b_recv = 0;
    hand(1, 99);  // dropped, returns without the main loop
    b_recv = 1;
    std::atomic<uint32_t> handed {0};
    std::thread receiver([&] {
        for (uint32_t seq = 0; seq <= HANDOVER_CAPACITY; ++seq, ++handed)
            hand(1, seq);
    });
    EXPECT_TRUE(eventually([&] { return handed == HANDOVER_CAPACITY; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(handed.load(), HANDOVER_CAPACITY) << "the last one waits for room";

    tagCommunicationData_ r;
    while (take_record_at_quit(&r, std::chrono::milliseconds(200)))
        take(r);
    receiver.join();
    expect_in_order(1, HANDOVER_CAPACITY + 1);

    // Released: a receiver waiting for room returns, and nothing more is taken.
    for (uint32_t seq = 0; seq < HANDOVER_CAPACITY; ++seq)
        hand(2, seq);
    std::thread waiting([] { hand(2, HANDOVER_CAPACITY); });
    release_receivers();
    waiting.join();
    hand(3, 0);
    taken.clear();
    while (take_record_at_quit(&r, std::chrono::milliseconds(0)))
        take(r);
    ASSERT_EQ(taken.size(), HANDOVER_CAPACITY);
    EXPECT_EQ(taken.back(), std::make_pair(2u, uint32_t(HANDOVER_CAPACITY - 1)));
}

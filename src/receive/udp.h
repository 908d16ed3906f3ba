// The UDP receiver module "udp.so".
#pragma once

#include "base/udp_counts.h"

// Opens the module and starts it with MyRecvProc. A missing module or entry
// is silent; a start that fails shows "打开udp失败".
void udp_thread();

// Stops the receiver when the module offers it.
void udp_stop();

// The receiver's counters; false when the module or its entry is missing.
bool udp_counts_get(udp_counts* counts);

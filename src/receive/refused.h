// What the receivers refused: datagrams and mail sessions from addresses
// outside "allow_routers" (base/allow_list.h), for the disk panel's drop line.
#pragma once

#include <cstdint>

// The refusals of both receiver modules since they started; a module that is
// not loaded, or has no counts entry, counts none.
uint64_t routers_refused();

// What the main loop does with one handed-over record.
#pragma once

#include <glib.h>

// Idle callback queued by the hand-over: drops type codes that are not taken
// in, shows the record in the device tree, rewrites "syslog.warnat" texts,
// queues the row for storage, and releases the receiver. Runs once.
gboolean process_package(gpointer pData);

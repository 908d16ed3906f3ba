// What the main loop does with one handed-over record.
#pragma once

#include <glib.h>

// Callback queued by the hand-over: for each record handed over, drops type
// codes that are not taken in, shows the record in the device tree, rewrites
// "syslog.warnat" texts and queues the row for storage. Runs once.
gboolean process_package(gpointer pData);

// At start-up, after the connection: stores what an earlier run left in the
// spool (the rest on the main loop), and has the tree recounted from the
// table whenever a replay has emptied the spool.
void start_storing();

// The ways out besides the menu and the window: SIGTERM and SIGINT (GLib's
// Unix signal source on the main loop) quit as the menu does, and the disk
// monitor's low-disk end stores what is queued before the process ends.
void install_ways_out();

// Every way out ends here once: stops the receivers, handling the records
// they still hand over (without the tree), keeps what the UDP receiver still
// has queued in its queue file, and stores the waiting rows (or spools them
// when the server is away). Takes at most a few seconds.
void finish_reception();

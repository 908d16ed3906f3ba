// An opt-in 10 ms timer on the main loop that measures how late it runs, for
// the ingest benchmark: set LOGSERVER_HEARTBEAT=1 and the program prints the
// lateness (median, 99th percentile, maximum) on standard error at quit.
#pragma once

// Starts the timer when LOGSERVER_HEARTBEAT is set (and not "0").
void start_heartbeat();

// Prints "heartbeat: ticks=N late_ms median=… p99=… max=…" when the timer ran.
void report_heartbeat();

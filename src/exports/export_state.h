// Whether an export runs: for the controls that must not be used meanwhile
// (they would query through the main loop's connection, or change what the
// export's worker reads, such as the reversed-source list). Logic, no widget:
// any window may ask.
#pragma once

#include <functional>

// True from the moment an export is started until its completion message
// has run and its controls are usable again. Any thread may ask.
bool export_running();

// Listeners called on the main loop when an export starts (true) and when it
// has ended (false), in the order they were added. A widget that stays on
// screen (a menu item) follows them; a menu built when it pops up may ask
// export_running() instead.
void export_on_running(std::function<void(bool running)> listener);

// The export window's switch (main loop only): sets the state and calls the
// listeners.
void set_export_running(bool running);

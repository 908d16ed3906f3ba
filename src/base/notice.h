// Notices from code that has no widgets (module loaders, storage) reach the
// operator through a sink the window installs; without one they go to stderr.
#pragma once

using notice_sink = void (*)(const char* text);

void set_notice_sink(notice_sink sink);
void notice(const char* text);

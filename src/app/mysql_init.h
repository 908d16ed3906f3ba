// The start-up connection loop.
#pragma once

// Connects both connections, looping on the settings dialog while the server
// cannot be reached; creates the schema when it is missing.
void init_mysql();

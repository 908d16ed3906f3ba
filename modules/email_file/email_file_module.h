// Entry points of the mail store module "email_file.dll". The
// store is "mail_save" in the working directory: one directory per router,
// named by its dotted IPv4 address, one file per mail. Only the main thread
// calls in.
#pragma once

#include "base/mail_records.h"

#include <glib.h>

extern "C" {
// Looked up only; answers 0.
int test_4(...);

// Rescans the store: every directory of "mail_save" named by a dotted IPv4
// address becomes one record, routers in address order; its regular files
// (names not starting with '.') are listed newest first by modification
// time, then by name, the newest 1,000 of them. A name longer than 199
// UTF-16 units is left out, since it could not be opened again.
void Get_Email_Name(void);

// The records of the last rescan (directory_name_ array ended by a record
// with an empty DirectoryName); valid until the next rescan. Never null.
char* GetFileName_buf(void);

// Dotted address in dwIP form (first octet in the low byte); 0 when the text
// is not a dotted IPv4 address.
int ChIp_to_int_unicode_turn(gunichar2* dir_name);

// Index of the record of router `ip` (dwIP form) in *pos, -1 if none;
// returns 0 when found, -1 otherwise.
int FindPosByIp_interface(int ip, int* pos);

// Number of mail names listed in record `pos` (at most 1,000); 0 for a
// position outside the table.
int GetFileCounterByIP_interface(int pos);
}

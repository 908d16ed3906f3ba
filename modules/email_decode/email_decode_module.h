// Entry points of the mail decoding module "email_decode.dll".
// Header values and recipients come from GMime 3: RFC 2047 encoded words in
// any charset are decoded and folded lines unfolded; raw 8-bit header text
// is taken as UTF-8 when it is valid UTF-8, else as GB18030. Mail paths are
// UTF-16; the file opened is the UTF-8 form, or the GB18030 form when only
// that one exists. Only the header block of a mail (up to 1 MB) is read.
// Only the main thread calls in.
#pragma once

#include "base/mail_records.h"

#include <glib.h>

extern "C" {
// Size of the output of GetStrByHead_one_block_interface, in UTF-16 units,
// and of the buffer of Get_Str_By_Head, in bytes.
enum { email_header_units = 200, email_header_bytes = 1000 };

// The value of the header `head` ("Subject:", "From:"; the colon is
// optional, case does not matter) as UTF-8 into buffer[email_header_bytes],
// cut at a character boundary. 0 when the mail has that header, -1
// otherwise (buffer then empty). Looked up only by the program.
int Get_Str_By_Head(char* head, void* buffer, gunichar2* mail_path);

// Decodes base64 text into bytes from the start of out, followed by a zero
// byte. Bytes outside the base64 alphabet ('=', blanks, line breaks) are
// skipped; out must hold (number of alphabet characters) * 3 / 4 + 1 bytes.
void DecodeBase64_interface(char* in, char* out);

// Reads the recipients of a mail (the addresses of To, then Cc; groups give
// their members) for Get_to_buf; returns their number, 0 when the mail
// cannot be read.
int GetEmail_To_interface(gunichar2* mail_path);

// The email_to_name_ records of the last GetEmail_To_interface: ch_name the
// address (UTF-8), wch_name "Name <address>" or the address alone, both cut
// at a character boundary. Valid until the next call; never null.
char* Get_to_buf(void);

// The value of the header `head` as UTF-16 into out[email_header_units],
// cut without splitting a surrogate pair. Address headers (From, To, Cc,
// Reply-To, Sender) come as "Name <address>, ...". 0 when the mail has that
// header, -1 otherwise (out then empty).
int GetStrByHead_one_block_interface(char* head, gunichar2* out, gunichar2* mail_path);
}

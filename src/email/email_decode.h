// MIME scanners of the e-mail subsystem: byte-window searches
// over one stored mail file for the content pane (plain-text body) and the
// attachment pane (attachment names, export into "mail_save/attach").
//
// One mail is open at a time (globals), read as raw bytes; positions are
// byte offsets from its start; -1 means not found or the end of the data,
// -2 an empty line. Windows are 1,000 bytes read at a position, stepping
// 700 bytes; markers are matched case-sensitively. Base64 is decoded by
// DecodeBase64_interface of "email_decode.dll" when it is loaded, else by
// the same decoder built in (base/mail_text.h).
//
// Texts given to widgets are UTF-8, cut only at character boundaries: text
// whose part header names no UTF charset is GB18030. Only the main thread
// calls in here.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Sizes of the callers' buffers.
inline constexpr std::size_t email_line_size = 300;   // get_one_line
inline constexpr std::size_t email_head_size = 1000;  // get_head_block (900 bytes copied)
inline constexpr std::size_t email_head_copy = 900;
inline constexpr std::size_t email_boundary_size = 200;     // GetBoundary_2
inline constexpr std::size_t email_attach_name_size = 100;  // GetAttachment (90 bytes written)
inline constexpr std::size_t email_attach_name_max = 90;
inline constexpr std::size_t email_content_size = 4000;  // GetContent_text

// Opens a mail file (the narrow path; a UTF-8 path that names no file is
// tried in its GB18030 form) and sets the line-break mode to "\r\n".
// 0, or -1 when it cannot be opened.
int open_email(const char* pname);
void close_file_email();

// The line at pos_start, without its break, into pOut[email_line_size]
// (cut at 299 bytes); returns the position after the break. -1 when the
// window is short (under 10 bytes) or holds no break, -2 for an empty line.
long get_one_line(char* pOut, long pos_start);

// Position of the first `pchar` at or after start_pos; -1 at the end.
long find_char_infile(const char* pchar, long start_pos);
// find_char_infile("Content-Type: text/plain", 0).
long find_text_start();

// The boundary value in the 1,000 bytes before start_pos (the last of at
// most six "boundary" in the window; quoted, or a plain token) into
// pOut[email_boundary_size]; its position, or -1 (pOut then empty).
long GetBoundary_2(char* pOut, long start_pos);

// The header block at pos_start up to its terminator (at most 900 bytes
// into pOut[email_head_size]); sets the line-break mode from the window
// ("\r\n" when it holds one, else "\n"). Returns the position after the
// terminator, where the body begins; -1 without one in the first 64 KB.
long get_head_block(long pos_start, char* pOut);

// The plain-text body into pOut[email_content_size], UTF-8: base64 bodies
// decoded (lines up to an empty line, a line beginning with "--", the end,
// or a line shorter than the one before it, which is the last), 7-bit bodies
// up to the boundary. 0, or -1 (pOut empty) without a text part, for other
// transfer encodings or an unreadable file.
int GetContent_text(char* pOut);

// The next attachment at or after start_pos: its decoded name into
// attach_name[email_attach_name_size] (UTF-8, at most 90 bytes; empty when
// its header block names none); returns where its body begins, the start
// for the next call. -1 when there is no further attachment.
long GetAttachment(char* attach_name, long start_pos);

// Writes the attachment whose body begins at start_pos, base64-decoded,
// to attach_file_path(p_attach_name), creating "mail_save/attach" when it
// is missing; the file holds exactly the decoded bytes. Lines of any length
// up to an empty line, a line beginning with "--" or the end. With b_open 1
// the file is then opened with the desktop's program. 0, or -1 when the
// file cannot be created or not written whole (it is then removed).
int attach_to_file(const char* p_attach_name, long start_pos, int b_open);

// The base name an attachment is stored under: the part after the last "/"
// or "\\", control characters removed, at most 200 bytes; "attachment" when
// that leaves nothing, ".", or "..".
std::string safe_attach_name(std::string_view name);
// "mail_save/attach/" + safe_attach_name(name).
std::string attach_file_path(std::string_view name);

// The mail store as the e-mail view lists it: one router's mails
// 10 a page, newest first, with sender, subject, time and recipients; the
// records that announce stored mail to the device tree; deleting a mail
// file. No widget: the header list pane (email_top_wnd) shows what this
// gives.
//
// Mails come from "email_file.dll" (rescanned for every page) and their
// headers from "email_decode.dll" on the first page and from the script
// module my_email on later pages; both give the same decoded text, cut at
// the same place. Only the main thread calls in.
#pragma once

#include "base/record.h"
#include "base/utf16.h"

#include <glib.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

inline constexpr int email_page_size = 10;
// Bytes of sender and subject at most, from either source.
inline constexpr std::size_t email_header_max = 199;
// UTF-16 units of the recipients text at most.
inline constexpr std::size_t email_recipients_max = 999;

struct email_row {
    unsigned number = 0;     // 1 for the newest mail; runs on across pages
    std::string sender;      // UTF-8
    std::string subject;     // UTF-8
    std::string time;        // ConvertTime of the file's modification time
    std::string path;        // "mail_save/<router>/<file>", as the file system names it
    std::string recipients;  // UTF-8, each followed by one blank
};

struct email_page {
    bool found = false;  // the store has a directory of the router
    int count = 0;       // mails of the router
    int page = 0;        // page index from 0
    bool has_prev = false;
    bool has_next = false;
    std::vector<email_row> rows;
};

// Rescans the store and lists page `page` (from 0) of router `ip` (dwIP
// form). Without the mail store module, or for a router without a mail
// directory, an empty page with found false.
email_page read_email_page(guint ip, int page);

// Rescans the store and hands one record per stored mail to `add`: dwIP of
// its router, type 144, empty texts. A router with n mails is handed over
// n times, one without mails not at all.
void for_each_stored_mail(const std::function<void(tagCommunicationData_* record)>& add);

// Sender ("From:") or subject ("Subject:") of a mail through
// "email_decode.dll", UTF-8, at most email_header_max bytes; "" without the
// module or the header.
std::string email_header_from_module(const utf16_string& path, const char* head);
// The same through the scripts (py_get_sender, py_get_subject) on the
// narrow path.
std::string email_sender_from_scripts(const std::string& path);
std::string email_subject_from_scripts(const std::string& path);

// Recipients of a mail through "email_decode.dll": each shown name followed
// by one blank, at most email_recipients_max UTF-16 units, UTF-8.
std::string email_recipients(const utf16_string& path);

// Modification time of a file on the stored scale (Unix time minus
// 28,800); false when it cannot be read.
bool email_file_time(const char* path, unsigned* stored_time);
// ConvertTime of it; "" when it cannot be read.
std::string email_time_text(const char* path);

// Removes a mail file. 0 when no file is left at `path` (removed, or
// already gone); -1 when it is still there, with errno's value in *error.
int delete_email_file(const std::string& path, int* error = nullptr);

#include "email/email_list.h"

#include "base/mail_records.h"
#include "base/mail_text.h"
#include "base/other_func.h"
#include "base/utf8_cut.h"
#include "companion/extern.h"
#include "email/python_interface.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace {

// Offset between Unix time and the stored time scale.
constexpr long STORED_TIME_OFFSET = 28800;

bool have_store_module()
{
    return Get_Email_Name && GetFileName_buf && FindPosByIp_interface &&
        GetFileCounterByIP_interface;
}

// The record array of the last rescan.
const directory_name_* store_records()
{
    return reinterpret_cast<const directory_name_*>(GetFileName_buf());
}

// Script text to UTF-8: UTF-8 as it is, anything else as the legacy
// encoding; cut like the module's text.
std::string script_text(const char* text)
{
    std::string_view view(text);
    bool utf8 = g_utf8_validate(view.data(), static_cast<gssize>(view.size()), nullptr);
    return utf8_cut(mail_text_to_utf8(view, utf8), email_header_max);
}

// "mail_save/<directory>/<file>" as UTF-16.
utf16_string mail_path(const gunichar2* directory, const gunichar2* file)
{
    static const utf16_string store = utf16_from_utf8("mail_save");
    static const utf16_string slash = utf16_from_utf8("/");
    return store + slash + utf16_string(directory, utf16_length(directory)) + slash +
        utf16_string(file, utf16_length(file));
}

}  // namespace

std::string email_header_from_module(const utf16_string& path, const char* head)
{
    if (!GetStrByHead_one_block_interface)
        return {};
    // The module writes at most 200 units; room to spare all the same.
    std::vector<gunichar2> out(1000, 0);
    utf16_string wide = path;
    std::string h = head;
    if (GetStrByHead_one_block_interface(h.data(), out.data(), wide.data()) != 0)
        return {};
    out.back() = 0;
    return utf8_cut(utf16_to_utf8(out.data()), email_header_max);
}

std::string email_sender_from_scripts(const std::string& path)
{
    char out[py_header_size] = {};
    py_get_sender(path.c_str(), out);
    return script_text(out);
}

std::string email_subject_from_scripts(const std::string& path)
{
    char out[py_header_size] = {};
    py_get_subject(path.c_str(), out);
    return script_text(out);
}

std::string email_recipients(const utf16_string& path)
{
    if (!GetEmail_To_interface || !Get_to_buf)
        return {};
    utf16_string wide = path;
    int n = GetEmail_To_interface(wide.data());
    const auto* to = reinterpret_cast<const email_to_name_*>(Get_to_buf());
    utf16_string text;
    static const gunichar2 blank = ' ';
    for (int i = 0; i < n && to; ++i) {
        text.append(to[i].wch_name, utf16_length(to[i].wch_name));
        text += blank;
    }
    if (text.size() > email_recipients_max) {
        std::size_t cut = email_recipients_max;
        // Never between the halves of a surrogate pair.
        if (text[cut - 1] >= 0xD800 && text[cut - 1] <= 0xDBFF)
            --cut;
        text.resize(cut);
    }
    return utf16_to_utf8(text.data(), text.size());
}

bool email_file_time(const char* path, unsigned* stored_time)
{
    struct stat st;
    if (!path || stat(path, &st) != 0)
        return false;
    // The modification time: the change time moves with every chmod.
    if (stored_time)
        *stored_time = static_cast<unsigned>(st.st_mtime - STORED_TIME_OFFSET);
    return true;
}

std::string email_time_text(const char* path)
{
    unsigned t = 0;
    if (!email_file_time(path, &t))
        return {};
    char buf[64];
    ConvertTime_r(t, buf, sizeof buf);
    return buf;
}

email_page read_email_page(guint ip, int page)
{
    email_page out;
    out.page = page < 0 ? 0 : page;
    if (!have_store_module())
        return out;
    Get_Email_Name();
    int pos = -1;
    FindPosByIp_interface(static_cast<int>(ip), &pos);
    if (pos < 0)
        return out;
    out.found = true;
    out.count = GetFileCounterByIP_interface(pos);
    out.has_prev = out.page > 0;
    out.has_next = static_cast<long>(email_page_size) * (out.page + 1) < out.count;

    const directory_name_& rec = store_records()[pos];
    const int first = email_page_size * out.page;
    for (int i = first; i < first + email_page_size && i < static_cast<int>(mail_names_per_dir) &&
         rec.m_email_name[i].ch_name[0] != 0;
         ++i) {
        utf16_string wide = mail_path(rec.DirectoryName, rec.m_email_name[i].ch_name);
        email_row row;
        row.number = static_cast<unsigned>(i + 1);
        row.path = narrow_mail_path(wide.c_str());
        if (out.page == 0) {
            row.sender = email_header_from_module(wide, "From:");
            row.subject = email_header_from_module(wide, "Subject:");
        } else {
            row.sender = email_sender_from_scripts(row.path);
            row.subject = email_subject_from_scripts(row.path);
        }
        row.time = email_time_text(row.path.c_str());
        row.recipients = email_recipients(wide);
        out.rows.push_back(std::move(row));
    }
    return out;
}

void for_each_stored_mail(const std::function<void(tagCommunicationData_*)>& add)
{
    if (!Get_Email_Name || !GetFileName_buf)
        return;
    Get_Email_Name();
    const directory_name_* rec = store_records();
    for (; rec && rec->DirectoryName[0] != 0; ++rec) {
        guint ip = ChIp_to_int_unicode_turn ? static_cast<guint>(ChIp_to_int_unicode_turn(
                                                  const_cast<gunichar2*>(rec->DirectoryName)))
                                            : rec->int_ip;
        for (std::size_t i = 0; i < mail_names_per_dir && rec->m_email_name[i].ch_name[0] != 0;
             ++i) {
            tagCommunicationData_ record {};
            record.dwIP = ip;
            record.msg.impMsg.dwLogType = LOG_TYPE_EMAIL;
            add(&record);
        }
    }
}

int delete_email_file(const std::string& path, int* error)
{
    if (unlink(path.c_str()) == 0 || errno == ENOENT) {
        if (error)
            *error = 0;
        return 0;
    }
    if (error)
        *error = errno;
    return -1;
}

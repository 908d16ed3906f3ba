// BIFF8 records of one worksheet of text cells. The layouts follow the
// published description of the Excel 97-2003 binary format ([MS-XLS]).
#include "biff8.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace biff8 {

void put16(std::string& out, uint16_t v)
{
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>(v >> 8);
}

void put32(std::string& out, uint32_t v)
{
    put16(out, static_cast<uint16_t>(v & 0xFFFF));
    put16(out, static_cast<uint16_t>(v >> 16));
}

std::string record(uint16_t id, const std::string& body)
{
    std::string out;
    out.reserve(body.size() + 4);
    put16(out, id);
    put16(out, static_cast<uint16_t>(body.size()));
    out += body;
    return out;
}

namespace {

// BOF of a substream: BIFF8, of the globals (0x0005) or a worksheet (0x0010).
std::string bof(uint16_t kind)
{
    std::string b;
    put16(b, 0x0600);  // BIFF8
    put16(b, kind);
    put16(b, 0x0DBB);  // build
    put16(b, 0x07CC);  // year
    put32(b, 0);       // file history flags
    put32(b, 0x0006);  // lowest version that can read all records
    return record(BOF, b);
}

// A short Unicode string: 8-bit length, flags, characters (ASCII only here).
std::string short_string(const char* ascii)
{
    std::string s;
    s += static_cast<char>(std::strlen(ascii));
    s += '\0';  // 8-bit characters
    s += ascii;
    return s;
}

std::string font(uint16_t weight)
{
    std::string b;
    put16(b, 200);     // 10 points, in twips
    put16(b, 0);       // no italic, strike-out, outline, shadow
    put16(b, 0x7FFF);  // the window text colour
    put16(b, weight);
    put16(b, 0);  // no super- or subscript
    b += '\0';    // no underline
    b += '\0';    // family: none
    b += '\0';    // character set: ANSI
    b += '\0';
    b += short_string("Arial");
    return record(FONT, b);
}

// A style XF (`style`) or the cell XF whose parent is style XF 0.
std::string xf(bool style, uint8_t ignored_attributes)
{
    std::string b;
    put16(b, 0);                        // font 0
    put16(b, 0);                        // number format "General"
    put16(b, style ? 0xFFF5 : 0x0001);  // locked; style XF without parent / cell XF of style 0
    b += static_cast<char>(0x20);       // aligned to the bottom
    b += '\0';                          // no rotation
    b += '\0';                          // no indentation
    b += static_cast<char>(ignored_attributes);
    put32(b, 0);  // no borders
    put32(b, 0);
    put16(b, 0x20C0);  // pattern colours: system foreground and background
    return record(XF, b);
}

}  // namespace

std::string globals_head(uint32_t sheet_pos)
{
    std::string out = bof(0x0005);
    {
        std::string b;
        put16(b, 1200);  // strings are UTF-16
        out += record(CODEPAGE, b);
    }
    {
        std::string b;
        put16(b, 0);  // window position
        put16(b, 0);
        put16(b, 0x3A5C);  // window size
        put16(b, 0x2328);
        put16(b, 0x0038);  // horizontal and vertical scroll bars, sheet tabs
        put16(b, 0);       // active sheet
        put16(b, 0);       // first visible tab
        put16(b, 1);       // selected sheets
        put16(b, 0x0258);  // width of the tab area
        out += record(WINDOW1, b);
    }
    // Fonts 0 to 3 and 5 (there is no font 4).
    for (int i = 0; i < 4; ++i)
        out += font(400);
    out += font(700);
    // Fifteen style XFs (the first is "Normal"), then the one cell XF (15).
    out += xf(true, 0x00);
    for (int i = 1; i < 15; ++i)
        out += xf(true, 0xF4);
    out += xf(false, 0x00);
    {
        std::string b;
        put16(b, 0x8000);  // built-in style of XF 0
        b += '\0';         // "Normal"
        b += static_cast<char>(0xFF);
        out += record(STYLE, b);
    }
    {
        std::string b;
        put32(b, sheet_pos);
        b += '\0';  // visible
        b += '\0';  // worksheet
        b += short_string("Sheet1");
        out += record(BOUNDSHEET, b);
    }
    return out;
}

std::string sheet_head(uint32_t rows, uint16_t cols)
{
    std::string out = bof(0x0010);
    std::string b;
    put32(b, 0);
    put32(b, rows);  // one past the last row
    put16(b, 0);
    put16(b, cols);  // one past the last column
    put16(b, 0);
    out += record(DIMENSIONS, b);
    return out;
}

std::string sheet_tail()
{
    std::string b;
    put16(b, 0x06B6);  // grid lines, headers, zeros, outline; selected and shown
    put16(b, 0);       // top row
    put16(b, 0);       // left column
    put32(b, 0x40);    // grid line colour: the default
    put16(b, 0);       // zoom: default
    put16(b, 0);
    put32(b, 0);
    return record(WINDOW2, b) + record(EOF_, "");
}

namespace {

std::FILE* temp_file_in(const std::string& dir)
{
    // An unnamed file on the workbook's disk; where the file system cannot
    // do that, a named one removed at once.
    int fd = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) {
        std::string tmpl = dir + "/.vc_excel-XXXXXX";
        fd = mkstemp(tmpl.data());
        if (fd < 0)
            return nullptr;
        unlink(tmpl.c_str());
    }
    std::FILE* f = fdopen(fd, "w+b");
    if (!f) {
        ::close(fd);
        return nullptr;
    }
    std::setvbuf(f, nullptr, _IOFBF, 1 << 16);
    return f;
}

// Copies a temporary file from its start to the sink.
bool copy_file(std::FILE* f, const sink& out)
{
    if (std::fflush(f) != 0 || std::fseek(f, 0, SEEK_SET) != 0)
        return false;
    char buf[1 << 16];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        if (!out(buf, n))
            return false;
    return !std::ferror(f);
}

}  // namespace

sheet_writer::~sheet_writer() { close_files(); }

void sheet_writer::close_files()
{
    if (sst_)
        std::fclose(sst_);
    if (cells_)
        std::fclose(cells_);
    sst_ = cells_ = nullptr;
}

bool sheet_writer::open(const std::string& dir)
{
    close_files();
    sst_ = temp_file_in(dir);
    cells_ = temp_file_in(dir);
    cur_.assign(8, '\0');  // total and unique string counts, set by finish()
    cur_is_sst_ = true;
    sst_bytes_ = 0;
    strings_ = rows_ = 0;
    cols_ = 0;
    bucket_ = 8;
    buckets_.clear();
    failed_ = !sst_ || !cells_;
    return !failed_;
}

void sheet_writer::flush_record()
{
    const std::string rec = record(cur_is_sst_ ? SST : CONTINUE, cur_);
    if (std::fwrite(rec.data(), 1, rec.size(), sst_) != rec.size())
        failed_ = true;
    sst_bytes_ += rec.size();
    cur_.clear();
    cur_is_sst_ = false;
}

void sheet_writer::add_string(const gunichar2* units, std::size_t n)
{
    bool wide = false;
    for (std::size_t i = 0; i < n && !wide; ++i)
        wide = units[i] > 0xFF;
    const std::size_t char_size = wide ? 2 : 1;

    // The string's header and first character stay in one record.
    if (cur_.size() + 3 + char_size > MAX_RECORD_DATA)
        flush_record();

    if (strings_ % bucket_ == 0) {
        if (buckets_.size() == 128) {
            // Keep every other position: buckets twice as large.
            for (std::size_t i = 0; i < 64; ++i)
                buckets_[i] = buckets_[2 * i];
            buckets_.resize(64);
            bucket_ *= 2;
        }
        if (strings_ % bucket_ == 0)
            buckets_.push_back(
                {sst_bytes_ + 4 + cur_.size(), static_cast<uint16_t>(4 + cur_.size())});
    }
    ++strings_;

    put16(cur_, static_cast<uint16_t>(n));
    cur_ += static_cast<char>(wide ? 1 : 0);
    std::size_t i = 0;
    while (i < n) {
        std::size_t room = (MAX_RECORD_DATA - cur_.size()) / char_size;
        if (room == 0) {
            // The characters go on in a CONTINUE record, which starts with
            // the string's character size again.
            flush_record();
            cur_ += static_cast<char>(wide ? 1 : 0);
            continue;
        }
        const std::size_t take = std::min(room, n - i);
        for (std::size_t k = i; k < i + take; ++k) {
            if (wide)
                put16(cur_, units[k]);
            else
                cur_ += static_cast<char>(units[k]);
        }
        i += take;
    }
}

bool sheet_writer::write_cell(uint32_t row, uint16_t col, uint32_t isst)
{
    std::string b;
    put16(b, static_cast<uint16_t>(row));
    put16(b, col);
    put16(b, 15);  // the cell XF
    put32(b, isst);
    const std::string rec = record(LABELSST, b);
    return std::fwrite(rec.data(), 1, rec.size(), cells_) == rec.size();
}

bool sheet_writer::add_row(const std::vector<std::basic_string<gunichar2>>& cells)
{
    if (failed_ || !sst_ || rows_ >= MAX_ROWS || cells.size() > MAX_COLS)
        return false;
    for (std::size_t c = 0; c < cells.size(); ++c) {
        const auto& text = cells[c];
        if (text.empty())
            continue;
        std::size_t n = std::min(text.size(), MAX_CELL_UNITS);
        if (n < text.size() && text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF)
            --n;  // not half a surrogate pair
        if (!write_cell(rows_, static_cast<uint16_t>(c), strings_))
            failed_ = true;
        add_string(text.data(), n);
        cols_ = std::max<uint16_t>(cols_, static_cast<uint16_t>(c + 1));
    }
    ++rows_;
    if (std::ferror(sst_) || std::ferror(cells_))
        failed_ = true;
    return !failed_;
}

bool sheet_writer::finish(const sink& out)
{
    if (failed_ || !sst_)
        return false;
    if (cur_is_sst_ || !cur_.empty())
        flush_record();
    if (failed_)
        return false;
    // The string counts at the start of the SST record's body.
    std::string counts;
    put32(counts, strings_);
    put32(counts, strings_);
    if (std::fflush(sst_) != 0 ||
        pwrite(fileno(sst_), counts.data(), counts.size(), 4) !=
            static_cast<ssize_t>(counts.size()))
        return false;
    if (std::fflush(cells_) != 0)
        return false;

    const std::size_t head_size = globals_head(0).size();
    std::string extsst;
    put16(extsst, static_cast<uint16_t>(bucket_));
    for (const auto& b : buckets_) {
        put32(extsst, static_cast<uint32_t>(head_size + b.file_pos));
        put16(extsst, b.in_record);
        put16(extsst, 0);
    }
    extsst = record(EXTSST, extsst);
    const std::string globals_end = extsst + record(EOF_, "");
    const uint64_t sheet_pos = head_size + sst_bytes_ + globals_end.size();
    if (sheet_pos > UINT32_MAX)
        return false;

    const std::string head = globals_head(static_cast<uint32_t>(sheet_pos));
    const std::string sheet = sheet_head(rows_, cols_);
    const std::string tail = sheet_tail();
    return out(head.data(), head.size()) && copy_file(sst_, out) &&
        out(globals_end.data(), globals_end.size()) && out(sheet.data(), sheet.size()) &&
        copy_file(cells_, out) && out(tail.data(), tail.size());
}

}  // namespace biff8

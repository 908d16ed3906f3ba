// The PDF listing of an export: one red line of six cells per
// row, 41 lines a page, drawn with Pango on a cairo PDF surface so that
// Chinese text falls back to a font that has it.
#pragma once

#include <glib.h>

#include <string>
#include <string_view>

typedef struct _cairo_surface cairo_surface_t;
typedef struct _cairo cairo_t;
typedef struct _PangoContext PangoContext;
typedef struct _PangoAttrList PangoAttrList;
typedef struct _PangoGlyphString PangoGlyphString;

// Page and text settings, in PDF points.
inline constexpr double PDF_PAGE_WIDTH = 1000;
inline constexpr double PDF_PAGE_HEIGHT = 1900;
inline constexpr double PDF_LEFT = 10;
inline constexpr double PDF_LINE_STEP = 40;  // baseline of line n: 40 n
inline constexpr unsigned PDF_LINES_PER_PAGE = 41;
inline constexpr double PDF_FONT_SIZE = 15;

// The text of one line: "%s  %s  %s  %s  %s  %s " of the six cells.
std::string pdf_line_text(const std::string_view (&cells)[6]);

// One PDF document. Not copyable; the export worker owns one per job.
class pdf_listing {
public:
    pdf_listing() = default;
    ~pdf_listing();
    pdf_listing(const pdf_listing&) = delete;
    pdf_listing& operator=(const pdf_listing&) = delete;

    // Creates the document at `path` (UTF-8). False when it cannot be
    // created; the listing then draws nothing.
    bool open(const std::string& path);
    // Draws one line of six cells. Bytes that are not UTF-8 become U+FFFD
    // first, so one bad cell cannot put the document into an error state;
    // line breaks in a cell are shown, not followed.
    void write(const std::string_view (&cells)[6]);
    // Ends the current page; the next line starts a new one.
    void end_page();
    // Ends the current page (also when it is empty) and completes the file.
    // True when the whole document was written; otherwise the incomplete
    // file is removed.
    bool close();

    bool is_open() const { return cr_ != nullptr; }
    // Lines on the current page.
    unsigned row_counter() const { return row_counter_; }

private:
    void release();

    std::string path_;
    cairo_surface_t* surface_ = nullptr;
    cairo_t* cr_ = nullptr;
    void draw_line(const std::string& line, double baseline);

    PangoContext* context_ = nullptr;  // fonts for the surface, "Sans" 15
    PangoAttrList* attrs_ = nullptr;
    PangoGlyphString* glyphs_ = nullptr;
    unsigned row_counter_ = 0;
};

// The calls of the export job's original design, on one document at a
// time.

// Creates "export/<pname>.pdf" under the working directory. 0, or -1 when it
// cannot be created. `row_num` is not read.
int init_pdf(const gchar* pname, guint row_num);
// Draws one line of six texts (UTF-8; null counts as empty).
void pdf_write(const gchar* s0, const gchar* s1, const gchar* s2, const gchar* s3, const gchar* s4,
               const gchar* s5);
void write_page_pdf();
// 0 when the document was completed, -1 otherwise (none open, or it could
// not be written).
int close_pdf();

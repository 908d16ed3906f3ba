#include "exports/pdf_export.h"

#include "base/utf8_clean.h"

#include <cairo-pdf.h>
#include <cairo.h>
#include <pango/pangocairo.h>

#include <cstdio>

std::string pdf_line_text(const std::string_view (&cells)[6])
{
    std::string line;
    std::size_t size = 12;
    for (const auto& c : cells)
        size += c.size();
    line.reserve(size);
    for (int i = 0; i < 6; ++i) {
        line.append(cells[i]);
        line.append(i < 5 ? "  " : " ");
    }
    return line;
}

pdf_listing::~pdf_listing()
{
    if (is_open())
        close();
}

void pdf_listing::release()
{
    if (glyphs_)
        pango_glyph_string_free(glyphs_);
    if (attrs_)
        pango_attr_list_unref(attrs_);
    if (context_)
        g_object_unref(context_);
    if (cr_)
        cairo_destroy(cr_);
    if (surface_)
        cairo_surface_destroy(surface_);
    glyphs_ = nullptr;
    attrs_ = nullptr;
    context_ = nullptr;
    cr_ = nullptr;
    surface_ = nullptr;
}

bool pdf_listing::open(const std::string& path)
{
    if (is_open())
        close();
    path_ = path;
    row_counter_ = 0;
    surface_ = cairo_pdf_surface_create(path.c_str(), PDF_PAGE_WIDTH, PDF_PAGE_HEIGHT);
    cr_ = cairo_create(surface_);
    if (cairo_surface_status(surface_) != CAIRO_STATUS_SUCCESS ||
        cairo_status(cr_) != CAIRO_STATUS_SUCCESS) {
        release();
        std::remove(path.c_str());
        return false;
    }
    cairo_set_source_rgb(cr_, 1, 0, 0);
    context_ = pango_cairo_create_context(cr_);
    attrs_ = pango_attr_list_new();
    glyphs_ = pango_glyph_string_new();
    PangoFontDescription* font = pango_font_description_new();
    pango_font_description_set_family(font, "Sans");
    pango_font_description_set_style(font, PANGO_STYLE_NORMAL);
    pango_font_description_set_weight(font, PANGO_WEIGHT_NORMAL);
    // Size 15 in the page's units, as cairo's own font size would be.
    pango_font_description_set_absolute_size(font, PDF_FONT_SIZE * PANGO_SCALE);
    pango_context_set_font_description(context_, font);
    pango_font_description_free(font);
    return true;
}

void pdf_listing::write(const std::string_view (&cells)[6])
{
    if (!is_open())
        return;
    ++row_counter_;
    std::string_view clean[6];
    std::string cleaned[6];
    for (int i = 0; i < 6; ++i) {
        cleaned[i] = utf8_clean(cells[i]);
        clean[i] = cleaned[i];
    }
    draw_line(pdf_line_text(clean), PDF_LINE_STEP * row_counter_);
    if (row_counter_ >= PDF_LINES_PER_PAGE)
        end_page();
}

// One line from x = 10 with its baseline at `baseline`: Pango splits it
// into runs of one font each (the CJK characters fall back to a font that
// has them), shapes each run and draws its glyphs, never breaking the line
// (a line break in the text is drawn as what the font has for it). The
// layout machinery of line breaking is left out: it would cost more than
// drawing the line.
void pdf_listing::draw_line(const std::string& line, double baseline)
{
    const int size = static_cast<int>(line.size());
    GList* logical = pango_itemize(context_, line.data(), 0, size, attrs_, nullptr);
    GList* visual = pango_reorder_items(logical);
    double x = PDF_LEFT;
    for (GList* l = visual; l; l = l->next) {
        auto* item = static_cast<PangoItem*>(l->data);
        pango_shape_with_flags(line.data() + item->offset, item->length, line.data(), size,
                               &item->analysis, glyphs_, PANGO_SHAPE_NONE);
        cairo_move_to(cr_, x, baseline);
        pango_cairo_show_glyph_string(cr_, item->analysis.font, glyphs_);
        x += static_cast<double>(pango_glyph_string_get_width(glyphs_)) / PANGO_SCALE;
    }
    g_list_free(visual);
    g_list_free_full(logical, reinterpret_cast<GDestroyNotify>(pango_item_free));
}

void pdf_listing::end_page()
{
    if (!is_open())
        return;
    cairo_show_page(cr_);
    row_counter_ = 0;
}

bool pdf_listing::close()
{
    if (!is_open())
        return false;
    cairo_show_page(cr_);
    bool ok = cairo_status(cr_) == CAIRO_STATUS_SUCCESS;
    cairo_destroy(cr_);
    cr_ = nullptr;
    // Finishing writes the rest of the file; its status says whether every
    // write went through.
    cairo_surface_finish(surface_);
    ok = cairo_surface_status(surface_) == CAIRO_STATUS_SUCCESS && ok;
    release();
    if (!ok)
        std::remove(path_.c_str());
    return ok;
}

namespace {
pdf_listing the_pdf;

std::string_view text_of(const gchar* s) { return s ? std::string_view(s) : std::string_view(); }
}  // namespace

int init_pdf(const gchar* pname, guint /*row_num*/)
{
    return the_pdf.open(std::string("export/") + (pname ? pname : "") + ".pdf") ? 0 : -1;
}

void pdf_write(const gchar* s0, const gchar* s1, const gchar* s2, const gchar* s3, const gchar* s4,
               const gchar* s5)
{
    const std::string_view cells[6] = {text_of(s0), text_of(s1), text_of(s2),
                                       text_of(s3), text_of(s4), text_of(s5)};
    the_pdf.write(cells);
}

void write_page_pdf() { the_pdf.end_page(); }

int close_pdf() { return the_pdf.close() ? 0 : -1; }

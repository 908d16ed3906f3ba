// Draws the pictures that no icon theme has: the language and style items,
// the two reception items and the window icon.
//   draw_icons OUTDIR [FILE=TEXT ...]
// writes them into OUTDIR; each FILE=TEXT adds a plain text tile (used for
// theme pictures that are not installed).
#include <cairo.h>
#include <pango/pangocairo.h>

#include <cmath>
#include <cstdio>
#include <string>

namespace {

constexpr int SIZE = 24;
constexpr double PI = 3.14159265358979323846;

struct rgb {
    double r, g, b;
};

rgb hex(unsigned v)
{
    return {((v >> 16) & 0xff) / 255.0, ((v >> 8) & 0xff) / 255.0, (v & 0xff) / 255.0};
}

rgb shade(rgb c, double k)
{
    auto f = [k](double x) { return k < 1 ? x * k : x + (1 - x) * (k - 1); };
    return {f(c.r), f(c.g), f(c.b)};
}

void set(cairo_t* cr, rgb c, double a = 1) { cairo_set_source_rgba(cr, c.r, c.g, c.b, a); }

void rounded(cairo_t* cr, double x, double y, double w, double h, double r)
{
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -PI / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, PI / 2);
    cairo_arc(cr, x + r, y + h - r, r, PI / 2, PI);
    cairo_arc(cr, x + r, y + r, r, PI, 3 * PI / 2);
    cairo_close_path(cr);
}

// A rounded square with a soft top-to-bottom gradient and a darker rim.
void tile(cairo_t* cr, rgb c, int size = SIZE)
{
    double s = size;
    rounded(cr, 0.5, 0.5, s - 1, s - 1, s / 6);
    cairo_pattern_t* p = cairo_pattern_create_linear(0, 0, 0, s);
    rgb top = shade(c, 1.25), bottom = shade(c, 0.85);
    cairo_pattern_add_color_stop_rgb(p, 0, top.r, top.g, top.b);
    cairo_pattern_add_color_stop_rgb(p, 1, bottom.r, bottom.g, bottom.b);
    cairo_set_source(cr, p);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(p);
    set(cr, shade(c, 0.6));
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
}

// Text centred in the square, as large as fits in `room` pixels.
void centred_text(cairo_t* cr, const char* text, rgb colour, double room, bool outline,
                  int size = SIZE)
{
    PangoLayout* layout = pango_cairo_create_layout(cr);
    pango_layout_set_text(layout, text, -1);
    PangoRectangle ink {}, logical {};
    for (int px = size; px >= 6; --px) {
        PangoFontDescription* font = pango_font_description_from_string("WenQuanYi Zen Hei Bold");
        pango_font_description_set_absolute_size(font, px * PANGO_SCALE);
        pango_layout_set_font_description(layout, font);
        pango_font_description_free(font);
        pango_layout_get_pixel_extents(layout, &ink, &logical);
        if (ink.width <= room && ink.height <= room)
            break;
    }
    double x = (size - ink.width) / 2.0 - ink.x;
    double y = (size - ink.height) / 2.0 - ink.y;
    cairo_move_to(cr, x, y);
    pango_cairo_layout_path(cr, layout);
    if (outline) {
        set(cr, hex(0x1a1a1a), 0.85);
        cairo_set_line_width(cr, 2);
        cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
        cairo_stroke_preserve(cr);
    }
    set(cr, colour);
    cairo_fill(cr);
    g_object_unref(layout);
}

bool write(cairo_surface_t* surface, const std::string& dir, const std::string& name)
{
    std::string path = dir + "/" + name;
    if (cairo_surface_write_to_png(surface, path.c_str()) != CAIRO_STATUS_SUCCESS) {
        std::fprintf(stderr, "draw_icons: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

template <typename Draw>
bool draw(const std::string& dir, const std::string& name, Draw paint, int size = SIZE)
{
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size, size);
    cairo_t* cr = cairo_create(surface);
    paint(cr);
    cairo_destroy(cr);
    bool ok = write(surface, dir, name);
    cairo_surface_destroy(surface);
    return ok;
}

// A language item: its script's sign in white on the language's colour; the
// marked ("_y") twin is dark on gold.
bool language(const std::string& dir, const std::string& name, const char* sign, unsigned colour,
              bool marked)
{
    return draw(dir, name, [&](cairo_t* cr) {
        tile(cr, marked ? hex(0xf2c230) : hex(colour));
        centred_text(cr, sign, marked ? hex(0x3a2a00) : hex(0xffffff), 18, false);
    });
}

// A style item: the style's surface and accent colours split on the diagonal,
// with its number on top.
bool style(const std::string& dir, int n, unsigned surface, unsigned accent)
{
    std::string name = "fg" + std::to_string(n) + ".png";
    return draw(dir, name, [&](cairo_t* cr) {
        rounded(cr, 0.5, 0.5, SIZE - 1, SIZE - 1, 4);
        cairo_save(cr);
        cairo_clip(cr);
        set(cr, hex(surface));
        cairo_paint(cr);
        cairo_move_to(cr, SIZE, 0);
        cairo_line_to(cr, SIZE, SIZE);
        cairo_line_to(cr, 0, SIZE);
        cairo_close_path(cr);
        set(cr, hex(accent));
        cairo_fill(cr);
        cairo_restore(cr);
        rounded(cr, 0.5, 0.5, SIZE - 1, SIZE - 1, 4);
        set(cr, shade(hex(accent), 0.6));
        cairo_set_line_width(cr, 1);
        cairo_stroke(cr);
        centred_text(cr, std::to_string(n).c_str(), hex(0xffffff), 16, true);
    });
}

// Reception on (a play sign on green) and off (a stop sign on red).
bool reception(const std::string& dir, const std::string& name, bool on)
{
    return draw(dir, name, [&](cairo_t* cr) {
        rgb c = on ? hex(0x2f9e44) : hex(0xd63a2f);
        cairo_arc(cr, 12, 12, 10.5, 0, 2 * PI);
        cairo_pattern_t* p = cairo_pattern_create_radial(9, 8, 1, 12, 12, 11);
        rgb light = shade(c, 1.35);
        cairo_pattern_add_color_stop_rgb(p, 0, light.r, light.g, light.b);
        cairo_pattern_add_color_stop_rgb(p, 1, c.r, c.g, c.b);
        cairo_set_source(cr, p);
        cairo_fill_preserve(cr);
        cairo_pattern_destroy(p);
        set(cr, shade(c, 0.6));
        cairo_set_line_width(cr, 1);
        cairo_stroke(cr);
        set(cr, hex(0xffffff));
        if (on) {
            cairo_move_to(cr, 9.5, 7);
            cairo_line_to(cr, 17.5, 12);
            cairo_line_to(cr, 9.5, 17);
            cairo_close_path(cr);
        } else {
            rounded(cr, 7.5, 7.5, 9, 9, 1.5);
        }
        cairo_fill(cr);
    });
}

// The window icon: a log sheet on a blue square, with a signal mark.
bool logo(const std::string& dir)
{
    constexpr int S = 48;
    return draw(
        dir, "logo2.png",
        [&](cairo_t* cr) {
            tile(cr, hex(0x2f6fc0), S);
            // Sheet.
            rounded(cr, 10, 7, 24, 32, 2.5);
            set(cr, hex(0xffffff));
            cairo_fill_preserve(cr);
            set(cr, hex(0x1d4a80));
            cairo_set_line_width(cr, 1);
            cairo_stroke(cr);
            // Log lines.
            set(cr, hex(0x5a87c4));
            cairo_set_line_width(cr, 2);
            for (int i = 0; i < 5; ++i) {
                double y = 13.5 + i * 5;
                cairo_move_to(cr, 14, y);
                cairo_line_to(cr, i % 2 ? 26 : 30, y);
                cairo_stroke(cr);
            }
            // Signal arcs in the lower right corner.
            set(cr, hex(0x35c26a));
            cairo_arc(cr, 36, 38, 2.5, 0, 2 * PI);
            cairo_fill(cr);
            cairo_set_line_width(cr, 2.2);
            cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
            for (double r : {6.0, 10.0}) {
                cairo_arc(cr, 36, 38, r, PI * 1.05, PI * 1.45);
                cairo_stroke(cr);
            }
        },
        S);
}

// A stand-in picture: short text on a grey-blue square.
bool text_tile(const std::string& dir, const std::string& name, const std::string& text)
{
    return draw(dir, name, [&](cairo_t* cr) {
        tile(cr, hex(0x5b7896));
        centred_text(cr, text.c_str(), hex(0xffffff), 18, false);
    });
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: draw_icons OUTDIR [FILE=TEXT ...]\n");
        return 2;
    }
    const std::string dir = argv[1];
    bool ok = true;

    struct lang_def {
        const char* file;
        const char* sign;
        unsigned colour;
        bool marked;
    };
    const lang_def langs[] = {
        {"d2.png", "中", 0xc8372d, false},          {"d3.png", "EN", 0x2a64b0, false},
        {"d19.png", "繁", 0x18806a, false},         {"tw2.png", "繁", 0x18806a, false},
        {"lan_chinese.png", "中", 0xc8372d, false}, {"lan_chinese_y.png", "中", 0, true},
        {"lan_en.png", "EN", 0x2a64b0, false},      {"lan_en_y.png", "EN", 0, true},
        {"lan_fanti.png", "繁", 0x18806a, false},   {"lan_fanti_y.png", "繁", 0, true},
    };
    for (const lang_def& l : langs)
        ok &= language(dir, l.file, l.sign, l.colour, l.marked);

    // Surface and accent colours of the six style files.
    const unsigned styles[6][2] = {
        {0xe3edf8, 0x2f6cc0}, {0xe2f1e8, 0x267a4b}, {0xf6ead2, 0xa35a08},
        {0xebe6f5, 0x6a4fb6}, {0xf7e3e1, 0xb83228}, {0xe1e4e8, 0x34495e},
    };
    for (int n = 1; n <= 6; ++n)
        ok &= style(dir, n, styles[n - 1][0], styles[n - 1][1]);

    ok &= reception(dir, "kqjs.png", true);
    ok &= reception(dir, "gbjs.png", false);
    ok &= logo(dir);

    for (int i = 2; i < argc; ++i) {
        std::string arg = argv[i];
        std::size_t eq = arg.find('=');
        if (eq == std::string::npos || eq == 0) {
            std::fprintf(stderr, "draw_icons: bad argument %s\n", arg.c_str());
            ok = false;
            continue;
        }
        ok &= text_tile(dir, arg.substr(0, eq), arg.substr(eq + 1));
    }
    return ok ? 0 : 1;
}

// Pieces shared by the two settings dialogs' forms.
#pragma once

#include "base/config.h"

#include <gtk/gtk.h>

#include <cstring>
#include <array>
#include <string>

// A row of a label and an entry, both expanding; the entry is returned.
inline GtkWidget* settings_entry_row(GtkWidget* box, const char* label_text)
{
    GtkWidget* row = gtk_hbox_new(FALSE, 0);
    GtkWidget* label = gtk_label_new(label_text);
    GtkWidget* entry = gtk_entry_new();
    gtk_box_pack_start(GTK_BOX(row), label, TRUE, TRUE, 0);
    gtk_box_pack_start(GTK_BOX(row), entry, TRUE, TRUE, 0);
    gtk_box_pack_start(GTK_BOX(box), row, TRUE, TRUE, 0);
    return entry;
}

// A left-aligned line of text at the foot of its space.
inline void settings_note(GtkWidget* box, const char* text, gboolean expand)
{
    GtkWidget* label = gtk_label_new(text);
    gtk_misc_set_alignment(GTK_MISC(label), 0, 1.0);
    gtk_box_pack_start(GTK_BOX(box), label, expand, expand, 0);
}

// The text of an entry, "" when it is gone.
inline std::string settings_entry_text(GtkWidget* entry)
{
    return entry ? gtk_entry_get_text(GTK_ENTRY(entry)) : "";
}

// Shows a configuration field (at most 100 bytes, NUL-padded) in an entry.
inline void settings_entry_set(GtkWidget* entry, const char (&field)[100])
{
    if (entry)
        gtk_entry_set_text(GTK_ENTRY(entry),
                           std::string(field, strnlen(field, sizeof field)).c_str());
}

// One entry of a settings form and the configuration field it shows.
struct settings_field {
    GtkWidget*& entry;
    char (config_info_::*field)[100];
};

// Shows the fields in their entries (entries that are gone are skipped).
template <class Form> void settings_show(const Form& form, const config_info_& info)
{
    for (const settings_field& f : form)
        settings_entry_set(f.entry, info.*f.field);
}

// Takes the entries' texts into their fields, cut to what a field holds.
template <class Form> void settings_take(const Form& form, config_info_& info)
{
    for (const settings_field& f : form)
        config_set_field(info.*f.field, settings_entry_text(f.entry));
}

#include "app/udp_switch.h"

#include "app/toolbar.h"
#include "receive/udp_proc.h"

namespace {

void set_reception_items(gboolean open_sensitive)
{
    if (GtkToolItem* open = toolbar_item(TOOL_OPEN_RECV))
        gtk_widget_set_sensitive(GTK_WIDGET(open), open_sensitive);
    if (GtkToolItem* close = toolbar_item(TOOL_CLOSE_RECV))
        gtk_widget_set_sensitive(GTK_WIDGET(close), !open_sensitive);
}

}  // namespace

void open_udp_click(GtkWidget*, gpointer)
{
    b_recv = 1;
    set_reception_items(FALSE);
}

void close_udp_click(GtkWidget*, gpointer)
{
    b_recv = 0;
    set_reception_items(TRUE);
}

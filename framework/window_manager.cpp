#include "framework/window_manager.h"

#include <gtk/gtk.h>
#include <wx/event.h>
#include <wx/toplevel.h>
#include <wx/window.h>

#include <cstring>

namespace trovex {
namespace {

GtkWindow* TopLevelGtkWindow(const wxWindow* wnd) {
  if (!wnd) return nullptr;
  const wxWindow* top = wxGetTopLevelParent(const_cast<wxWindow*>(wnd));
  GtkWidget* widget = top ? static_cast<GtkWidget*>(top->GetHandle()) : nullptr;
  return widget && GTK_IS_WINDOW(widget) ? GTK_WINDOW(widget) : nullptr;
}

constexpr const char* kDefaultButtonClass = "suggested-action";

}  // namespace

void MakeModalFor(wxWindow* wnd, wxWindow* owner) {
  GtkWindow* window = TopLevelGtkWindow(wnd);
  if (!window) return;
  GtkWindow* parent = TopLevelGtkWindow(owner);
  if (parent && parent != window) gtk_window_set_transient_for(window, parent);
  gtk_window_set_modal(window, TRUE);
}

bool IsModalFor(const wxWindow* wnd, const wxWindow* owner) {
  GtkWindow* window = TopLevelGtkWindow(wnd);
  if (!window || !gtk_window_get_modal(window)) return false;
  return gtk_window_get_transient_for(window) == TopLevelGtkWindow(owner);
}

namespace {

void ApplyFrameFunctions(GtkWidget* widget, gpointer resizable) {
  GdkWindow* window = gtk_widget_get_window(widget);
  if (!window) return;
  int functions = GDK_FUNC_MOVE | GDK_FUNC_CLOSE;
  int decorations = GDK_DECOR_BORDER | GDK_DECOR_TITLE | GDK_DECOR_MENU;
  if (resizable) {
    functions |= GDK_FUNC_RESIZE | GDK_FUNC_MAXIMIZE;
    decorations |= GDK_DECOR_RESIZEH | GDK_DECOR_MAXIMIZE;
  }
  gdk_window_set_functions(window, static_cast<GdkWMFunction>(functions));
  gdk_window_set_decorations(window, static_cast<GdkWMDecoration>(decorations));
}

}  // namespace

void LimitFrameFunctions(wxWindow* wnd, bool resizable) {
  GtkWindow* window = TopLevelGtkWindow(wnd);
  if (!window) return;
  gpointer data = resizable ? GINT_TO_POINTER(1) : nullptr;
  // After the toolkit's own realize handler, which sets what its style flags say.
  g_signal_connect_after(window, "realize", G_CALLBACK(ApplyFrameFunctions), data);
  if (gtk_widget_get_realized(GTK_WIDGET(window))) ApplyFrameFunctions(GTK_WIDGET(window), data);
}

void MoveFrameTo(wxWindow* wnd, const wxPoint& pos) {
  if (GtkWindow* window = TopLevelGtkWindow(wnd)) gtk_window_move(window, pos.x, pos.y);
}

namespace {

gboolean OnViewKeyPress(GtkWidget*, GdkEventKey* key, gpointer data) {
  if (key->keyval != GDK_KEY_Escape || (key->state & gtk_accelerator_get_default_mod_mask()) != 0) return FALSE;
  auto* view = static_cast<wxWindow*>(data);
  wxWindow* top = wxGetTopLevelParent(view);
  if (!top) return FALSE;
  wxKeyEvent hook(wxEVT_CHAR_HOOK);
  hook.m_keyCode = WXK_ESCAPE;
  hook.SetEventObject(view);
  hook.SetId(view->GetId());
  // Handled when the window's hook neither skipped it nor left it unprocessed.
  return top->ProcessWindowEvent(hook) && !hook.GetSkipped() ? TRUE : FALSE;
}

}  // namespace

void RouteEscapeToTopLevel(wxWindow* view) {
  auto* widget = view ? static_cast<GtkWidget*>(view->GetHandle()) : nullptr;
  // The toolkit wraps some views in a scrolled window; the key goes to the view inside.
  while (widget && GTK_IS_BIN(widget) && gtk_bin_get_child(GTK_BIN(widget))) widget = gtk_bin_get_child(GTK_BIN(widget));
  // Before the view's own handler (the signal runs connected handlers first), which would take
  // the key for good.
  if (widget) g_signal_connect(widget, "key-press-event", G_CALLBACK(OnViewKeyPress), view);
}

void MarkDefaultButton(wxWindow* button) {
  auto* widget = button ? static_cast<GtkWidget*>(button->GetHandle()) : nullptr;
  if (widget) gtk_style_context_add_class(gtk_widget_get_style_context(widget), kDefaultButtonClass);
}

bool IsMarkedDefaultButton(const wxWindow* button) {
  auto* widget = button ? static_cast<GtkWidget*>(button->GetHandle()) : nullptr;
  return widget &&
         gtk_style_context_has_class(gtk_widget_get_style_context(widget), kDefaultButtonClass);
}

bool BeginResizeFromBottomRight(wxWindow* wnd, const wxPoint& screenPos, int button) {
  GtkWindow* window = TopLevelGtkWindow(wnd);
  if (!window || !gtk_widget_get_visible(GTK_WIDGET(window))) return false;
  gtk_window_begin_resize_drag(window, GDK_WINDOW_EDGE_SOUTH_EAST, button, screenPos.x,
                               screenPos.y, gtk_get_current_event_time());
  return true;
}

bool ShapeToLowerRightTriangle(wxWindow* wnd) {
  auto* widget = wnd ? static_cast<GtkWidget*>(wnd->GetHandle()) : nullptr;
  GdkWindow* window = widget ? gtk_widget_get_window(widget) : nullptr;
  if (!window) return false;
  const wxSize size = wnd->GetSize();
  if (size.x <= 0 || size.y <= 0) return false;
  // One row at a time, as polygon regions are made of rectangles.
  cairo_region_t* region = cairo_region_create();
  for (int y = 0; y < size.y; ++y) {
    const int width = static_cast<int>((static_cast<long>(y) + 1) * size.x / size.y);
    if (width <= 0) continue;
    const cairo_rectangle_int_t row{size.x - width, y, width, 1};
    cairo_region_union_rectangle(region, &row);
  }
  // On X11 only the display server clips a child window to a shape reliably: give it a
  // window of its own there.
  if (std::strcmp(G_OBJECT_TYPE_NAME(gdk_window_get_display(window)), "GdkX11Display") == 0)
    gdk_window_ensure_native(window);
  gdk_window_shape_combine_region(window, region, 0, 0);
  gdk_window_input_shape_combine_region(window, region, 0, 0);
  cairo_region_destroy(region);
  return true;
}

bool ReadHorizontalScroll(const wxWindow* ctrl, int& nMax, int& nPage, int& nPos) {
  if (!ctrl) return false;
  // Scrolling windows, native lists and wx's own scrolled windows alike, keep the state in
  // their scrolled window's adjustment.
  auto* widget = static_cast<GtkWidget*>(ctrl->GetHandle());
  if (!widget || !GTK_IS_SCROLLED_WINDOW(widget)) return false;
  GtkAdjustment* adj = gtk_scrolled_window_get_hadjustment(GTK_SCROLLED_WINDOW(widget));
  if (!adj) return false;
  const double lower = gtk_adjustment_get_lower(adj);
  nMax = static_cast<int>(gtk_adjustment_get_upper(adj) - lower) - 1;
  nPage = static_cast<int>(gtk_adjustment_get_page_size(adj));
  nPos = static_cast<int>(gtk_adjustment_get_value(adj) - lower);
  return true;
}

}  // namespace trovex

// ListBox1: a virtual list view over the ItemList model, its check boxes, dragging, dropped
// files, the context menu and the editing commands. The view owns no entries: it asks the
// model for each visible row, so a list of a million entries costs what the model costs.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include "app/app_form.h"
#include "ui/control_ids.h"
#include "util/text.h"

namespace quillet {

namespace {
constexpr UINT_PTR kListSubclassId = 1;
}

void TAppForm::CreateListView() {
  list_view_ = AddControl(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                          WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_SINGLESEL |
                              LVS_SHOWSELALWAYS | LVS_NOCOLUMNHEADER,
                          IDC_LISTBOX1, listFont_.get());
  ListView_SetExtendedListViewStyle(
      list_view_, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
  // The one column is as wide as the view (Layout keeps it so).
  RECT client{};
  GetClientRect(list_view_, &client);
  LVCOLUMNW column{};
  column.mask = LVCF_WIDTH;
  column.cx = client.right;
  ListView_InsertColumn(list_view_, 0, &column);
  // The check marks live in the model; the view asks for them with each row.
  SendMessageW(list_view_, LVM_SETCALLBACKMASK, LVIS_STATEIMAGEMASK, 0);
  // Files are accepted from FinishStartup on, with the main window's drop registration.
  SetWindowSubclass(list_view_, &TAppForm::ListSubclassProc, kListSubclassId,
                    reinterpret_cast<DWORD_PTR>(this));
}

LRESULT CALLBACK TAppForm::ListSubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                            UINT_PTR /*id*/, DWORD_PTR refData) {
  auto* form = reinterpret_cast<TAppForm*>(refData);
  try {
    switch (message) {
      case WM_DROPFILES:
        form->OnListDropFiles(reinterpret_cast<HDROP>(wParam));
        return 0;
      case WM_LBUTTONDOWN:
      case WM_LBUTTONDBLCLK: {
        // A click on an entry's box toggles that entry's mark (and selects it) here, so the
        // view's own idea of check boxes never runs for a list whose marks it doesn't hold.
        LVHITTESTINFO hit{};
        hit.pt = POINT{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        if (ListView_SubItemHitTest(hwnd, &hit) >= 0 && (hit.flags & LVHT_ONITEMSTATEICON) &&
            hit.iItem >= 0) {
          SetFocus(hwnd);
          form->list_.Select(hit.iItem);
          form->ToggleCheckAt(hit.iItem);
          form->SyncListView();
          return 0;
        }
        break;
      }
      case WM_KEYDOWN:
        if (wParam == VK_SPACE) {
          form->ToggleCheckAt(form->list_.Current());
          return 0;
        }
        if (wParam == VK_DELETE) {  // ListBox1KeyDown: whatever modifiers are held
          form->ListEdit(&ItemList::RemoveSelected);
          return 0;
        }
        if (wParam == VK_ESCAPE && form->dragging_) {
          form->EndDrag(false, POINT{});
          return 0;
        }
        break;
      case WM_CHAR:
        if (wParam == L' ') return 0;
        break;
      case WM_DESTROY:
        DragAcceptFiles(hwnd, FALSE);
        RemoveWindowSubclass(hwnd, &TAppForm::ListSubclassProc, kListSubclassId);
        break;
      default:
        break;
    }
  } catch (const std::exception& error) {
    ShowErrorReport(form->Handle(), error.what());
    return 0;
  } catch (...) {
    return 0;
  }
  return DefSubclassProc(hwnd, message, wParam, lParam);
}

void TAppForm::ToggleCheckAt(std::ptrdiff_t index) {
  if (index < 0 || static_cast<std::size_t>(index) >= list_.Count()) return;
  list_.ToggleChecked(static_cast<std::size_t>(index));
  ListView_RedrawItems(list_view_, static_cast<int>(index), static_cast<int>(index));
}

void TAppForm::Ekle(const std::string& text, bool checked) {
  list_.Ekle(text, checked);
  SyncListView();
}

void TAppForm::SyncListView(bool ensureVisible) {
  if (!list_view_) return;
  syncing_ = true;
  const int count = static_cast<int>(list_.Count());
  if (ListView_GetItemCount(list_view_) != count) {
    ListView_SetItemCountEx(list_view_, count, LVSICF_NOSCROLL);
  }
  InvalidateRect(list_view_, nullptr, FALSE);

  const std::ptrdiff_t current = list_.Current();
  const int shown = ListView_GetNextItem(list_view_, -1, LVNI_SELECTED);
  if (shown != current) {
    ListView_SetItemState(list_view_, -1, 0, LVIS_SELECTED);
  }
  if (current >= 0) {
    const UINT both = LVIS_SELECTED | LVIS_FOCUSED;
    ListView_SetItemState(list_view_, static_cast<int>(current), both, both);
    if (ensureVisible || current != shownCurrent_) {
      ListView_EnsureVisible(list_view_, static_cast<int>(current), FALSE);
    }
  }
  shownCurrent_ = current;
  syncing_ = false;
}

bool TAppForm::OnListNotify(NMHDR* header, LRESULT& result) {
  switch (header->code) {
    case LVN_GETDISPINFOW: {
      LVITEMW& item = reinterpret_cast<NMLVDISPINFOW*>(header)->item;
      if (item.iItem < 0 || static_cast<std::size_t>(item.iItem) >= list_.Count()) return true;
      const Entry& entry = list_.At(static_cast<std::size_t>(item.iItem));
      if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0) {
        std::wstring text = Widen(entry.text);
        std::size_t n = std::min<std::size_t>(text.size(), static_cast<std::size_t>(item.cchTextMax) - 1);
        text.copy(item.pszText, n);
        item.pszText[n] = L'\0';
      }
      if (item.mask & LVIF_STATE) {
        item.state = (item.state & ~LVIS_STATEIMAGEMASK) | INDEXTOSTATEIMAGEMASK(entry.checked ? 2 : 1);
        item.stateMask |= LVIS_STATEIMAGEMASK;
      }
      return true;
    }
    case LVN_ITEMCHANGED: {
      auto* change = reinterpret_cast<NMLISTVIEW*>(header);
      if (!syncing_ && (change->uChanged & LVIF_STATE) &&
          ((change->uOldState ^ change->uNewState) & LVIS_SELECTED)) {
        const int selected = ListView_GetNextItem(list_view_, -1, LVNI_SELECTED);
        list_.Select(selected);
        shownCurrent_ = selected;
      }
      return true;
    }
    case LVN_BEGINDRAG:
      BeginDrag();
      return true;
    case LVN_ODFINDITEMW:
      result = -1;
      return true;
    default:
      return false;
  }
}

void TAppForm::BeginDrag() {
  if (list_.Current() < 0) return;
  dragging_ = true;
  SetCapture(Handle());
  SetCursor(LoadCursorW(nullptr, IDC_SIZENS));
}

void TAppForm::EndDrag(bool drop, POINT screenPoint) {
  if (!dragging_) return;
  dragging_ = false;  // first, so the capture change below is not taken for a cancel
  if (GetCapture() == Handle()) ReleaseCapture();
  SetCursor(LoadCursorW(nullptr, IDC_ARROW));
  if (!drop) return;
  const std::ptrdiff_t dropIndex = DropIndexAt(screenPoint);
  if (dropIndex < 0) return;
  list_.DropSelectedAt(dropIndex);
  SyncListView(true);
}

std::ptrdiff_t TAppForm::DropIndexAt(POINT screenPoint) const {
  POINT point = screenPoint;
  ScreenToClient(list_view_, &point);
  RECT client{};
  GetClientRect(list_view_, &client);
  if (!PtInRect(&client, point)) return -1;
  LVHITTESTINFO hit{};
  hit.pt = point;
  const int index = static_cast<int>(SendMessageW(list_view_, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
  if (index >= 0 && static_cast<std::size_t>(index) < list_.Count()) return index;
  return static_cast<std::ptrdiff_t>(list_.Count());
}

void TAppForm::ShowListContextMenu(LPARAM position) {
  POINT point{static_cast<short>(LOWORD(position)), static_cast<short>(HIWORD(position))};
  if (position == -1) {  // from the keyboard: under the current entry, or the list's corner
    point = POINT{0, 0};
    RECT row{};
    if (list_.Current() >= 0 &&
        ListView_GetItemRect(list_view_, static_cast<int>(list_.Current()), &row, LVIR_BOUNDS)) {
      point = POINT{row.left, row.bottom};
    }
    ClientToScreen(list_view_, &point);
  }
  TrackPopupMenu(popupRightClick_.get(), TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, point.x,
                 point.y, 0, Handle(), nullptr);
}

void TAppForm::ListEdit(void (ItemList::*operation)()) {
  (list_.*operation)();
  SyncListView();
}

void TAppForm::Copy1Click() { SetClipboardText(Handle(), list_.CopyText()); }

void TAppForm::Paste1Click() {
  list_.Paste(GetClipboardText(Handle()));
  SyncListView();
}

void TAppForm::OnListDropFiles(HDROP drop) {
  struct Finish {
    HDROP handle;
    ~Finish() { DragFinish(handle); }
  } finish{drop};
  const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < count; ++i) {
    // Each name whole, however long: a name cut at MAX_PATH would name another place (often a
    // folder above the file), which a run would then open.
    const UINT length = DragQueryFileW(drop, i, nullptr, 0);
    if (length == 0) break;
    std::wstring name(length + 1, L'\0');
    name.resize(DragQueryFileW(drop, i, name.data(), length + 1));
    if (name.empty()) break;
    try {
      list_.Ekle(Narrow(name), true);
    } catch (...) {
      // One name that can't be added doesn't keep the others out.
    }
  }
  SyncListView();
}

}  // namespace quillet

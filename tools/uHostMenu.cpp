#include "tools/uHostMenu.h"

#include <string>
#include <utility>

#include "tools/uHostOutput.h"

namespace {

// Handlers share the identifiers 1..0x7FFF; the host's own items sit above them.
constexpr UINT kFirstHandlerId = 1;
constexpr UINT kLastHandlerId = 0x7FFF;
constexpr UINT kIdView = 0x8001, kIdRefresh = 0x8002, kIdProperties = 0x8003;

HRESULT AppendItem(HMENU menu, UINT id, const wchar_t* text) {
  MENUITEMINFOW mii = {};
  mii.cbSize = sizeof mii;
  if (text) {
    mii.fMask = MIIM_ID | MIIM_STRING | MIIM_FTYPE;
    mii.fType = MFT_STRING;
    mii.wID = id;
    mii.dwTypeData = const_cast<wchar_t*>(text);
  } else {
    mii.fMask = MIIM_FTYPE;
    mii.fType = MFT_SEPARATOR;
  }
  return ::InsertMenuItemW(menu, ::GetMenuItemCount(menu), TRUE, &mii)
             ? S_OK
             : HRESULT_FROM_WIN32(::GetLastError());
}

std::string ClsidText(const CLSID& clsid) {
  wchar_t w[64] = {};
  if (!::StringFromGUID2(clsid, w, 64)) return "?";
  return Utf8(w);
}

const char* Refusal(TShellStep step) {
  switch (step) {
    case TShellStep::Create:
      return "not created";
    case TShellStep::Initialize:
      return "refused the folder";
    case TShellStep::ContextMenu:
      return "no IContextMenu";
    default:
      return "QueryContextMenu failed";
  }
}

void ListMenu(HMENU menu, int depth, std::string& out) {
  const int count = ::GetMenuItemCount(menu);
  for (int i = 0; i < count; ++i) {
    HMENU sub = ::GetSubMenu(menu, i);
    const std::wstring text = MenuItemText(menu, static_cast<UINT>(i), MF_BYPOSITION);
    out.append(static_cast<size_t>(depth) * 2, ' ');
    if (text.empty() && !sub)
      out += "-\n";
    else
      out += Utf8(text) + (sub ? " >\n" : "\n");
    if (sub) ListMenu(sub, depth + 1, out);
  }
}

}  // namespace

const THandlerRange* TBackgroundMenu::Owner(UINT id, UINT& offset) const {
  for (const auto& h : handlers) {
    if (id >= h.first && id < h.first + h.count) {
      offset = id - h.first;
      return &h;
    }
  }
  return nullptr;
}

int BuildMenu(const TFolder& folder, const std::vector<CLSID>& classes, TBackgroundMenu& out) {
  out.menu.reset(::CreatePopupMenu());
  if (!out.menu) {
    Say("CreatePopupMenu failed (%lu)", ::GetLastError());
    return kExitUsage;
  }
  HRESULT hr = S_OK;
  for (const auto& [id, text] : {std::pair<UINT, const wchar_t*>{kIdView, L"보기(&V)"},
                                 {kIdRefresh, L"새로 고침(&E)"}, {0, nullptr}, {0, nullptr},
                                 {kIdProperties, L"속성(&R)"}}) {
    if (FAILED(hr = AppendItem(out.menu.get(), id, text))) {
      Say("cannot build the menu (0x%08lX)", static_cast<unsigned long>(hr));
      return kExitUsage;
    }
  }
  const TRegKey folderKey = OpenBackgroundKey();
  UINT next = kFirstHandlerId;
  for (const CLSID& clsid : classes) {
    THandlerRange range;
    hr = range.handler.Open(clsid, nullptr, folder.pidl.get(), folderKey.get());
    if (SUCCEEDED(hr) && next > kLastHandlerId) break;
    // Handlers go between the two separators, each after the ones before it.
    const int count = ::GetMenuItemCount(out.menu.get());
    const UINT position = count >= 2 ? static_cast<UINT>(count - 2) : 0;
    if (SUCCEEDED(hr)) hr = range.handler.QueryMenu(out.menu.get(), position, next, kLastHandlerId);
    if (FAILED(hr)) {
      Say("handler %s: %s (0x%08lX)", ClsidText(clsid).c_str(), Refusal(range.handler.Step()),
          static_cast<unsigned long>(hr));
      continue;
    }
    range.first = next;
    range.count = range.handler.Items();
    next += range.count;
    out.handlers.push_back(std::move(range));
  }
  return kExitOk;
}

void PrintMenu(HMENU menu, int depth) {
  std::string out;
  ListMenu(menu, depth, out);
  Print(STD_OUTPUT_HANDLE, out);
}

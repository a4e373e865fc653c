#include "wizard/pages.h"

#include <shlobj.h>

#include "platform/drawing.h"
#include "destination/destination.h"
#include "wizard/location_page.h"
#include "state/run_state.h"
#include "platform/system_library.h"
#include "platform/text.h"
#include "wizard/wizard_state.h"

namespace {

constexpr DWORD kChildStyle = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_TABSTOP;

struct ClientSize {
  int width = 0, height = 0;
};

ClientSize ClientSizeOf(HWND window) {
  RECT client = {};
  GetClientRect(window, &client);
  return {client.right - client.left, client.bottom - client.top};
}

HWND CreateControl(HWND window, DWORD extendedStyle, const wchar_t* className, const std::string& text, DWORD style,
                   const LayoutRect& place, int id) {
  HWND control = CreateWindowExW(extendedStyle, className, WideFromUtf8(text).c_str(), style | kChildStyle, place.x,
                                 place.y, place.width, place.height, window,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), setupInstance, nullptr);
  if (control != nullptr) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(wizard.uiFont), TRUE);
  return control;
}

void Repaint(HWND window) {
  InvalidateRect(window, nullptr, FALSE);
  UpdateWindow(window);
}

struct CheckBox {
  int id;
  const char* text;
  std::int32_t InstallerConfig::*allowed;
  std::int32_t WizardChoices::*choice;
};

// In the order the page creates them, which is also the Tab order.
constexpr CheckBox kCheckBoxes[] = {
    {IDC_STARTMENU, "Add Quenlith to the Start menu", &InstallerConfig::setupStartMenu, &WizardChoices::startMenu},
    {IDC_DESKTOP, "Add a Quenlith shortcut to the desktop", &InstallerConfig::setupDesktopIcon,
     &WizardChoices::desktop},
    {IDC_STARTUP, "Load Quenlith when my computer starts up", &InstallerConfig::setupStartup,
     &WizardChoices::startup},
    {IDC_UNINSTALL, "Add Uninstall information to Add/Remove programs", &InstallerConfig::setupUninstallInformation,
     &WizardChoices::uninstall},
};

// Where a page control other than a check box goes at scale `s`.
LayoutRect PlaceOf(int id, const ClientSize& size, double s) {
  switch (id) {
    case IDC_DESTINATION:
      return DestinationRect(size.width, s);
    case IDC_BROWSE:
      return BrowseRect(size.width, s);
    case IDC_RESET:
      return ResetRect(size.width, s);
    case IDC_NEXT:
      return wizard.state == kCompletePage ? LaunchRect(size.width, size.height, s)
                                           : NextRect(size.width, size.height, s);
    default:
      return CancelRect(size.width, size.height, s);
  }
}

void Fit(HWND control, const LayoutRect& place) {
  SetWindowPos(control, nullptr, place.x, place.y, place.width, place.height, SWP_NOZORDER | SWP_NOACTIVATE);
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(wizard.uiFont), TRUE);
}

// The folder the user picks in the shell's dialog, which opens at its root;
// none when cancelled or when the dialog cannot be shown.
std::optional<std::string> BrowseForFolder(HWND owner, const std::string& title) {
  using BrowseFunction = decltype(::SHBrowseForFolderW);
  using PathFunction = decltype(::SHGetPathFromIDListW);
  static const auto browse = SystemFunction<BrowseFunction>(L"shell32.dll", "SHBrowseForFolderW");
  static const auto pathFromList = SystemFunction<PathFunction>(L"shell32.dll", "SHGetPathFromIDListW");
  OleInitialize(nullptr);
  IMalloc* allocator = nullptr;
  if (FAILED(SHGetMalloc(&allocator)) || allocator == nullptr) return std::nullopt;
  std::optional<std::string> picked;
  if (browse != nullptr && pathFromList != nullptr) {
    wchar_t path[MAX_PATH] = L"";
    const std::wstring wideTitle = WideFromUtf8(title);
    BROWSEINFOW info = {};
    info.hwndOwner = owner;
    info.pszDisplayName = path;
    info.lpszTitle = wideTitle.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_NEWDIALOGSTYLE;
    if (PIDLIST_ABSOLUTE list = browse(&info)) {
      if (pathFromList(list, path)) picked = Utf8FromWide(path);
      allocator->Free(list);
    }
  }
  allocator->Release();
  return picked;
}

}  // namespace

std::string DestinationText(HWND window) {
  HWND edit = GetDlgItem(window, IDC_DESTINATION);
  if (edit == nullptr) return {};
  // Whole: a text cut to some length would name another folder.
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(edit)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(edit, text.data(), static_cast<int>(text.size()))));
  return Utf8FromWide(text);
}

void SetDestinationText(HWND window, const std::string& text) {
  SetDlgItemTextW(window, IDC_DESTINATION, WideFromUtf8(text).c_str());
}

WizardChoices CheckedBoxes(HWND window) {
  WizardChoices boxes;
  for (const CheckBox& box : kCheckBoxes)
    boxes.*box.choice = IsDlgButtonChecked(window, box.id) == BST_CHECKED ? 1 : 0;
  return boxes;
}

void CreateLocationPage(HWND window) {
  wizard.state = kLocationPage;
  const ClientSize size = ClientSizeOf(window);
  const double s = WizardScale();

  const std::string destination = destinationDir.empty() ? DefaultDestination(installerConfig) : destinationDir;
  HWND edit = CreateControl(window, WS_EX_CLIENTEDGE, L"EDIT", destination, ES_AUTOHSCROLL,
                            PlaceOf(IDC_DESTINATION, size, s), IDC_DESTINATION);
  SetFocus(edit);
  const LRESULT length = GetWindowTextLengthW(edit);
  SendMessageW(edit, EM_SETSEL, length, length);

  int created = 0;
  for (const CheckBox& box : kCheckBoxes) {
    if (installerConfig.*box.allowed == 0) continue;
    HWND control = CreateControl(window, 0, L"BUTTON", box.text, BS_AUTOCHECKBOX, CheckBoxRect(created++, s), box.id);
    SendMessageW(control, BM_SETCHECK, wizardChoices.*box.choice != 0 ? BST_CHECKED : BST_UNCHECKED, 0);
    // A hidden uninstall box keeps its state and still counts.
    if (box.id == IDC_UNINSTALL && installerConfig.setupUninstallInformationHidden != 0) ShowWindow(control, SW_HIDE);
  }

  CreateControl(window, 0, L"BUTTON", "&Browse...", BS_PUSHBUTTON, PlaceOf(IDC_BROWSE, size, s), IDC_BROWSE);
  CreateControl(window, 0, L"BUTTON", "&Reset to Default", BS_PUSHBUTTON, PlaceOf(IDC_RESET, size, s), IDC_RESET);
  CreateControl(window, 0, L"BUTTON", "&Next >", BS_DEFPUSHBUTTON, PlaceOf(IDC_NEXT, size, s), IDC_NEXT);
  CreateControl(window, 0, L"BUTTON", "Cancel", BS_PUSHBUTTON, PlaceOf(IDCANCEL, size, s), IDCANCEL);
  Repaint(window);
}

void DestroyLocationPage(HWND window) {
  if (wizard.state != kLocationPage && wizard.state != kLocationOptionsPage) return;
  for (int id : {IDC_DESTINATION, IDC_BROWSE, IDC_RESET, IDC_STARTMENU, IDC_DESKTOP, IDC_UNINSTALL, IDC_STARTUP,
                 IDCANCEL, IDC_NEXT, IDC_OPTIONS})
    if (HWND control = GetDlgItem(window, id)) DestroyWindow(control);
}

void CreateInstallingPage(HWND window) {
  wizard.state = kInstallingPage;
  Repaint(window);
}

void CreateCompletePage(HWND window) {
  wizard.state = kCompletePage;
  HWND launch = CreateControl(window, 0, L"BUTTON", "&Launch", BS_DEFPUSHBUTTON,
                              PlaceOf(IDC_NEXT, ClientSizeOf(window), WizardScale()), IDC_NEXT);
  SetFocus(launch);
  Repaint(window);
}

void FitPageToScale(HWND window) {
  const ClientSize size = ClientSizeOf(window);
  const double s = WizardScale();
  int boxes = 0;
  for (const CheckBox& box : kCheckBoxes)
    if (HWND control = GetDlgItem(window, box.id)) Fit(control, CheckBoxRect(boxes++, s));
  for (int id : {IDC_DESTINATION, IDC_BROWSE, IDC_RESET, IDC_NEXT, IDCANCEL})
    if (HWND control = GetDlgItem(window, id)) Fit(control, PlaceOf(id, size, s));
}

void ToggleOptions(HWND window) {
  const bool showing = wizard.state == kLocationPage;
  wizard.state = showing ? kLocationOptionsPage : kLocationPage;
  SetDlgItemTextW(window, IDC_OPTIONS, showing ? L"Less &Options" : L"More &Options");
  for (int id : {IDC_STARTMENU, IDC_DESKTOP, IDC_UNINSTALL, IDC_STARTUP})
    if (HWND box = GetDlgItem(window, id)) ShowWindow(box, showing ? SW_SHOW : SW_HIDE);
  Repaint(window);
}

void OnBrowse(HWND window) {
  const std::string current = DestinationText(window);
  const std::optional<std::string> picked = BrowseForFolder(window, FolderPrompt(installerConfig));
  const std::string composed = ComposeBrowsedDestination(installerConfig, current, picked);
  if (composed != current) SetDestinationText(window, composed);
}

#include "wizard/wizard.h"

#include "platform/drawing.h"
#include "messages/exit_codes.h"
#include "log/setup_log.h"
#include "install/install.h"
#include "wizard/install_thread.h"
#include "integration/launch.h"
#include "wizard/location_page.h"
#include "destination/destination.h"
#include "report/report.h"
#include "state/run_state.h"
#include "integration/settings.h"
#include "platform/text.h"
#include "wizard/pages.h"
#include "wizard/painting.h"
#include "wizard/wizard_state.h"

namespace {

constexpr DWORD kWizardStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
// DC_HASDEFID in the high word and IDC_NEXT in the low word.
constexpr LRESULT kNextIsDefault = MAKELRESULT(IDC_NEXT, DC_HASDEFID);

void Repaint(HWND window) {
  InvalidateRect(window, nullptr, FALSE);
  UpdateWindow(window);
}

void EndWizard(HWND window) {
  ReleaseInstallerConfig();
  DestroyWindow(window);
}

// The caption's part of the header, repainted on activation so the drawn
// page and the caption without title meet cleanly.
int HeaderRepaintHeight() {
  if (!IsVistaOrGreater()) return 0;
  const double s = WizardScale();
  return Scaled(10, s) + Scaled(41, s) - GetSystemMetrics(SM_CYCAPTION) + GetSystemMetrics(SM_CYBORDER);
}

void OnNext(HWND window) {
  HWND next = GetDlgItem(window, IDC_NEXT);
  // A disabled Next is still waiting out its 200 ms, however the command came.
  if (next != nullptr && !IsWindowEnabled(next)) return;
  if (next != nullptr) EnableWindow(next, FALSE);
  switch (ConfirmDestination(window, CheckedBoxes(window), DestinationText(window))) {
    case DestinationAnswer::kAccepted:
      LockWindowUpdate(window);
      DestroyLocationPage(window);
      CreateInstallingPage(window);
      StartInstallThread(window);
      LockWindowUpdate(nullptr);
      break;
    case DestinationAnswer::kRelaunched:
      EndWizard(window);
      return;
    case DestinationAnswer::kRefused:
      break;
  }
  SetTimer(window, TIMER_NEXT, TIMER_NEXT_MS, nullptr);
}

void OnCommand(HWND window, int command) {
  switch (wizard.state) {
    case kLocationPage:
    case kLocationOptionsPage:
      switch (command) {
        case IDCANCEL:
          ReportCancel();
          EndWizard(window);
          break;
        case IDC_BROWSE:
          OnBrowse(window);
          break;
        case IDC_RESET:
          if (const std::optional<std::string> location = RestoreDefaultLocation(installerConfig))
            SetDestinationText(window, *location);
          break;
        case IDC_OPTIONS:
          ToggleOptions(window);
          break;
        case IDC_NEXT:
          OnNext(window);
          break;
      }
      break;
    case kCompletePage:
      if (command == IDCANCEL) {
        ReportCancel();
        EndWizard(window);
      } else if (command == IDC_NEXT) {
        LaunchProduct(window, installerConfig, destinationDir);
        EndWizard(window);
      }
      break;
    default:
      // Installing: nothing cancels or closes the window while files are written.
      break;
  }
}

// The elevated copy of a location-page restart: the page as the user left
// it, then Next as if clicked.
void ResumeFromRelaunch(HWND window) {
  CreateLocationPage(window);
  const struct {
    int id;
    const char* option;
  } kBoxes[] = {{IDC_STARTMENU, "/startmenu"}, {IDC_DESKTOP, "/desktop"}, {IDC_UNINSTALL, "/uninstall"},
                {IDC_STARTUP, "/startup"}};
  for (const auto& box : kBoxes)
    if (HWND control = GetDlgItem(window, box.id))
      SendMessageW(control, BM_SETCHECK, setupCommandLine.Has(box.option) ? BST_CHECKED : BST_UNCHECKED, 0);
  if (const std::optional<std::string> location = setupCommandLine.Location()) {
    SetDestinationText(window, *location);
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_NEXT, 0), 0);
  }
}

LRESULT OnCreate(HWND window) {
  wizard.dpi = GetMonitorDpi(window);
  const double s = WizardScale();
  SetWindowPos(window, nullptr, 0, 0, Scaled(420, s), Scaled(340, s), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  HideCaptionAndIcon(window);
  wizard.uiFont = CreateUiFont(wizard.dpi);
  wizard.buttonBrush = CreateSolidBrush(RGB(240, 240, 240));
  wizard.logo = LoadPngResource(setupInstance, IDB_LOGO);
  const int picture = SelectPictureResource();
  LOG_NORMAL("Image resource is {}", picture);
  wizard.picture = LoadPngResource(setupInstance, picture);
  SetTimer(window, TIMER_ANIMATION, TIMER_ANIMATION_MS, nullptr);

  RECT client = {};
  GetClientRect(window, &client);
  SetWindowPos(window, nullptr, GetSystemMetrics(SM_CXSCREEN) / 2 - client.right / 2,
               GetSystemMetrics(SM_CYSCREEN) / 2 - client.bottom / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);

  if (installerConfig.destinationAuto != 0) {
    if (!ChooseAutomaticDestination(window, installerConfig, setupCommandLine, destinationDir)) {
      DestroyWindow(window);
      return 0;
    }
    CreateInstallingPage(window);
    StartInstallThread(window);
  } else if (setupCommandLine.Has("/location ")) {
    ResumeFromRelaunch(window);
    // A relaunch that went on to another elevated copy has ended this window.
    if (!IsWindow(window)) return 0;
  } else {
    CreateLocationPage(window);
  }

  const std::string title =
      installerConfig.installerName.empty() ? "Quenlith Plugin Installer" : installerConfig.installerName;
  SetWindowTextW(window, WideFromUtf8(title).c_str());
  ShowWindow(window, SW_SHOW);
  SetForegroundWindow(window);
  return 0;
}

// Moved to a monitor of another scale: the window takes the rectangle the
// system suggests there, and its controls, their font and the drawing all
// follow the new DPI together.
void OnDpiChanged(HWND window, const Dpi& dpi, const RECT& suggested) {
  wizard.dpi = dpi;
  HFONT previous = wizard.uiFont;
  wizard.uiFont = CreateUiFont(dpi);
  SetWindowPos(window, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
               suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
  FitPageToScale(window);
  // No control holds the old font any more.
  if (previous != nullptr) DeleteObject(previous);
  Repaint(window);
}

void OnSetupDone(HWND window) {
  AddAutoInstallPlugins(installerConfig, destinationDir);
  if (installerConfig.launchAuto != 0) {
    LaunchProduct(window, installerConfig, destinationDir);
    EndWizard(window);
  } else {
    CreateCompletePage(window);
  }
}

void OnActivate(HWND window) {
  RECT client = {};
  GetClientRect(window, &client);
  const RECT header = {0, 0, client.right, HeaderRepaintHeight()};
  InvalidateRect(window, &header, FALSE);
  UpdateWindow(window);
}

// The notice band shows while the typed destination is away from the default location.
void OnDestinationChanged(HWND window) {
  const int outside = IsOutsideDefaultLocation(DestinationText(window)) ? 1 : 0;
  if (outside != wizard.noticeState) {
    wizard.noticeState = outside;
    Repaint(window);
  }
}

void OnTimer(HWND window, WPARAM timer) {
  if (timer == TIMER_NEXT) {
    if (HWND next = GetDlgItem(window, IDC_NEXT)) EnableWindow(next, TRUE);
    KillTimer(window, TIMER_NEXT);
  } else if (timer == TIMER_ANIMATION && wizard.state == kInstallingPage) {
    RepaintProgressBar(window);
  }
}

bool NextIsEnabled(HWND window) {
  HWND next = GetDlgItem(window, IDC_NEXT);
  return next != nullptr && IsWindowEnabled(next);
}

HBRUSH ButtonBrushFor(HWND control) {
  const int id = GetDlgCtrlID(control);
  if (id == IDC_BROWSE || id == IDC_RESET) return static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  return wizard.buttonBrush;
}

}  // namespace

void ReportCancel() {
  switch (wizard.state) {
    case kLocationPage:
      ReportState("cancel_location");
      break;
    case kLocationOptionsPage:
      ReportState("cancel_location_options");
      break;
    case kInstallingPage:
    case kCompletePage:
      break;
    default:
      ReportState("cancel_unknown");
      break;
  }
}

void ReleaseInstallerConfig() {
  InstallerConfig& config = installerConfig;
  for (std::string* text : {&config.productName, &config.productShortName, &config.productVersion,
                            &config.productCopyright, &config.productWebLink, &config.destinationDirectoryTitle,
                            &config.setupStartMenuDirectory, &config.launchTarget})
    std::string().swap(*text);
  config.launchParameters.reset();
  for (auto* family : {&config.setupDesktopIconLink, &config.setupDesktopIconTitle,
                       &config.setupDesktopIconDescription, &config.setupDesktopIconArguments,
                       &config.setupStartMenuLink, &config.setupStartMenuTitle, &config.setupStartMenuDescription,
                       &config.setupStartMenuArguments, &config.setupUninstallInformationLink,
                       &config.setupUninstallInformationTitle, &config.setupUninstallInformationIcon,
                       &config.setupUninstallInformationPublisher, &config.setupUninstallInformationDisplayVersion,
                       &config.pluginAutoInstallLink, &config.pluginAutoInstallGuid, &config.deleteFilenames})
    std::vector<std::string>().swap(*family);
  for (auto* numbers : {&config.setupDesktopIconResource, &config.setupStartMenuResource,
                        &config.setupUninstallInformationEstimatedSize})
    std::vector<std::int32_t>().swap(*numbers);
  config.setupDesktopIconNum = config.setupStartMenuNum = config.setupUninstallInformationNum = 0;
  config.pluginAutoInstallNum = config.deleteFilesNum = 0;
}

LRESULT CALLBACK WizardProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      return OnCreate(window);
    case WM_DESTROY:
      PostQuitMessage(0);
      break;
    case WM_ACTIVATE:
      OnActivate(window);
      break;
    case WM_PAINT:
      PaintWizard(window);
      return 0;
    case WM_CLOSE:
      return WizardProc(window, WM_COMMAND, IDCANCEL, 0);
    case WM_ERASEBKGND:
      // Everything is painted from the back buffer.
      return 0;
    case WM_NOTIFYFORMAT:
      return NFR_UNICODE;
    case WM_DPICHANGED:
      OnDpiChanged(window, {LOWORD(wParam), HIWORD(wParam)}, *reinterpret_cast<const RECT*>(lParam));
      return 0;
    case WM_COMMAND:
      if (HIWORD(wParam) == 0)
        OnCommand(window, LOWORD(wParam));
      else if (HIWORD(wParam) == EN_CHANGE && LOWORD(wParam) == IDC_DESTINATION)
        OnDestinationChanged(window);
      break;
    case WM_TIMER:
      OnTimer(window, wParam);
      break;
    case WM_CTLCOLORBTN:
      return reinterpret_cast<LRESULT>(ButtonBrushFor(reinterpret_cast<HWND>(lParam)));
    case WM_CTLCOLORSTATIC:
      SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
      return reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH));
    case DM_GETDEFID:
      if (NextIsEnabled(window)) return kNextIsDefault;
      break;
    case WM_SETUP_DONE:
      OnSetupDone(window);
      return 0;
    case WM_SETUP_ENDING:
    case WM_SETUP_ENDED:
      return 0;
    case WM_SETUP_STEP:
      ++wizard.stepCount;
      // Only the bar changes, and the install thread waits for this answer.
      RepaintProgressBar(window);
      return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

HWND CreateWizardWindow() {
  WNDCLASSW windowClass = {};
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = WizardProc;
  windowClass.cbClsExtra = 32;
  windowClass.cbWndExtra = 32;
  windowClass.hInstance = setupInstance;
  windowClass.hIcon = LoadIconW(setupInstance, MAKEINTRESOURCEW(IDI_SETUP));
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.lpszClassName = kWizardClassName;
  RegisterClassW(&windowClass);
  return CreateWindowExW(0, kWizardClassName, L"", kWizardStyle, 0, 0, 0, 0, nullptr, nullptr, setupInstance, nullptr);
}

ExitCode RunWizardWindow() {
  HWND window = CreateWizardWindow();
  MSG message;
  if (window == nullptr) {
    // A window that ended itself while being created has posted its quit;
    // one that could not be made at all would leave the loop waiting forever.
    StopDrawing();
    if (PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) return kExitSuccess;
    LOG_ERROR("The setup window could not be created.");
    return kExitFailure;
  }
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (IsDialogMessageW(window, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  StopDrawing();
  return kExitSuccess;
}

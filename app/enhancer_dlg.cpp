#include "app/enhancer_dlg.h"

#include <QGuiApplication>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>
#include <climits>
#include <cstdlib>

#include "app/about_dlg.h"
#include "app/resource_ids.h"
#include "app/resources.h"
#include "app/splash_wnd.h"

namespace {

// The range the pixel-ratio edit accepts.
constexpr float kPixelRatioMin = 0.24f;
constexpr float kPixelRatioMax = 4.1f;

}  // namespace

CEnhancerDlg::CEnhancerDlg() : ui::Dialog(MainDialogTemplate(), &MainMenu()) {
  setWindowIcon(ui::LoadIcon(IDR_MAINFRAME));
}

CEnhancerDlg::~CEnhancerDlg() {
  // The graph goes first (m_player is destroyed before the other members);
  // the controller then frees the engine, the post-filters and the pictures.
}

// ---------------------------------------------------------------- creation

int CEnhancerDlg::OnCreate() {
  ShowSplashScreen(this);
  return 0;
}

bool CEnhancerDlg::OnInitDialog() {
  ui::Dialog::OnInitDialog();

  const std::string about = LoadResourceString(IDS_ABOUTBOX);
  if (!about.empty()) {
    AppendSystemMenuItem(0, "");
    AppendSystemMenuItem(static_cast<int>(IDM_ABOUTBOX), about);
  }
  setWindowIcon(ui::LoadIcon(IDR_MAINFRAME));

  m_positionSlider->setEnabled(false);

  m_speedSpin->SetRange(1, 8);
  m_speedSpin->SetPosition(1);

  for (ui::Slider* slider :
       {m_contrastSlider, m_brightnessSlider, m_saturationSlider, m_hueSlider, m_sharpnessSlider}) {
    slider->SetRange(0, 100);
    slider->SetPosition(50);
    slider->setTickInterval(10);
    slider->setPageStep(0);  // a click on the channel does not move the thumb
  }
  m_progress->setRange(0, 100);
  SetButtonStyle(IDC_PLAY, 0x50000040u);
  m_player.UpdatePlayButtons();
  return true;
}

void CEnhancerDlg::DoDataExchange(ui::DataExchange* dx) {
  dx->Control(IDC_SHARPNESS);
  m_sharpnessSlider = Item<ui::Slider>(IDC_SHARPNESS);
  dx->Control(IDC_PROGRESS);
  m_progress = Item<QProgressBar>(IDC_PROGRESS);
  dx->Control(IDC_HUE);
  m_hueSlider = Item<ui::Slider>(IDC_HUE);
  dx->Control(IDC_CONTRAST);
  m_contrastSlider = Item<ui::Slider>(IDC_CONTRAST);
  dx->Control(IDC_SATURATION);
  m_saturationSlider = Item<ui::Slider>(IDC_SATURATION);
  dx->Control(IDC_BRIGHTNESS);
  m_brightnessSlider = Item<ui::Slider>(IDC_BRIGHTNESS);
  dx->Control(IDC_FRAME_SPIN);
  m_frameSpin = Item<ui::UpDown>(IDC_FRAME_SPIN);
  dx->Control(IDC_FRAME_EDIT);
  m_frameEdit = GetDlgItem(IDC_FRAME_EDIT);
  dx->Control(IDC_POSITION_SLIDER);
  m_positionSlider = Item<ui::Slider>(IDC_POSITION_SLIDER);
  dx->Control(IDC_VSCROLL);
  m_verticalScroll = Item<ui::ScrollBar>(IDC_VSCROLL);
  dx->Control(IDC_HSCROLL);
  m_horizontalScroll = Item<ui::ScrollBar>(IDC_HSCROLL);
  dx->Control(IDC_CAPTURE);
  m_captureButton = Item<QPushButton>(IDC_CAPTURE);
  dx->Control(IDC_SPEED_SPIN);
  m_speedSpin = Item<ui::UpDown>(IDC_SPEED_SPIN);
  dx->Control(IDC_SPEED_EDIT);
  m_speedEdit = GetDlgItem(IDC_SPEED_EDIT);
  dx->Control(IDC_PLAY);
  m_playButton = Item<QPushButton>(IDC_PLAY);
  dx->Control(IDC_DISPLAY);
  m_display = Item<ui::GrayRect>(IDC_DISPLAY);
  dx->Control(IDC_VIDEO_HOST);
  m_videoHost = Item<ui::GrayRect>(IDC_VIDEO_HOST);

  struct ExchangeMark {
    bool& flag;
    explicit ExchangeMark(bool& f) : flag(f) { flag = true; }
    ~ExchangeMark() { flag = false; }
  } mark(m_exchanging);

  dx->Radio(IDC_ACTUAL_SIZE, m_displayMode);
  // A ratio the user typed that does not validate stays in the edit when the
  // values are shown, until a reading has given its message; after that the
  // edit shows the last accepted ratio again.
  if (dx->m_bSaveAndValidate) {
    try {
      dx->TextFloat(IDC_PIXEL_RATIO, m_pixelRatio, kPixelRatioMin, kPixelRatioMax);
    } catch (const ui::DataExchangeFailure&) {
      m_ratioEdited = false;
      throw;
    }
  } else if (!m_ratioEdited || PixelRatioInEdit(nullptr)) {
    dx->TextFloat(IDC_PIXEL_RATIO, m_pixelRatio, kPixelRatioMin, kPixelRatioMax);
    m_ratioEdited = false;
  }
  dx->Check(IDC_INTERLACED, m_interlaced);
  dx->Radio(IDC_NOISE_NONE, m_noiseReduction);
  dx->Radio(IDC_NEIGHBORS_0, m_neighbors);
  dx->Radio(IDC_RESOLUTION_1X, m_resolution);
  dx->Radio(IDC_SMOOTH_MIN, m_motionSmooth);
  dx->Check(IDC_CROP, m_crop);

  dx->Control(IDC_COPY);
  m_copyButton = Item<QPushButton>(IDC_COPY);
  dx->Control(IDC_SAVE);
  m_saveButton = Item<QPushButton>(IDC_SAVE);

  if (m_display && !dx->m_bSaveAndValidate) m_display->SetPaintHandler([this](QPainter& p) { PaintDisplay(p); });
}

bool CEnhancerDlg::DestroyWindow() {
  m_player.TearDownGraph();
  return ui::Dialog::DestroyWindow();
}

void CEnhancerDlg::OnDestroy() {
  m_player.OnDestroy();  // the graph goes, and no video is loaded any more
  WinHelp(0, ui::HELP_QUIT);
}

// ---------------------------------------------------------------- window procedure

bool CEnhancerDlg::PixelRatioInEdit(float* ratio) const {
  double parsed = 0.0;
  if (!ui::DataExchange::ParseFloat(ItemText(IDC_PIXEL_RATIO), &parsed)) return false;
  const float number = static_cast<float>(parsed);
  if (!(number >= kPixelRatioMin && number <= kPixelRatioMax)) return false;
  if (ratio) *ratio = number;
  return true;
}

void CEnhancerDlg::KeepChoices() {
  if (m_exchanging || !IsWindowCreated()) return;
  ui::DataExchange read(this, true);
  const auto radio = [&read](int firstId, int& value) {
    int checked = -1;
    read.Radio(firstId, checked);
    if (checked >= 0) value = checked;
  };
  radio(IDC_ACTUAL_SIZE, m_displayMode);
  PixelRatioInEdit(&m_pixelRatio);
  read.Check(IDC_INTERLACED, m_interlaced);
  radio(IDC_NOISE_NONE, m_noiseReduction);
  radio(IDC_NEIGHBORS_0, m_neighbors);
  radio(IDC_RESOLUTION_1X, m_resolution);
  radio(IDC_SMOOTH_MIN, m_motionSmooth);
  read.Check(IDC_CROP, m_crop);
}

std::intptr_t CEnhancerDlg::WindowProc(const ui::Message& m) {
  switch (m.message) {
    case ui::WM_COMMAND:
    case ui::WM_HSCROLL:
    case ui::WM_VSCROLL:
    case ui::WM_ENTERMENULOOP:
    case ui::WM_EXITMENULOOP:
    case ui::WM_ENTERSIZEMOVE:
    case ui::WM_EXITSIZEMOVE:
    case kGraphNotifyMessage:
      if (m.message == ui::WM_COMMAND && ui::LoWord(m.wParam) == IDC_PIXEL_RATIO &&
          ui::HiWord(m.wParam) == ui::EN_CHANGE && !m_exchanging)
        m_ratioEdited = true;
      KeepChoices();
      break;
    default:
      break;
  }
  switch (m.message) {
    case ui::WM_COMMAND: {
      const unsigned command = ui::LoWord(m.wParam);
      if (command == ui::IDOK || command == ui::IDCANCEL) PostQuitMessage(0);
      break;
    }
    case ui::WM_TIMER:
      if (static_cast<int>(m.wParam) == IDT_POSITION) m_player.OnPositionTimer();
      break;
    case ui::WM_HSCROLL:
      if (static_cast<int>(m.lParam) == IDC_POSITION_SLIDER && CaptureId() == IDC_POSITION_SLIDER &&
          static_cast<int>(ui::LoWord(m.wParam)) == ui::SB_THUMBTRACK) {
        // The first drag pauses the graph; the player's state and buttons
        // say so, so that a capture of the frame dragged to is not refused.
        if (g_firstDrag && m_player.playState() == kPlayRunning) {
          m_player.PausePlayback();
          m_player.UpdatePlayButtons();
        }
        m_player.OnPositionSliderTrack();
      }
      break;
    case ui::WM_MOUSEMOVE:
      OnCropMouseMove(static_cast<unsigned>(m.wParam), static_cast<int>(ui::LoWord(static_cast<std::uintptr_t>(m.lParam))),
                      static_cast<std::int16_t>(ui::HiWord(static_cast<std::uintptr_t>(m.lParam))));
      break;
    case ui::WM_ENTERMENULOOP:
    case ui::WM_EXITMENULOOP:
    case ui::WM_ENTERSIZEMOVE:
    case ui::WM_EXITSIZEMOVE:
      m_player.OnMenuOrMoveLoop();
      break;
    case kGraphNotifyMessage:
      m_player.OnGraphNotify();
      break;
    default:
      break;
  }
  return ui::Dialog::WindowProc(m);
}

void CEnhancerDlg::OnCommand(int id, int code) {
  // Menu items and accelerators carry no notification of their own.
  if (code == ui::CMD_FROM_ACCELERATOR) code = ui::BN_CLICKED;
  if (code == ui::EN_CHANGE) {
    if (id == IDC_SPEED_EDIT) OnSpeedChange();
    else if (id == IDC_FRAME_EDIT) OnFrameEditChange();
    return;
  }
  if (code != ui::BN_CLICKED) return;
  switch (id) {
    case ID_FILE_OPEN_VIDEO: OnOpenVideo(); break;
    case IDC_PLAY: OnPlayPause(); break;
    case IDC_CAPTURE: OnCaptureEnhance(); break;
    case IDC_ACTUAL_SIZE: OnActualSize(); break;
    case IDC_RAW_FRAME: OnRawFrame(); break;
    case IDC_SAVE: OnSaveAs(); break;
    case IDC_COPY: OnCopy(); break;
    case IDC_ZOOM_TO_FIT: OnZoomToFit(); break;
    case ID_APP_ABOUT: OnAbout(); break;
    case IDC_CROP: OnCropToggle(); break;
    case IDC_RESET_ADJUSTMENTS: OnResetAdjustments(); break;
    case IDC_RESET_OPTIONS: OnResetOptions(); break;
    case ID_HELP_INDEX: OnHelp(); break;
    default: ui::Dialog::OnCommand(id, code); break;
  }
}

void CEnhancerDlg::OnHScroll(int code, int position, int controlId) {
  if (controlId == IDC_HSCROLL)
    OnPictureScroll(code, position, controlId);
  else if (controlId != IDC_POSITION_SLIDER)
    OnAdjustmentScroll(code, position, controlId);
}

void CEnhancerDlg::OnVScroll(int code, int position, int controlId) {
  if (controlId == IDC_VSCROLL) OnPictureScroll(code, position, controlId);
}

void CEnhancerDlg::OnEnterKey(int focusId) {
  // Enter in a text field applies the field; it does not end the program.
  if (focusId == IDC_PIXEL_RATIO) {
    ui::DataExchange exchange(this, true);
    try {
      exchange.TextFloat(IDC_PIXEL_RATIO, m_pixelRatio, kPixelRatioMin, kPixelRatioMax);
    } catch (const ui::DataExchangeFailure&) {
    }
    return;
  }
  // Enter clicks a focused push button; on any other control it does
  // nothing: the program ends only by Exit, Escape or the close box, never
  // by a stray Enter that would lose the picture.
  if (qobject_cast<QPushButton*>(GetDlgItem(focusId))) ui::Dialog::OnEnterKey(focusId);
}

// ---------------------------------------------------------------- player commands

void CEnhancerDlg::OnOpenVideo() {
  // A capture that runs reads the graph and the grabbed frame: the menu
  // cannot replace them under it.
  if (m_enhance.capturing()) return;
  // From the start of the open, and after a failed one, the player shows
  // no position and nothing to play.
  m_player.OnOpenVideo();
}

void CEnhancerDlg::OnPlayPause() { m_player.OnPlayPause(); }
void CEnhancerDlg::OnSpeedChange() { m_player.OnSpeedChange(); }
void CEnhancerDlg::OnFrameEditChange() { m_player.OnFrameEditChange(); }

// ---------------------------------------------------------------- About, help

void CEnhancerDlg::OnAbout() {
  CAboutDlg about(this);
  about.DoModal();
}

void CEnhancerDlg::OnSysCommand(unsigned id, std::intptr_t) {
  if ((id & 0xFFF0u) == IDM_ABOUTBOX) OnAbout();
}

void CEnhancerDlg::WinHelp(std::uint32_t data, unsigned command) {
  if (!ui::GetServices().WinHelp(ui::DefaultHelpFilePath(), command, data))
    ui::AfxMessageBox("Failed to launch help.");
}

void CEnhancerDlg::OnHelp() { WinHelp(0x20000u + IDD_ENHANCER_DIALOG, ui::HELP_CONTEXT); }

bool CEnhancerDlg::OnHelpInfo(int controlId) {
  ui::GetServices().ContextHelp(GetDlgItem(controlId), ui::HELP_WM_HELP, static_cast<std::uint32_t>(controlId),
                                HelpIdTable());
  return true;
}

void CEnhancerDlg::OnContextMenu(int controlId, QPoint) {
  ui::GetServices().ContextHelp(GetDlgItem(controlId), ui::HELP_CONTEXTMENU, static_cast<std::uint32_t>(controlId),
                                HelpIdTable());
}

// ---------------------------------------------------------------- PlayerHost

void CEnhancerDlg::ShowError(const std::string& text) {
  ui::GetServices().MessageBox(nullptr, text, "Error!", ui::MB_OK | ui::MB_TASKMODAL | ui::MB_SETFOREGROUND);
}

void CEnhancerDlg::Beep() { ui::GetServices().Beep(); }

bool CEnhancerDlg::ChooseVideoFile(const OpenFileRequest& request, std::string* fileName) {
  ui::FileDialogRequest r;
  r.title = request.title;
  r.filters = {{request.filterName, request.filterPatterns}, {request.allName, request.allPatterns}};
  r.filterIndex = 1;
  r.defaultExtension = request.defaultExtension;
  // The first open starts where the player says; later ones in the folder
  // of the last video chosen.
  r.initialDirectory = request.initialDirectory.empty() ? m_openFolder : request.initialDirectory;
  r.mustExist = true;
  if (!ui::GetServices().ChooseFile(this, r, fileName)) return false;
  RememberFolder(*fileName, &m_openFolder);
  return true;
}

bool CEnhancerDlg::ChooseSaveFile(ui::FileDialogRequest request, std::string* path) {
  request.initialDirectory = m_saveFolder.empty() ? m_openFolder : m_saveFolder;
  if (!ui::GetServices().ChooseFile(this, request, path)) return false;
  RememberFolder(*path, &m_saveFolder);
  return true;
}

void CEnhancerDlg::RememberFolder(const std::string& path, std::string* folder) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return;
  *folder = slash == 0 ? "/" : path.substr(0, slash);
}

void CEnhancerDlg::SetFrameSpinRange(int low, int high) {
  if (m_frameSpin) m_frameSpin->SetRange(low, high);
}

bool CEnhancerDlg::ReadSpeed(int* speed) {
  // A leading number, as "%d" reads it, kept within int.
  const std::string text = ItemText(IDC_SPEED_EDIT);
  char* end = nullptr;
  const long long value = std::strtoll(text.c_str(), &end, 10);
  if (end == text.c_str()) return false;
  *speed = static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
  return true;
}

int CEnhancerDlg::PositionSlider() { return m_positionSlider ? m_positionSlider->Position() : 0; }

void CEnhancerDlg::SetPositionSlider(int position) {
  if (m_positionSlider) m_positionSlider->SetPosition(position);
}

void CEnhancerDlg::EnablePositionSlider(bool enable) { EnableItem(IDC_POSITION_SLIDER, enable); }

std::string CEnhancerDlg::FrameEditText() {
  std::string text = ItemText(IDC_FRAME_EDIT);
  return text.substr(0, 9);
}

void CEnhancerDlg::SetFrameEditText(const std::string& text) { SetItemText(IDC_FRAME_EDIT, text); }

void CEnhancerDlg::SetPlayerControls(const PlayerControls& c) {
  EnableItem(IDC_PLAY, c.playEnabled);
  SetItemText(IDC_PLAY, c.playText);
  EnableItem(IDC_CAPTURE, c.capture);
  EnableItem(IDC_COPY, c.copy);
  EnableItem(IDC_SAVE, c.save);
  EnableItem(IDC_FRAME_SPIN, c.frame);
  EnableItem(IDC_FRAME_EDIT, c.frame);
  if (c.setSlider) EnableItem(IDC_POSITION_SLIDER, c.sliderEnabled);
}

void CEnhancerDlg::UpdateDataToControls() { UpdateData(false); }

void CEnhancerDlg::SetVideoOptions(float pixelRatio, bool interlaced) {
  m_pixelRatio = pixelRatio;
  m_interlaced = interlaced ? 1 : 0;
  m_ratioEdited = false;  // the video's ratio replaces whatever the edit holds
}

bool CEnhancerDlg::StartTimer(int id, int periodMs) { return SetTimer(id, periodMs); }

void CEnhancerDlg::KillTimer(int id) { ui::Dialog::KillTimer(id); }

void CEnhancerDlg::ShowBusy(bool busy) {
  // The arrow with a busy mark: the window still answers while it works.
  if (busy)
    QGuiApplication::setOverrideCursor(Qt::BusyCursor);
  else
    QGuiApplication::restoreOverrideCursor();
}

media::NotifyHook CEnhancerDlg::GraphMessagePoster() {
  // Runs on the streaming thread; the graph is always torn down before the
  // dialog goes away.
  return [this](unsigned message) { PostMessage(message); };
}

bool CEnhancerDlg::AttachVideo(media::VideoSurface* surface) {
  if (!m_videoHost || !surface) return false;
  DetachVideo();
  if (!m_videoView) m_videoView = new ui::VideoView(m_videoHost);
  m_videoView->setGeometry(m_videoHost->rect());
  m_videoView->SetSource([surface](std::vector<std::uint8_t>* pixels, int* w, int* h, int* stride) {
    return surface->Snapshot(pixels, w, h, stride);
  });
  ui::VideoView* view = m_videoView;
  surface->SetListener([view] { view->RequestRepaint(); });
  m_videoSurface = surface;
  m_videoView->show();
  return true;
}

void CEnhancerDlg::DetachVideo() {
  if (m_videoSurface) m_videoSurface->SetListener(nullptr);
  m_videoSurface = nullptr;
  if (m_videoView) {
    m_videoView->SetSource(nullptr);
    m_videoView->hide();
  }
}

#include "app/resources.h"

#include <QFont>
#include <QIcon>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include "app/resource_ids.h"
#include "platform/ui/application.h"

using ui::ControlKind;
using ui::ControlTemplate;

const char kApplicationTitle[] = "Zelph Orlunt!";

namespace {

// A short name for the rows of the tables below.
constexpr auto& Make = ui::MakeControl;

ControlTemplate Label(int id, const char* caption, int x, int y, int w, unsigned style = ui::kRight) {
  return Make(id, ControlKind::Label, style, caption, x, y, w, 10);
}

ControlTemplate Group(const char* caption, int x, int y, int w, int h) {
  return Make(-1, ControlKind::GroupBox, ui::kStyleNone, caption, x, y, w, h);
}

// Four radio buttons in a row at the columns of the capture options.
void RadioRow(std::vector<ControlTemplate>& out, const int (&ids)[4], const char* const (&captions)[4], int y) {
  const int xs[4] = {85, 116, 147, 178};
  for (int i = 0; i < 4; ++i)
    out.push_back(Make(ids[i], ControlKind::RadioButton, i == 0 ? ui::kGroup : ui::kStyleNone, captions[i],
                       xs[i], y, 30, 10));
}

ui::DialogTemplate BuildMainTemplate() {
  using namespace ui;
  DialogTemplate t;
  t.id = IDD_ENHANCER_DIALOG;
  t.caption = kApplicationTitle;
  t.fontName = "MS Sans Serif";
  t.fontPoints = 8;
  t.width = 681;
  t.height = 430;
  t.minimizeBox = true;
  auto& c = t.controls;
  // Group boxes first, so that they lie beneath their controls.
  c.push_back(Group("Video Information", 7, 203, 210, 36));
  c.push_back(Group("Capture and Enhance", 7, 254, 210, 156));
  c.push_back(Group("Picture Adjustment", 225, 331, 352, 79));

  // The player.
  c.push_back(Make(IDC_VIDEO_HOST, ControlKind::GrayRect, kStyleNone, "", 7, 7, 213, 147));
  c.push_back(Make(IDC_POSITION_SLIDER, ControlKind::Slider, kNoTicks, "", 7, 154, 214, 15));
  c.push_back(Label(IDC_LABEL_SPEED, "Speed:", 5, 176, 25));
  c.push_back(Make(IDC_SPEED_EDIT, ControlKind::Edit, kReadOnly | kNumber | kCentre, "", 32, 174, 12, 15));
  c.push_back(Make(IDC_SPEED_SPIN, ControlKind::UpDown, kVertical | kSetBuddyInt | kArrowKeys, "", 44, 174, 11, 15));
  c.push_back(Make(IDC_PLAY, ControlKind::PushButton, kStyleNone, "Play  (Ctrl-P)", 59, 173, 69, 17));
  c.push_back(Label(IDC_LABEL_FRAME, "Frame:", 129, 176, 23));
  c.push_back(Make(IDC_FRAME_EDIT, ControlKind::Edit, kReadOnly | kNumber | kCentre, "", 154, 174, 36, 15));
  c.push_back(Make(IDC_FRAME_SPIN, ControlKind::UpDown, kHorizontal | kSetBuddyInt | kArrowKeys, "", 190, 174, 30, 15));

  // Video information.
  c.push_back(Make(IDC_INTERLACED, ControlKind::CheckBox, kStyleNone, "Interlaced video", 35, 219, 67, 10));
  c.push_back(Label(IDC_LABEL_PIXEL_RATIO, "Pixel ratio:", 112, 219, 47));
  c.push_back(Make(IDC_PIXEL_RATIO, ControlKind::Edit, kAutoHScroll, "", 161, 217, 25, 14));

  // Capture and enhance options.
  c.push_back(Label(IDC_LABEL_NEIGHBORS, "Use neighbor frames:", 10, 274, 74, kStyleNone));
  RadioRow(c, {IDC_NEIGHBORS_0, IDC_NEIGHBORS_2, IDC_NEIGHBORS_4, IDC_NEIGHBORS_8}, {"0", "2", "4", "8"}, 274);
  c.push_back(Label(IDC_LABEL_SMOOTH, "Motion smooth:", 10, 292, 74, kStyleNone));
  RadioRow(c, {IDC_SMOOTH_MIN, IDC_SMOOTH_LOW, IDC_SMOOTH_MED, IDC_SMOOTH_HIGH}, {"min", "low", "med", "high"}, 292);
  c.push_back(Label(IDC_LABEL_NOISE, "Noise reduction:", 10, 314, 74, kStyleNone));
  RadioRow(c, {IDC_NOISE_NONE, IDC_NOISE_LOW, IDC_NOISE_MED, IDC_NOISE_HIGH}, {"none", "low", "med", "high"}, 314);
  c.push_back(Label(IDC_LABEL_RESOLUTION, "Enhance resolution to:", 10, 335, 74, kStyleNone));
  RadioRow(c, {IDC_RESOLUTION_1X, IDC_RESOLUTION_15X, IDC_RESOLUTION_2X, IDC_RESOLUTION_25X},
           {"1x", "1.5x", "2x", "2.5x"}, 335);
  c.push_back(Make(IDC_RESET_OPTIONS, ControlKind::PushButton, kStyleNone, "Reset", 181, 351, 25, 12));
  c.push_back(Make(IDC_CAPTURE, ControlKind::PushButton, kStyleNone, "Capture and Enhance!   (Ctrl-E)", 19, 374, 188, 29));

  // The picture.
  c.push_back(Make(IDC_DISPLAY, ControlKind::GrayRect, kStyleNone, "", 226, 7, 437, 297));
  c.push_back(Make(IDC_VSCROLL, ControlKind::ScrollBar, kVertical, "", 663, 7, 11, 298));
  c.push_back(Make(IDC_HSCROLL, ControlKind::ScrollBar, kHorizontal, "", 225, 304, 438, 11));
  c.push_back(Label(IDC_LABEL_DISPLAY, "Display Captured Picture:", 268, 318, 106));
  c.push_back(Make(IDC_ACTUAL_SIZE, ControlKind::RadioButton, kGroup, "Actual Size", 376, 318, 53, 10));
  c.push_back(Make(IDC_ZOOM_TO_FIT, ControlKind::RadioButton, kStyleNone, "Zoom to Fit", 431, 318, 54, 10));
  c.push_back(Make(IDC_RAW_FRAME, ControlKind::RadioButton, kStyleNone, "Raw Frame (actual size)", 487, 318, 100, 10));

  // Picture adjustment.
  c.push_back(Label(IDC_LABEL_CONTRAST, "Contrast:", 229, 347, 43));
  c.push_back(Make(IDC_CONTRAST, ControlKind::Slider, kTicksTop, "", 274, 343, 120, 20));
  c.push_back(Label(IDC_LABEL_BRIGHTNESS, "Brightness:", 229, 368, 43));
  c.push_back(Make(IDC_BRIGHTNESS, ControlKind::Slider, kTicksTop, "", 274, 364, 120, 20));
  c.push_back(Label(IDC_LABEL_SHARPNESS, "Sharpness:", 229, 389, 43));
  c.push_back(Make(IDC_SHARPNESS, ControlKind::Slider, kTicksTop, "", 274, 385, 120, 20));
  c.push_back(Label(IDC_LABEL_SATURATION, "Saturation:", 396, 347, 43));
  c.push_back(Make(IDC_SATURATION, ControlKind::Slider, kTicksTop, "", 440, 343, 120, 20));
  c.push_back(Label(IDC_LABEL_HUE, "Hue:", 396, 368, 43));
  c.push_back(Make(IDC_HUE, ControlKind::Slider, kTicksTop, "", 440, 364, 120, 20));
  c.push_back(Make(IDC_CROP, ControlKind::CheckBox, kStyleNone, "Crop output", 445, 393, 53, 10));
  c.push_back(Make(IDC_RESET_ADJUSTMENTS, ControlKind::PushButton, kStyleNone, "Reset", 548, 394, 25, 12));

  // Copy, save, help note, progress.
  c.push_back(Make(IDC_COPY, ControlKind::PushButton, kStyleNone, "Copy to clipboard(Ctrl-C)", 585, 335, 89, 20));
  c.push_back(Make(IDC_SAVE, ControlKind::PushButton, kStyleNone, "Save as...  (Ctrl-S)", 585, 358, 89, 20));
  c.push_back(Label(IDC_LABEL_HELP, "For Help:", 585, 384, 89, kStyleNone));
  c.push_back(Label(IDC_LABEL_RIGHT_CLICK, "RIGHT-click on a item.", 585, 394, 89, kStyleNone));
  c.push_back(Make(IDC_PROGRESS, ControlKind::Progress, kStyleNone, "", 7, 414, 667, 9));
  return t;
}

ui::DialogTemplate BuildAboutTemplate() {
  using namespace ui;
  DialogTemplate t;
  t.id = IDD_ABOUTBOX;
  t.caption = "About Zelph Orlunt!";
  t.fontName = "MS Sans Serif";
  t.fontPoints = 8;
  t.width = 231;
  t.height = 111;
  ControlTemplate icon = Make(-1, ControlKind::Icon, kStyleNone, "", 7, 7, 21, 20);
  icon.iconId = IDR_MAINFRAME;
  t.controls.push_back(icon);
  t.controls.push_back(Make(-1, ControlKind::Label, kStyleNone, "Zelph Orlunt!   Version 1.01", 33, 17, 104, 8));
  t.controls.push_back(Make(-1, ControlKind::Label, kStyleNone,
                            "Made by the Zelph Orlunt! team.", 7, 87, 115, 17));
  t.controls.push_back(Make(-1, ControlKind::Label, kStyleNone,
                            "See the maker's web site for information and newer versions.", 7, 66, 206, 19));
  t.controls.push_back(Make(ui::IDOK, ControlKind::PushButton, kDefaultButton, "OK", 174, 90, 50, 14));
  return t;
}

}  // namespace

const ui::DialogTemplate& MainDialogTemplate() {
  static const ui::DialogTemplate t = BuildMainTemplate();
  return t;
}

const ui::DialogTemplate& AboutBoxTemplate() {
  static const ui::DialogTemplate t = BuildAboutTemplate();
  return t;
}

const ui::MenuTemplate& MainMenu() {
  static const ui::MenuTemplate menu{
      IDR_MENU,
      {{"&File",
        {{"&Open video file... (Ctrl-O)", ID_FILE_OPEN_VIDEO},
         {"", 0},
         {"&Copy to clipboard (Ctrl-C)", IDC_COPY},
         {"&Save as... (Ctrl-S)", IDC_SAVE},
         {"", 0},
         {"E&xit", ui::IDOK}}},
       {"&Processing", {{"Capture and &Enhance (Ctrl-E)", IDC_CAPTURE}}},
       {"&Help", {{"&Help contents and index", ID_HELP_INDEX}, {"", 0}, {"&About", ID_APP_ABOUT}}}}};
  return menu;
}

const ui::AcceleratorTable& MainAccelerators() {
  static const ui::AcceleratorTable table{IDR_ACCELERATOR,
                                          {{'C', ui::kModControl, IDC_COPY},
                                           {'E', ui::kModControl, IDC_CAPTURE},
                                           {'H', ui::kModControl, ID_HELP_INDEX},
                                           {'O', ui::kModControl, ID_FILE_OPEN_VIDEO},
                                           {'P', ui::kModControl, IDC_PLAY},
                                           {'S', ui::kModControl, IDC_SAVE}}};
  return table;
}

const std::vector<ui::HelpIdPair>& HelpIdTable() {
  static const std::vector<ui::HelpIdPair> table = [] {
    // Controls have a topic of their own; the labels share the one that
    // says there is no help for them.
    const std::uint32_t controls[] = {1068, 1069, 1071, 1073, 1010, 1014, 1048, 1022, 1031, 1020,
                                      1018, 1054, 1055, 1056, 1057, 1072, 1016, 1013, 1052, 1059,
                                      1060, 1061, 1062, 1070, 1001, 1012, 1058, 1074, 1067, 1075,
                                      1000, 1026, 1027, 1029, 1028, 1030, 1005, 1015, 1094, 1093};
    const std::uint32_t labels[] = {1078, 1079, 1080, 1081, 1082, 1083, 1084, 1096,
                                    1086, 1087, 1088, 1089, 1090, 1091, 1092};
    std::vector<ui::HelpIdPair> t;
    for (std::uint32_t id : controls) t.push_back({id, 0x80660000u + id});
    for (std::uint32_t id : labels) t.push_back({id, 0x8088FFFFu});
    t.push_back({0, 0});
    return t;
  }();
  return table;
}

std::string LoadResourceString(int id) {
  switch (id) {
    case IDS_ABOUTBOX: return "&About zv...";
    default: return {};
  }
}

namespace {

QIcon MakeApplicationIcon() {
  QIcon icon;
  for (int size : {16, 32, 48}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing, true);
    const double s = size / 32.0;
    // A strip of film with one bright frame.
    p.setBrush(QColor(40, 40, 48));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(1 * s, 4 * s, 30 * s, 24 * s), 3 * s, 3 * s);
    p.setBrush(QColor(230, 230, 230));
    for (int i = 0; i < 4; ++i) {
      p.drawRect(QRectF((4 + i * 7) * s, 6 * s, 3 * s, 2 * s));
      p.drawRect(QRectF((4 + i * 7) * s, 24 * s, 3 * s, 2 * s));
    }
    QLinearGradient sky(0, 10 * s, 0, 22 * s);
    sky.setColorAt(0, QColor(90, 170, 250));
    sky.setColorAt(1, QColor(250, 210, 90));
    p.setBrush(sky);
    p.drawRect(QRectF(5 * s, 10 * s, 22 * s, 12 * s));
    p.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

QImage MakeSplashBitmap() {
  QImage image(450, 332, QImage::Format_RGB888);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing, true);
  QLinearGradient background(0, 0, 0, 332);
  background.setColorAt(0, QColor(24, 40, 72));
  background.setColorAt(1, QColor(8, 12, 24));
  p.fillRect(image.rect(), background);
  // A run of frames converging on one.
  for (int i = 0; i < 5; ++i) {
    const int alpha = 60 + i * 35;
    p.setPen(QPen(QColor(140, 190, 255, alpha), 2));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRect(40 + i * 18, 50 + i * 10, 200, 130));
  }
  p.setBrush(QColor(250, 210, 90, 80));
  p.drawRect(QRect(112, 90, 200, 130));
  QFont title(QStringLiteral("DejaVu Sans"));
  title.setPixelSize(34);
  title.setBold(true);
  p.setFont(title);
  p.setPen(QColor(245, 245, 250));
  p.drawText(QRect(0, 236, 450, 44), Qt::AlignCenter, QStringLiteral("Zelph Orlunt!"));
  QFont note(QStringLiteral("DejaVu Sans"));
  note.setPixelSize(14);
  p.setFont(note);
  p.setPen(QColor(170, 190, 220));
  p.drawText(QRect(0, 282, 450, 24), Qt::AlignCenter, QStringLiteral("Version 1.01"));
  p.end();
  return image;
}

}  // namespace

void RegisterResources() {
  ui::RegisterIcon(IDR_MAINFRAME, &MakeApplicationIcon);
  ui::RegisterBitmap(IDB_SPLASH, &MakeSplashBitmap);
  const std::vector<std::pair<std::uint32_t, std::string>> topics = {
      {0x80660000u + 1000, "Playback position: drag to move through the video."},
      {0x80660000u + 1001, "Plays the video, or pauses it while it plays (Ctrl+P)."},
      {0x80660000u + 1005, "Playback speed, 1 to 8 times the normal speed."},
      {0x80660000u + 1010,
       "Captures the paused frame and its neighbours and makes one enhanced picture of them (Ctrl+E)."},
      {0x80660000u + 1012, "The video."},
      {0x80660000u + 1013, "The captured picture. With \"Crop output\" on, drag a rectangle over it to crop."},
      {0x80660000u + 1014, "Copies the picture, cropped when \"Crop output\" is on, to the clipboard (Ctrl+C)."},
      {0x80660000u + 1015, "Scrolls the picture up and down."},
      {0x80660000u + 1016, "Scrolls the picture left and right."},
      {0x80660000u + 1018, "The number of the frame shown; the arrows step through the paused video."},
      {0x80660000u + 1020, "Shows the frame as it was captured, at its actual size."},
      {0x80660000u + 1022, "Shows the enhanced picture at its actual size."},
      {0x80660000u + 1026, "Brightness of the picture."},
      {0x80660000u + 1027, "Contrast of the picture."},
      {0x80660000u + 1028, "Colour saturation of the picture."},
      {0x80660000u + 1029, "Sharpness of the picture."},
      {0x80660000u + 1030, "Hue of the picture."},
      {0x80660000u + 1031, "Fits the enhanced picture into the display area."},
      {0x80660000u + 1048, "Crops the picture to the rectangle drawn over it (in Zoom to Fit)."},
      {0x80660000u + 1052, "The video holds two fields per frame; they are enhanced separately."},
      {0x80660000u + 1054, "Neighbour frames used around the captured one: none."},
      {0x80660000u + 1055, "Neighbour frames used around the captured one: 2."},
      {0x80660000u + 1056, "Neighbour frames used around the captured one: 4."},
      {0x80660000u + 1057, "Neighbour frames used around the captured one: 8."},
      {0x80660000u + 1058, "The picture keeps the frame's size."},
      {0x80660000u + 1059, "No noise reduction."},
      {0x80660000u + 1060, "Low noise reduction."},
      {0x80660000u + 1061, "Medium noise reduction."},
      {0x80660000u + 1062, "High noise reduction."},
      {0x80660000u + 1067, "The picture is twice the frame's size."},
      {0x80660000u + 1068, "Motion smoothing of the neighbour frames: minimal."},
      {0x80660000u + 1069, "Motion smoothing of the neighbour frames: low."},
      {0x80660000u + 1070, "Width of a pixel relative to its height, 0.24 to 4.1."},
      {0x80660000u + 1071, "Motion smoothing of the neighbour frames: medium."},
      {0x80660000u + 1072, "Saves the picture as JPEG, BMP, TIFF, TGA or PNG (Ctrl+S)."},
      {0x80660000u + 1073, "Motion smoothing of the neighbour frames: high."},
      {0x80660000u + 1074, "The picture is 1.5 times the frame's size."},
      {0x80660000u + 1075, "The picture is 2.5 times the frame's size."},
      {0x80660000u + 1093, "Puts the picture adjustments back to their middle and turns cropping off."},
      {0x80660000u + 1094, "Puts the capture options back to their defaults."},
  };
  ui::SetHelpTopics(topics);
}

// Identifiers of the program's resources, controls and commands.
#pragma once

// Templates, menu, accelerators, icon, bitmap, strings.
constexpr int IDD_ABOUTBOX = 100;
constexpr int IDS_ABOUTBOX = 101;
constexpr int IDD_ENHANCER_DIALOG = 102;
constexpr int IDR_MAINFRAME = 128;   // the application icon
constexpr int IDR_MENU = 129;
constexpr int IDR_ACCELERATOR = 134;
constexpr int IDB_SPLASH = 135;

// System-menu command of the About box.
constexpr unsigned IDM_ABOUTBOX = 0x0010;

// Controls of the main dialog.
constexpr int IDC_POSITION_SLIDER = 1000;
constexpr int IDC_PLAY = 1001;
constexpr int IDC_SPEED_EDIT = 1005;
constexpr int IDC_SPEED_SPIN = 1006;
constexpr int IDC_PROGRESS = 1008;
constexpr int IDC_CAPTURE = 1010;
constexpr int IDC_VIDEO_HOST = 1012;
constexpr int IDC_DISPLAY = 1013;
constexpr int IDC_COPY = 1014;
constexpr int IDC_VSCROLL = 1015;
constexpr int IDC_HSCROLL = 1016;
constexpr int IDC_FRAME_SPIN = 1017;
constexpr int IDC_FRAME_EDIT = 1018;
constexpr int IDC_RAW_FRAME = 1020;
constexpr int IDC_ACTUAL_SIZE = 1022;
constexpr int IDC_BRIGHTNESS = 1026;
constexpr int IDC_CONTRAST = 1027;
constexpr int IDC_SATURATION = 1028;
constexpr int IDC_SHARPNESS = 1029;
constexpr int IDC_HUE = 1030;
constexpr int IDC_ZOOM_TO_FIT = 1031;
constexpr int IDC_CROP = 1048;
constexpr int IDC_INTERLACED = 1052;
constexpr int IDC_NEIGHBORS_0 = 1054;
constexpr int IDC_NEIGHBORS_2 = 1055;
constexpr int IDC_NEIGHBORS_4 = 1056;
constexpr int IDC_NEIGHBORS_8 = 1057;
constexpr int IDC_RESOLUTION_1X = 1058;
constexpr int IDC_NOISE_NONE = 1059;
constexpr int IDC_NOISE_LOW = 1060;
constexpr int IDC_NOISE_MED = 1061;
constexpr int IDC_NOISE_HIGH = 1062;
constexpr int IDC_RESOLUTION_2X = 1067;
constexpr int IDC_SMOOTH_MIN = 1068;
constexpr int IDC_SMOOTH_LOW = 1069;
constexpr int IDC_PIXEL_RATIO = 1070;
constexpr int IDC_SMOOTH_MED = 1071;
constexpr int IDC_SAVE = 1072;
constexpr int IDC_SMOOTH_HIGH = 1073;
constexpr int IDC_RESOLUTION_15X = 1074;
constexpr int IDC_RESOLUTION_25X = 1075;
constexpr int IDC_RESET_ADJUSTMENTS = 1093;
constexpr int IDC_RESET_OPTIONS = 1094;

// Labels.
constexpr int IDC_LABEL_SPEED = 1078;
constexpr int IDC_LABEL_FRAME = 1079;
constexpr int IDC_LABEL_PIXEL_RATIO = 1080;
constexpr int IDC_LABEL_NEIGHBORS = 1081;
constexpr int IDC_LABEL_SMOOTH = 1082;
constexpr int IDC_LABEL_NOISE = 1083;
constexpr int IDC_LABEL_RESOLUTION = 1084;
constexpr int IDC_LABEL_CONTRAST = 1086;
constexpr int IDC_LABEL_BRIGHTNESS = 1087;
constexpr int IDC_LABEL_SHARPNESS = 1088;
constexpr int IDC_LABEL_SATURATION = 1089;
constexpr int IDC_LABEL_HUE = 1090;
constexpr int IDC_LABEL_HELP = 1091;
constexpr int IDC_LABEL_RIGHT_CLICK = 1092;
constexpr int IDC_LABEL_DISPLAY = 1096;

// Menu commands.
constexpr int ID_FILE_OPEN_VIDEO = 32771;
constexpr int ID_APP_ABOUT = 32777;
constexpr int ID_HELP_INDEX = 57670;

// Timer of the position poll.
constexpr int IDT_POSITION = 100;

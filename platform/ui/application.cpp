#include "platform/ui/application.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFileInfo>
#include <QKeyEvent>
#include <QWidget>

#include <algorithm>
#include <cctype>
#include <map>

#include "platform/ui/dialog.h"

namespace ui {

namespace {

std::function<bool(const KeyMessage&)> g_preTranslate;
int g_pumpDepth = 0;
std::map<int, std::function<QImage()>> g_bitmaps;
std::map<int, std::function<QIcon()>> g_icons;

unsigned Modifiers(Qt::KeyboardModifiers m) {
  unsigned bits = kModNone;
  if (m & Qt::ShiftModifier) bits |= kModShift;
  if (m & Qt::ControlModifier) bits |= kModControl;
  if (m & Qt::AltModifier) bits |= kModAlt;
  return bits;
}

// Sees every key press of the program before its receiver.
class KeyFilter final : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress || g_pumpDepth > 0 || !g_preTranslate) return false;
    // A key press that nobody takes travels up the parents; a key that is
    // no accelerator is none at any of them, and an accelerator is consumed
    // where it starts.
    auto* key = static_cast<QKeyEvent*>(event);
    KeyMessage message;
    message.receiver = watched;
    message.key = key->key();
    message.modifiers = Modifiers(key->modifiers());
    message.autoRepeat = key->isAutoRepeat();
    return g_preTranslate(message);
  }
};

KeyFilter* g_filter = nullptr;

}  // namespace

void SetPreTranslateMessage(std::function<bool(const KeyMessage&)> hook) {
  g_preTranslate = std::move(hook);
  if (!g_filter && QCoreApplication::instance()) {
    g_filter = new KeyFilter(QCoreApplication::instance());
    QCoreApplication::instance()->installEventFilter(g_filter);
  }
}

bool TranslateAccelerator(Dialog* window, const AcceleratorTable* table, const KeyMessage& message) {
  if (!window || !table || !window->IsWindowCreated()) return false;
  auto* widget = qobject_cast<QWidget*>(message.receiver);
  if (!widget || widget->window() != window) return false;
  for (const Accelerator& a : table->entries) {
    if (a.key == message.key && a.modifiers == message.modifiers) {
      window->SendMessage(WM_COMMAND, MakeWParam(static_cast<unsigned>(a.command), CMD_FROM_ACCELERATOR));
      return true;
    }
  }
  return false;
}

void PumpPendingMessages() {
  ++g_pumpDepth;
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  --g_pumpDepth;
}

bool InMessagePump() { return g_pumpDepth > 0; }

void ParseCommandLine(const std::vector<std::string>& arguments, CommandLineInfo* info) {
  for (const std::string& argument : arguments) {
    if (argument.size() < 2 || (argument[0] != '/' && argument[0] != '-')) continue;
    std::string flag = argument.substr(1);
    std::transform(flag.begin(), flag.end(), flag.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (flag == "embedding" || flag == "automation") info->m_bShowSplash = false;
  }
}

void RegisterBitmap(int id, std::function<QImage()> make) { g_bitmaps[id] = std::move(make); }
void UnregisterBitmap(int id) { g_bitmaps.erase(id); }

QImage LoadBitmap(int id) {
  auto it = g_bitmaps.find(id);
  return it == g_bitmaps.end() || !it->second ? QImage() : it->second();
}

void RegisterIcon(int id, std::function<QIcon()> make) { g_icons[id] = std::move(make); }

QIcon LoadIcon(int id) {
  auto it = g_icons.find(id);
  return it == g_icons.end() || !it->second ? QIcon() : it->second();
}

std::string DefaultHelpFilePath() {
  const QString program = QCoreApplication::applicationFilePath();
  if (program.isEmpty()) return "frame-enhancer.HLP";
  const QFileInfo info(program);
  const QString base = info.completeSuffix().isEmpty()
                           ? info.filePath()
                           : info.path() + QLatin1Char('/') + info.completeBaseName();
  return (base + QStringLiteral(".HLP")).toStdString();
}

}  // namespace ui

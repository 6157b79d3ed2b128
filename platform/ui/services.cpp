#include "platform/ui/services.h"

#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QDialog>
#include <QFileDialog>
#include <QImage>
#include <QMessageBox>
#include <QPointer>
#include <QWhatsThis>
#include <QWidget>

#include <algorithm>
#include <cstring>
#include <map>

#include "platform/ui/dialog.h"
#include "platform/ui/win_defs.h"

namespace ui {

namespace {

// A widget that holds the mouse (the progress bar of a running capture)
// would take every click meant for a modal box, which then cannot be
// dismissed with the mouse: the grab is lifted while the box is up, and
// given back afterwards when its dialog still names that widget as the
// one holding the capture.
class MouseGrabPause {
 public:
  MouseGrabPause() : grabber_(QWidget::mouseGrabber()) {
    if (grabber_) grabber_->releaseMouse();
  }
  ~MouseGrabPause() {
    if (!grabber_ || !grabber_->isVisible() || QWidget::mouseGrabber()) return;
    auto* dialog = dynamic_cast<Dialog*>(grabber_->window());
    if (dialog && dialog->CaptureId() != 0 && dialog->GetDlgItem(dialog->CaptureId()) == grabber_)
      grabber_->grabMouse();
  }
  MouseGrabPause(const MouseGrabPause&) = delete;
  MouseGrabPause& operator=(const MouseGrabPause&) = delete;

 private:
  QPointer<QWidget> grabber_;
};

std::string g_applicationTitle;
std::map<std::uint32_t, std::string> g_helpTopics;

// The services of a desktop session, over Qt's dialogs and clipboard.
class QtServices final : public Services {
 public:
  int MessageBox(QWidget* owner, const std::string& text, const std::string& caption,
                 unsigned style) override {
    QMessageBox box(owner ? owner : QApplication::activeWindow());
    box.setWindowTitle(QString::fromStdString(caption));
    box.setText(QString::fromStdString(text).trimmed());
    switch (style & 0xF0u) {
      case MB_ICONERROR: box.setIcon(QMessageBox::Critical); break;
      case MB_ICONEXCLAMATION: box.setIcon(QMessageBox::Warning); break;
      case MB_ICONINFORMATION: box.setIcon(QMessageBox::Information); break;
      default: box.setIcon(QMessageBox::NoIcon); break;
    }
    box.setStandardButtons(QMessageBox::Ok);
    if (style & (MB_TASKMODAL | MB_SETFOREGROUND)) box.setWindowModality(Qt::ApplicationModal);
    MouseGrabPause pause;
    box.exec();
    return IDOK;
  }

  bool ChooseFile(QWidget* owner, const FileDialogRequest& r, std::string* path) override {
    QFileDialog dialog(owner ? owner : QApplication::activeWindow());
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    if (!r.title.empty()) dialog.setWindowTitle(QString::fromStdString(r.title));
    QStringList filters;
    for (const FileFilter& f : r.filters) filters << QString::fromStdString(QtFilterString(f));
    dialog.setNameFilters(filters);
    if (r.filterIndex >= 1 && r.filterIndex <= filters.size())
      dialog.selectNameFilter(filters[r.filterIndex - 1]);
    if (!r.initialDirectory.empty())
      dialog.setDirectory(QString::fromStdString(r.initialDirectory));
    if (r.save) {
      dialog.setAcceptMode(QFileDialog::AcceptSave);
      dialog.setFileMode(QFileDialog::AnyFile);
      dialog.setOption(QFileDialog::DontConfirmOverwrite, !r.promptOverwrite);
    } else {
      dialog.setAcceptMode(QFileDialog::AcceptOpen);
      dialog.setFileMode(r.mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    }
    if (!r.defaultExtension.empty() && r.defaultExtension != "*")
      dialog.setDefaultSuffix(QString::fromStdString(r.defaultExtension));
    if (dialog.exec() != QDialog::Accepted) return false;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) return false;
    *path = chosen.front().toStdString();
    return true;
  }

  bool SetClipboardDib(const std::uint8_t* dib, std::size_t size) override {
    // Only the layouts the program puts there: 24 and 32 bits per pixel,
    // uncompressed, no palette.
    if (!dib || size < 40) return false;
    auto u32 = [&](std::size_t at) {
      std::uint32_t v;
      std::memcpy(&v, dib + at, 4);
      return v;
    };
    auto u16 = [&](std::size_t at) {
      std::uint16_t v;
      std::memcpy(&v, dib + at, 2);
      return v;
    };
    const std::uint32_t headerSize = u32(0);
    const std::int32_t width = static_cast<std::int32_t>(u32(4));
    const std::int32_t height = static_cast<std::int32_t>(u32(8));
    const std::uint16_t bpp = u16(14);
    const std::uint32_t compression = u32(16);
    const std::uint32_t colours = u32(32);
    if (headerSize != 40 || width <= 0 || height == 0 || compression != 0) return false;
    if (bpp != 24 && bpp != 32) return false;
    const std::int64_t rows = height < 0 ? -std::int64_t{height} : height;
    const std::int64_t rowBytes = ((std::int64_t{width} * bpp + 31) / 32) * 4;
    const std::int64_t offset = 40 + std::int64_t{colours} * 4;
    if (colours > 256 || offset + rowBytes * rows > static_cast<std::int64_t>(size)) return false;
    QImage image(width, static_cast<int>(rows), QImage::Format_RGB32);
    if (image.isNull()) return false;
    for (std::int64_t y = 0; y < rows; ++y) {
      // Rows are stored bottom-up unless the height is negative.
      const std::int64_t stored = height > 0 ? rows - 1 - y : y;
      const std::uint8_t* src = dib + offset + stored * rowBytes;
      auto* dst = reinterpret_cast<QRgb*>(image.scanLine(static_cast<int>(y)));
      const int stepBytes = bpp / 8;
      for (std::int32_t x = 0; x < width; ++x, src += stepBytes) dst[x] = qRgb(src[2], src[1], src[0]);
    }
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard) return false;
    clipboard->setImage(image);
    return true;
  }

  bool WinHelp(const std::string&, unsigned command, std::uint32_t) override {
    // There is no help engine on this desktop: nothing to quit, and no help
    // file can be opened.
    return command == HELP_QUIT;
  }

  bool ContextHelp(QWidget* control, unsigned, std::uint32_t controlId,
                   const std::vector<HelpIdPair>& table) override {
    auto it = std::find_if(table.begin(), table.end(),
                           [&](const HelpIdPair& p) { return p.controlId == controlId && p.controlId != 0; });
    if (it == table.end()) return false;
    const std::string* text = HelpTopic(it->helpId);
    if (!text || text->empty()) return false;
    QPoint where = QCursor::pos();
    if (control && !control->rect().contains(control->mapFromGlobal(where)))
      where = control->mapToGlobal(control->rect().center());
    QWhatsThis::showText(where, QString::fromStdString(*text), control);
    return true;
  }

  void Beep() override { QApplication::beep(); }

  int RunModal(QDialog* dialog) override { return dialog->exec(); }
};

QtServices g_qtServices;
Services* g_services = &g_qtServices;

}  // namespace

Services& GetServices() { return *g_services; }
void SetServices(Services* services) { g_services = services ? services : &g_qtServices; }

void SetApplicationTitle(const std::string& title) { g_applicationTitle = title; }
const std::string& ApplicationTitle() { return g_applicationTitle; }

int AfxMessageBox(const std::string& text, unsigned style) {
  return GetServices().MessageBox(QApplication::activeWindow(), text, g_applicationTitle, style);
}

void SetHelpTopics(const std::vector<std::pair<std::uint32_t, std::string>>& topics) {
  g_helpTopics.clear();
  for (const auto& t : topics) g_helpTopics[t.first] = t.second;
}

const std::string* HelpTopic(std::uint32_t helpId) {
  auto it = g_helpTopics.find(helpId);
  return it == g_helpTopics.end() ? nullptr : &it->second;
}

std::string QtFilterString(const FileFilter& filter) {
  std::string patterns;
  std::size_t start = 0;
  while (start <= filter.patterns.size()) {
    std::size_t end = filter.patterns.find(';', start);
    if (end == std::string::npos) end = filter.patterns.size();
    std::string p = filter.patterns.substr(start, end - start);
    p.erase(0, p.find_first_not_of(' '));
    p.erase(p.find_last_not_of(' ') + 1);
    // "*.*" means every file, also those without a dot.
    if (p == "*.*") p = "*";
    if (!p.empty()) {
      if (!patterns.empty()) patterns += ' ';
      patterns += p;
    }
    start = end + 1;
  }
  return filter.name + " (" + patterns + ")";
}

}  // namespace ui

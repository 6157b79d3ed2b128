// The capture-and-enhance request: frames from the player into a new engine,
// the run, the post-filters and the composed picture; the adjustment sliders
// and the two resets that recompose it without running the engine again.
#include <algorithm>
#include <new>
#include <string>
#include <utility>

#include "app/capture_memory.h"
#include "app/enhance_controller.h"
#include "app/grabbed_frame.h"
#include "app/video_player.h"

ProgressControl* g_progressCtrl = nullptr;

const char* const kOutOfMemoryMessage = "Not enough memory to capture and enhance this frame.";
const char* const kEmptyCropMessage = "The crop rectangle is empty.";
const char* const kFrameUnreadableMessage = "Could not read frame ";
const char* const kSingleFrameMessage =
    "This video cannot be sought: the picture is made from the shown frame alone.";

namespace {

// Exchanges the pixels of two picture records.
void SwapImages(Image8uC3& a, Image8uC3& b)
{
    std::swap(a.data, b.data);
    std::swap(a.step, b.step);
    std::swap(a.width, b.width);
    std::swap(a.height, b.height);
}

// The factor of a slider position: 1 at the middle (50), rising by `up` a
// step above it and falling by `down` a step below it.
float SliderFactor(unsigned p, float up, float down)
{
    return p >= 50 ? 1.0f + static_cast<float>(p - 50) * up : 1.0f - static_cast<float>(50 - p) * down;
}

}  // namespace

int EnhanceProgress(int percent)
{
    if (g_progressCtrl) {
        g_progressCtrl->SetPos(10 - static_cast<int>(percent * -0.8));
        g_progressCtrl->PumpMessages();
    }
    return 0;
}

EnhanceController::EnhanceController(EnhanceHost* host, VideoPlayer* player) : m_host(host), m_player(player) {}

EnhanceController::~EnhanceController() = default;

const PlanePostFilter* EnhanceController::postFilter(int plane) const
{
    switch (plane) {
    case 0: return m_postFilterY.get();
    case 1: return m_postFilterU.get();
    case 2: return m_postFilterV.get();
    default: return nullptr;
    }
}

void EnhanceController::OnCaptureEnhance()
{
    // A capture started from the progress pump of a running one would
    // delete the engine under it.
    if (m_capturing)
        return;
    if (!m_player->videoLoaded() || m_player->playState() != kPlayPaused)
        return;
    g_progressCtrl = m_host->Progress();
    m_host->SetMouseCaptureToProgress(true);
    m_capturing = true;
    m_host->LockCommands(true);
    g_progressCtrl->SetPos(5);
    m_host->UpdateOptions(true);
    // The capture runs with the options as they stand now; choices made in
    // the controls while it runs are for the next one.
    m_captureOptions = opt();

    bool outOfMemory = false;
    {
        // From here the window's thread waits for frames and works on them:
        // the pointer says so until the capture ends, whichever way it ends.
        struct BusyWhileCapturing {
            EnhanceController& controller;
            explicit BusyWhileCapturing(EnhanceController& c) : controller(c) { controller.MarkBusy(true); }
            ~BusyWhileCapturing() { controller.MarkBusy(false); }
        } busy(*this);
        try {
            // A capture asked for while a step back is on its way takes the
            // frame the step lands on, which the frame field then names.
            m_player->FinishStepBack();
            media::MediaGraph* graph = m_player->graph();
            std::int64_t c = 0;
            if (!graph || media::Failed(graph->GetCurrentPosition(&c)))
                Tell("OnCapture, cannot get position!", true);
            else
                RunCapture(c);
        } catch (const MemoryException&) {
            outOfMemory = true;
        } catch (const std::bad_alloc&) {
            outOfMemory = true;
        }
    }
    // Whatever happened, the engine goes and the window is given back.
    m_engine.reset();
    g_progressCtrl->SetPos(0);
    m_host->LockCommands(false);
    m_capturing = false;
    m_host->SetMouseCaptureToProgress(false);
    if (outOfMemory)
        ReportOutOfMemory();
}

void EnhanceController::RunCapture(std::int64_t c)
{
    media::MediaGraph* graph = m_player->graph();
    m_capturePosition = c;
    m_output.pixelRatio = 1.0f;  // the post-filters apply the pixel ratio

    int n = NeighborFrameCount();
    // An input that cannot seek (a pipe) cannot go back for the frames
    // before the one shown, and reading on would move the player off it:
    // the picture is made of the shown frame alone, and the user is told.
    // The option stays as chosen, for the next video.
    if (n > 0 && !m_player->seekable()) {
        Tell(kSingleFrameMessage, false);
        MarkBusy(true);  // the capture goes on
        n = 0;
    }
    const bool single = n == 0;
    if (single)
        n = 1;
    m_captureFrames = n;
    m_captureInterlaced = m_captureOptions.interlaced ? 1 : 0;

    const int resolution = m_captureOptions.resolution;
    const double scale = 1.0 + 0.5 * static_cast<double>(resolution);
    // Refused up front when the system has not the memory: the allocations
    // would be granted and the program killed once they are used. The
    // previous post-filters go before the peak, so their memory counts.
    const std::uint64_t needed =
        CapturePeakBytes(g_grabbedFrame.image.width, g_grabbedFrame.image.height, n, scale);
    const auto available = [this] { return availableMemoryHook ? availableMemoryHook() : AvailableMemoryBytes(); };
    if (!CaptureFits(needed, PostFilterBytes(), available)) {
        ReportOutOfMemory();
        return;
    }

    // A move that brought no frame (to one that does not decode, or past the
    // end) leaves the frame shown from before it, named by the position: it
    // is read anew.
    if (graph->WaitForFrame(c, kSeekWaitMs) == media::kFail && m_player->seekable()) {
        graph->SetPositions(c);
        graph->Pause();
    }
    // The paused frame becomes the raw frame only once the capture has made
    // its picture; until then the previous one stays.
    Image8uC3 raw;
    if (!TakeFrame(c, [&](const Image8uC3& frame) { copyImage8uC3(&frame, &raw); })) {
        ReportUnreadableFrame(c);
        return;
    }

    m_engine.reset();
    m_engine = std::make_unique<FrameEnhancer>(raw.width, raw.height, n, m_captureInterlaced, scale);
    m_engine->singleFrame = single ? 1 : 0;

    // Frames c - N/2 .. c - N/2 + N - 1, moved inside the video. The
    // reference is the slot of the chosen frame c: the middle one, except
    // near the start of the video, where the run begins at frame 0 and c
    // lies before the middle. Registered onto any other frame, the still
    // would show that frame's instant (across a cut, another scene). A
    // neighbour that cannot be read leaves its slot empty, which the engine
    // passes over like a frame of another shot; only the chosen frame must
    // be read.
    const std::int64_t frameCount = m_player->frameCount();
    std::int64_t p = c - n / 2;
    int referenceSlot = -1;
    for (int i = 0; i < n; ++i) {
        if (p < 0)
            p = 0;
        if (frameCount > 0 && p >= frameCount)
            p = frameCount - 1;
        if (referenceSlot < 0 && p == c)
            referenceSlot = i;
        graph->SetPositions(p);
        graph->Pause();
        if (TakeFrame(p, [&](const Image8uC3& frame) { m_engine->frameStore->setFrame(i, &frame); })) {
            if (frameStoredHook)
                frameStoredHook(i, p);
        } else if (p == c) {
            graph->SetPositions(c);
            graph->Pause();
            ReportUnreadableFrame(c);
            return;
        }
        p = p + 1;
    }
    graph->SetPositions(c);
    graph->Pause();

    SetEnhancerParameters();
    m_engine->progressCallback = EnhanceProgress;
    m_engine->estimateNoise(referenceSlot >= 0 ? referenceSlot : n / 2);
    m_engine->run();
    if (engineRanHook)
        engineRanHook(*m_engine);

    opt().displayMode = kDisplayActualSize;
    m_host->UpdateOptions(false);

    // Building the post-filters beside the engine's planes is the peak of a
    // capture. The previous capture's post-filters go first, so that the
    // peak is the same whether or not a capture came before; until here a
    // failure kept them with the picture. From here on a failure keeps the
    // picture shown, without the post-filters that would adjust it.
    ReleasePostFilters();
    const bool built = BuildPostFilters();
    if (built)
        m_captureResolution = resolution;
    g_progressCtrl->SetPos(95);
    m_engine.reset();
    SwapImages(raw, m_rawFrame);
    if (!built) {
        // No result planes: the previous capture's picture must not come
        // back as this one's.
        m_result.release();
        m_picture.Destroy();
        m_host->InvalidateDisplay(true);
    }
    Recompose(true);
}

bool EnhanceController::TakeFrame(std::int64_t position, const std::function<void(const Image8uC3&)>& use)
{
    media::MediaGraph* graph = m_player->graph();
    if (graph && graph->WaitForFrame(position, kSeekWaitMs) == media::kOk) {
        std::lock_guard<std::mutex> lock(g_grabbedFrame.mutex);
        if (g_grabbedFrame.filled) {
            use(g_grabbedFrame.image);
            return true;
        }
    }
    return false;
}

void EnhanceController::ReportUnreadableFrame(std::int64_t position)
{
    Tell(kFrameUnreadableMessage + std::to_string(position) + " of the video.", true);
}

void EnhanceController::ReportOutOfMemory()
{
    Tell(kOutOfMemoryMessage, false);
}

void EnhanceController::Tell(const std::string& text, bool error)
{
    MarkBusy(false);
    if (error)
        m_host->ShowError(text);
    else
        m_host->ShowMessage(text);
}

void EnhanceController::MarkBusy(bool busy)
{
    if (busy == m_busyMarked)
        return;
    m_busyMarked = busy;
    m_host->ShowBusy(busy);
}

int EnhanceController::NeighborFrameCount() const
{
    static const int kCounts[4] = {0, 3, 5, 9};
    const int k = m_captureOptions.neighbors;
    return kCounts[std::clamp(k, 0, 3)];
}

void EnhanceController::SetEnhancerParameters()
{
    applyNoiseReduction(*m_engine, m_captureOptions.noiseReduction);
    applyMotionSmooth(*m_engine, m_captureOptions.motionSmooth);
}

float EnhanceController::SharpnessAmount()
{
    const int q = m_host->SliderPosition(ctl::kSharpnessSlider);
    if (q < 50)
        return 3.0f - static_cast<float>(50 - q) * 0.06f;
    return 3.0f + static_cast<float>(q - 50) * 0.2f;
}

void EnhanceController::SetPostFilterAmounts(float amount)
{
    m_postFilterY->amount = amount;
    m_postFilterU->amount = amount * 1.5f;
    m_postFilterV->amount = amount * 1.5f;
}

bool EnhanceController::BuildPostFilters()
{
    if (!m_engine || !m_engine->accumY || m_engine->accumY->width == 0 || m_engine->accumY->height == 0)
        return false;
    const double r = m_captureOptions.pixelRatio;
    double sx = r, sy = 1.0;
    if (r < 1.0) {
        sx = 1.0;
        sy = 1.0 / r;
    }
    // Built aside and put in place only once all three are prepared: a
    // failure leaves none.
    auto y = std::make_unique<PlanePostFilter>(2, 1.0f, sx, sy);
    auto u = std::make_unique<PlanePostFilter>(4, 2.0f, sx, sy);
    auto v = std::make_unique<PlanePostFilter>(4, 2.0f, sx, sy);
    const float a = SharpnessAmount();
    y->amount = a;
    u->amount = a * 1.5f;
    v->amount = a * 1.5f;
    {
        Image32f scratch;
        y->prepare(m_engine->accumY.get(), &scratch);
        u->prepare(m_engine->accumU.get(), &scratch);
        v->prepare(m_engine->accumV.get(), &scratch);
    }
    m_postFilterY = std::move(y);
    m_postFilterU = std::move(u);
    m_postFilterV = std::move(v);
    return true;
}

int EnhanceController::BorderPixels() const
{
    const int base = m_borderBase;
    switch (m_captureResolution) {
    case 0: return 1 - static_cast<int>(base * -0.501);
    case 1: return base;
    case 2: return static_cast<int>(base * 1.501);
    default: return static_cast<int>(base * 2.001);
    }
}

VpiRect EnhanceController::OutputCrop(int w, int h, int border)
{
    // The border shrinks for planes too small for it, so the crop keeps at
    // least one pixel and never has a negative size.
    const int bx = std::max(0, std::min(border, (w - 1) / 2));
    const int by = std::max(0, std::min(border, (h - 1) / 2));
    return VpiRect{bx, by, std::max(0, w - 2 * bx), std::max(0, h - 2 * by)};
}

std::uint64_t EnhanceController::PostFilterBytes() const
{
    std::uint64_t bytes = 0;
    for (const PlanePostFilter* f : {m_postFilterY.get(), m_postFilterU.get(), m_postFilterV.get()})
        if (f)
            for (const Image32f* p : {&f->base, &f->detail, &f->detailWeight})
                bytes += static_cast<std::uint64_t>(p->step) * static_cast<std::uint64_t>(p->height);
    return bytes;
}

void EnhanceController::ReleasePostFilters()
{
    m_postFilterY.reset();
    m_postFilterU.reset();
    m_postFilterV.reset();
}

void EnhanceController::Recompose(bool recompute)
{
    // Without post-filters the picture shown (if any) stays as it is.
    if (!m_postFilterY)
        return;
    m_output.crop = OutputCrop(m_postFilterY->width, m_postFilterY->height, BorderPixels());
    try {
        Image32f y, u, v;
        m_postFilterY->render(&y);
        m_postFilterU->render(&u);
        m_postFilterV->render(&v);
        // Composed aside, so a failure leaves the shown picture whole.
        Image8uC3 composed;
        composeOutputImage(&m_output, &y, &u, &v, &composed);
        SwapImages(composed, m_result);
    } catch (const MemoryException&) {
        ReportOutOfMemory();
        return;
    } catch (const std::bad_alloc&) {
        ReportOutOfMemory();
        return;
    }
    RefreshDisplay(recompute);
}

void EnhanceController::OnHScroll(int code, int position, int id)
{
    if (id == ctl::kHorizontalScroll) {
        ScrollBy(code, position, id, &m_offsetX);
        return;
    }
    const unsigned p = static_cast<unsigned>(position);
    const bool move = code == 4 || code == 5;
    bool recompose = false;
    switch (id) {
    case ctl::kContrastSlider:
        if (move)
            m_output.contrast = SliderFactor(p, 0.04f, 0.013333334f);
        recompose = true;
        break;
    case ctl::kBrightnessSlider:
        if (move)
            m_output.brightness = (static_cast<float>(p) - 50.0f) * 2.0f;
        recompose = true;
        break;
    case ctl::kSaturationSlider:
        if (move)
            m_output.saturation = SliderFactor(p, 0.04f, 0.02f);
        recompose = true;
        break;
    case ctl::kHueSlider:
        if (move)
            m_output.hue = SliderFactor(p, 0.0033333334f, 0.005f);
        recompose = true;
        break;
    case ctl::kSharpnessSlider:
        if (m_postFilterY) {
            if (move)
                SetPostFilterAmounts(SharpnessAmount());
            recompose = true;
        }
        break;
    default:
        return;
    }
    if (code == 8 && recompose && !m_capturing) {
        m_host->Progress()->SetPos(50);
        m_host->UpdateOptions(true);
        Recompose(false);
        m_host->Progress()->SetPos(0);
    }
}

void EnhanceController::OnResetAdjustments()
{
    for (int id : {ctl::kContrastSlider, ctl::kBrightnessSlider, ctl::kSaturationSlider, ctl::kHueSlider})
        m_host->SetSliderPosition(id, 50);
    m_output.contrast = 1.0f;
    m_output.brightness = 0.0f;
    m_output.saturation = 1.0f;
    m_output.hue = 1.0f;
    m_host->SetSliderPosition(ctl::kSharpnessSlider, 50);
    if (m_postFilterY)
        SetPostFilterAmounts(3.0f);
    opt().crop = 0;
    m_cropRect = RasterRect{0, 0, 9000, 9000};
    m_dragging = false;
    m_host->UpdateOptions(false);
    if (m_capturing)
        return;
    m_host->Progress()->SetPos(50);
    Recompose(false);
    m_host->Progress()->SetPos(0);
}

void EnhanceController::OnResetOptions()
{
    opt().neighbors = 1;
    opt().motionSmooth = 2;
    opt().noiseReduction = 0;
    opt().resolution = 0;
    m_host->SetSliderPosition(ctl::kSharpnessSlider, 50);
    m_host->UpdateOptions(false);
}

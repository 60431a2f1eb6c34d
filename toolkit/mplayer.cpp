// The media player control over GStreamer's playbin.
//
// One playbin is one open device. Open prerolls it (PAUSED) and waits on its bus for the
// preroll or an error; after that a synchronous bus handler watches for the end of the stream
// and for errors on GStreamer's streaming threads and hands them to the UI thread through a
// queued call, where the reports are kept in order with the ones the commands post.
#include "mplayer.h"
#include "controlwidgets.h"
#include "qtbridge.h"

#include <QObject>

#include <gst/gst.h>

#include <atomic>

namespace {

// Owning handles for the GStreamer and GLib objects this file holds.
template <class T, void (*Free)(T*)>
struct Releaser {
    void operator()(T* p) const
    {
        if (p)
            Free(p);
    }
};
void UnrefElement(GstElement* p) { gst_object_unref(p); }
void UnrefBus(GstBus* p) { gst_object_unref(p); }
void FreeChars(gchar* p) { g_free(p); }
using ElementPtr = std::unique_ptr<GstElement, Releaser<GstElement, UnrefElement>>;
using BusPtr = std::unique_ptr<GstBus, Releaser<GstBus, UnrefBus>>;
using MessagePtr = std::unique_ptr<GstMessage, Releaser<GstMessage, gst_message_unref>>;
using ErrorPtr = std::unique_ptr<GError, Releaser<GError, g_error_free>>;
using CharsPtr = std::unique_ptr<gchar, Releaser<gchar, FreeChars>>;

// How long Open waits for a file to be ready to play. Local files preroll in milliseconds;
// this only keeps a stuck decoder from hanging the program.
constexpr GstClockTime OpenTimeout = 10 * GST_SECOND;

// The General MIDI sound font that the fluidsynth decoder gets when it is there.
const char* const SoundFonts[] = {"/usr/share/sounds/sf2/default-GM.sf2", "/usr/share/sounds/sf2/TimGM6mb.sf2",
                                  "/usr/share/sounds/sf2/FluidR3_GM.sf2"};

struct Sinks {
    std::string audio;
    std::string video;
};

Sinks& ConfiguredSinks()
{
    static Sinks sinks;
    return sinks;
}

EMediaError MediaError(const AnsiString& fileName, const char* reasonUtf8)
{
    return EMediaError(tk::Ansi("「") + fileName + tk::Ansi("」を ひらけません（") + tk::Ansi(reasonUtf8) +
                       tk::Ansi("）"));
}

// Our reason, in Japanese, for an error that GStreamer reports.
const char* ReasonOf(const GError* error)
{
    if (!error)
        return "おとを ならせません";
    if (error->domain == GST_RESOURCE_ERROR) {
        switch (error->code) {
        case GST_RESOURCE_ERROR_NOT_FOUND:
            return "ファイルが ありません";
        case GST_RESOURCE_ERROR_OPEN_READ:
        case GST_RESOURCE_ERROR_OPEN_READ_WRITE:
        case GST_RESOURCE_ERROR_READ:
            return "ファイルを よめません";
        default:
            return "おとを ならす そうちが つかえません";
        }
    }
    if (error->domain == GST_STREAM_ERROR || (error->domain == GST_CORE_ERROR && error->code == GST_CORE_ERROR_MISSING_PLUGIN))
        return "この しゅるいの ファイルは ならせません";
    return "おとを ならせません";
}

bool InitGStreamer()
{
    static const bool ready = [] {
        GError* raw = nullptr;
        const bool ok = gst_init_check(nullptr, nullptr, &raw);
        ErrorPtr error(raw);
        return ok;
    }();
    return ready;
}

// A sink from its description, owned by us (not floating); null when it does not parse.
ElementPtr MakeSink(const std::string& description)
{
    GError* raw = nullptr;
    GstElement* sink = gst_parse_bin_from_description(description.c_str(), TRUE, &raw);
    ErrorPtr error(raw);
    if (!sink)
        return nullptr;
    return ElementPtr(GST_ELEMENT(gst_object_ref_sink(sink)));
}

// The synthesiser's gain. Its own, 0.2, leaves room for the densest scores and plays an
// ordinary tune (piano, bass and drums) with peaks near -18 dBFS, a piano alone near -30,
// where a wav file peaks near full scale. At 0.6 such a tune peaks near -9 dBFS and a band of
// five instruments reaches full scale.
constexpr double MidiGain = 0.6;

// Gives the fluidsynth decoder its gain and a General MIDI sound font as playbin creates it;
// without a font it would take whichever it finds first, or none.
void SetUpElement(GstElement*, GstElement* element, gpointer)
{
    GstElementFactory* factory = gst_element_get_factory(element);
    if (!factory || g_strcmp0(GST_OBJECT_NAME(factory), "fluiddec") != 0)
        return;
    g_object_set(element, "synth-gain", MidiGain, nullptr);
    for (const char* font : SoundFonts) {
        if (g_file_test(font, G_FILE_TEST_EXISTS)) {
            g_object_set(element, "soundfont", font, nullptr);
            return;
        }
    }
}

} // namespace

// The UI thread's receiver of what the streaming threads report.
struct TMediaPlayer::Watch {
    QObject receiver;
};

// One open file: its playbin and what the streaming threads tell about it.
struct TMediaPlayer::Device {
    ElementPtr pipeline;
    BusPtr bus;
    unsigned serial = 0;
    TMediaPlayer* player = nullptr;
    // Counts the plays that started from the beginning, so that the end of an earlier run
    // that is still on its way to the UI thread is not taken for the end of this one.
    std::atomic<unsigned> run{0};
    std::atomic<bool> ended{false};
    std::atomic<bool> failed{false};
    bool playing = false;

    ~Device()
    {
        if (!pipeline)
            return;
        // Stopping joins the streaming threads; only then can the bus handler go.
        gst_element_set_state(pipeline.get(), GST_STATE_NULL);
        if (bus)
            gst_bus_set_sync_handler(bus.get(), nullptr, nullptr, nullptr);
    }

    // Runs on whichever thread posts a message: ends and errors go to the UI thread, the rest
    // is dropped so that nothing piles up on the bus.
    static GstBusSyncReply OnMessage(GstBus*, GstMessage* message, gpointer data)
    {
        auto* device = static_cast<Device*>(data);
        const GstMessageType type = GST_MESSAGE_TYPE(message);
        if (type == GST_MESSAGE_EOS || type == GST_MESSAGE_ERROR) {
            const bool failed = type == GST_MESSAGE_ERROR;
            if (failed)
                device->failed = true;
            else
                device->ended = true;
            TMediaPlayer* player = device->player;
            const unsigned serial = device->serial;
            const unsigned run = device->run.load();
            QMetaObject::invokeMethod(
                &player->watch_->receiver, [player, serial, run, failed] { player->StreamEvent(serial, run, failed); },
                Qt::QueuedConnection);
        }
        gst_message_unref(message);
        return GST_BUS_DROP;
    }
};

namespace {

std::unique_ptr<TMediaPlayer::Device> OpenDevice(const AnsiString& fileName)
{
    if (!InitGStreamer())
        throw MediaError(fileName, "おとを ならす しくみが ありません");
    const std::string path = tk::NativePath(fileName);
    if (path.empty())
        throw MediaError(fileName, "ファイルの なまえが ありません");
    GError* rawError = nullptr;
    CharsPtr uri(gst_filename_to_uri(path.c_str(), &rawError));
    ErrorPtr uriError(rawError);
    if (!uri)
        throw MediaError(fileName, "ファイルの なまえが つかえません");

    auto device = std::make_unique<TMediaPlayer::Device>();
    device->pipeline.reset(gst_element_factory_make("playbin", nullptr));
    if (!device->pipeline)
        throw MediaError(fileName, "おとを ならす しくみが ありません");
    GstElement* playbin = device->pipeline.get();
    gst_object_ref_sink(playbin);
    g_object_set(playbin, "uri", uri.get(), nullptr);
    g_signal_connect(playbin, "element-setup", G_CALLBACK(SetUpElement), nullptr);
    {
        const Sinks& sinks = ConfiguredSinks();
        if (!sinks.audio.empty())
            if (ElementPtr sink = MakeSink(sinks.audio))
                g_object_set(playbin, "audio-sink", sink.get(), nullptr);
        if (!sinks.video.empty())
            if (ElementPtr sink = MakeSink(sinks.video))
                g_object_set(playbin, "video-sink", sink.get(), nullptr);
    }
    device->bus.reset(gst_element_get_bus(playbin));

    // Preroll, and wait on the bus for it or for the error that ends it.
    const GstStateChangeReturn change = gst_element_set_state(playbin, GST_STATE_PAUSED);
    if (change == GST_STATE_CHANGE_ASYNC || change == GST_STATE_CHANGE_FAILURE) {
        const GstClockTime wait = change == GST_STATE_CHANGE_FAILURE ? 0 : OpenTimeout;
        const auto wanted = static_cast<GstMessageType>(GST_MESSAGE_ERROR | GST_MESSAGE_ASYNC_DONE);
        MessagePtr message(gst_bus_timed_pop_filtered(device->bus.get(), wait, wanted));
        if (!message) {
            throw MediaError(fileName, change == GST_STATE_CHANGE_FAILURE ? "おとを ならせません"
                                                                         : "じゅんびに じかんが かかりすぎました");
        }
        if (GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_ERROR) {
            GError* raw = nullptr;
            gst_message_parse_error(message.get(), &raw, nullptr);
            ErrorPtr error(raw);
            throw MediaError(fileName, ReasonOf(error.get()));
        }
    }
    return device;
}

} // namespace

namespace {

std::unique_ptr<TControl::Impl> MakeHiddenImpl()
{
    auto impl = std::make_unique<TControl::Impl>();
    auto* widget = new QWidget;
    // Even when shown it must not cover the elements under its box or take their clicks.
    widget->setAttribute(Qt::WA_TransparentForMouseEvents);
    widget->setFocusPolicy(Qt::NoFocus);
    impl->widget = widget;
    return impl;
}

} // namespace

TMediaPlayer::TMediaPlayer(TComponent* owner) : TControl(owner, MakeHiddenImpl()), watch_(std::make_unique<Watch>())
{
    SetVisible(false);
}

TMediaPlayer::~TMediaPlayer()
{
    device_.reset();
    // Reports still on their way die with the receiver.
    watch_.reset();
}

bool TMediaPlayer::TakeNotify()
{
    const bool asked = notify_;
    notify_ = false;
    return asked;
}

void TMediaPlayer::PostReport(TMPNotifyValues value)
{
    QMetaObject::invokeMethod(
        &watch_->receiver,
        [this, value] {
            notifyValue_ = value;
            tk::Raise(OnNotify, this);
        },
        Qt::QueuedConnection);
}

void TMediaPlayer::EndPendingReport(TMPNotifyValues value)
{
    if (!reportPending_)
        return;
    reportPending_ = false;
    PostReport(value);
}

void TMediaPlayer::AskForReport()
{
    EndPendingReport(nvSuperseded);
    reportPending_ = true;
}

void TMediaPlayer::CloseDevice(TMPNotifyValues pendingBecomes)
{
    if (!device_)
        return;
    // A play that reached its end before this close was successful, whatever comes now.
    if (device_->ended)
        EndPendingReport(nvSuccessful);
    EndPendingReport(pendingBecomes);
    device_.reset();
}

void TMediaPlayer::Open()
{
    const bool report = TakeNotify();
    CloseDevice(report ? nvSuperseded : nvAborted);
    std::unique_ptr<Device> device = OpenDevice(fileName_);
    device->serial = ++devicesOpened_;
    device->player = this;
    gst_bus_set_sync_handler(device->bus.get(), &Device::OnMessage, device.get(), nullptr);
    // What the preroll left on the bus is of no further use.
    while (MessagePtr(gst_bus_pop(device->bus.get()))) {
    }
    device_ = std::move(device);
    // Opening is done when Open returns, so its report is a success straight away.
    if (report)
        PostReport(nvSuccessful);
}

void TMediaPlayer::Play()
{
    TakeNotify();
    if (!device_)
        throw EMediaError(tk::Ansi("おとの ファイルが ひらかれていません"));
    Device& device = *device_;
    const bool atEnd = device.ended;
    if (atEnd)
        EndPendingReport(nvSuccessful);
    AskForReport();
    device.playing = true;
    if (atEnd) {
        // A new run: the end of the last one may still be on its way and must not count.
        ++device.run;
        device.ended = false;
        const auto flags = static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE);
        if (!gst_element_seek_simple(device.pipeline.get(), GST_FORMAT_TIME, flags, 0)) {
            device.playing = false;
            EndPendingReport(nvFailure);
            return;
        }
    }
    // A play that the device refuses is reported, not raised.
    if (gst_element_set_state(device.pipeline.get(), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        device.playing = false;
        EndPendingReport(nvFailure);
    }
}

void TMediaPlayer::Close()
{
    const bool report = TakeNotify();
    if (!device_)
        return;
    CloseDevice(report ? nvSuperseded : nvAborted);
    if (report)
        PostReport(nvSuccessful);
}

void TMediaPlayer::StreamEvent(unsigned serial, unsigned run, bool failed)
{
    if (!device_ || device_->serial != serial || device_->run != run)
        return;
    if (failed) {
        device_->playing = false;
        EndPendingReport(nvFailure);
    } else {
        EndPendingReport(nvSuccessful);
    }
}

TMPModes TMediaPlayer::Mode() const
{
    if (!device_)
        return mpNotReady;
    return device_->playing && !device_->ended && !device_->failed ? mpPlaying : mpStopped;
}

long long TMediaPlayer::Position() const
{
    gint64 position = 0;
    if (!device_ || !gst_element_query_position(device_->pipeline.get(), GST_FORMAT_TIME, &position))
        return 0;
    return position / GST_MSECOND;
}

long long TMediaPlayer::Length() const
{
    gint64 length = 0;
    if (!device_ || !gst_element_query_duration(device_->pipeline.get(), GST_FORMAT_TIME, &length))
        return 0;
    return length / GST_MSECOND;
}

namespace tk {

void SetMediaSinks(const std::string& audioSink, const std::string& videoSink)
{
    Sinks& sinks = ConfiguredSinks();
    sinks.audio = audioSink;
    sinks.video = videoSink;
}

} // namespace tk

// camtag-codec.so: the front's decoding and encoding, with ffmpeg's libraries (Codec.h).
#include "Codec.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
}

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdarg>
#include <deque>
#include <mutex>
#include <thread>

namespace camtag::front {

// (This library's own: only camtag_codec is seen from outside.)
void FrameFree::operator()(AVFrame* frame) const {
    av_frame_free(&frame);
}

namespace {

int (*pendingSignal)() = nullptr;

FramePlanes PlanesOf(AVFrame* frame) {
    FramePlanes planes;
    for (int i = 0; i < 3; ++i) {
        planes.data[i] = frame->data[i];
        planes.stride[i] = frame->linesize[i];
    }
    planes.width = frame->width;
    planes.height = frame->height;
    return planes;
}

std::string Words(int status) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(status, text, sizeof text);
    return text;
}

std::string Ratio(AVRational r) {
    return std::to_string(r.num) + "/" + std::to_string(r.den);
}

// A filter graph from a buffer source to a buffer sink, for frames of `frame`'s kind.
struct Graph {
    AVFilterGraph* graph = nullptr;
    AVFilterContext* source = nullptr;
    AVFilterContext* sink = nullptr;
    ~Graph() { avfilter_graph_free(&graph); }

    int Make(const std::string& filter, int width, int height, int format, AVRational timeBase,
             AVRational aspect, AVRational rate) {
        graph = avfilter_graph_alloc();
        if (!graph)
            return AVERROR(ENOMEM);
        graph->nb_threads = 1; // the encoder's threads have the cores
        std::string args = "video_size=" + std::to_string(width) + "x" + std::to_string(height) +
                           ":pix_fmt=" + std::to_string(format) + ":time_base=" + Ratio(timeBase) +
                           ":pixel_aspect=" + Ratio(aspect.num > 0 ? aspect : AVRational{0, 1});
        if (rate.num > 0)
            args += ":frame_rate=" + Ratio(rate);
        int status = avfilter_graph_create_filter(&source, avfilter_get_by_name("buffer"), "in",
                                                  args.c_str(), nullptr, graph);
        if (status >= 0)
            status = avfilter_graph_create_filter(&sink, avfilter_get_by_name("buffersink"), "out",
                                                  nullptr, nullptr, graph);
        if (status < 0)
            return status;
        AVFilterInOut* outputs = avfilter_inout_alloc();
        AVFilterInOut* inputs = avfilter_inout_alloc();
        if (!outputs || !inputs) {
            avfilter_inout_free(&outputs);
            avfilter_inout_free(&inputs);
            return AVERROR(ENOMEM);
        }
        outputs->name = av_strdup("in");
        outputs->filter_ctx = source;
        inputs->name = av_strdup("out");
        inputs->filter_ctx = sink;
        status = avfilter_graph_parse_ptr(graph, filter.c_str(), &inputs, &outputs, nullptr);
        avfilter_inout_free(&outputs);
        avfilter_inout_free(&inputs);
        return status < 0 ? status : avfilter_graph_config(graph, nullptr);
    }
};

// Frames decoded ahead of the render: up to 48 MiB of them (77 PAL frames), so that the spare
// decoder uses the core that Wine's start leaves idle.
constexpr size_t kAheadBytes = size_t(48) << 20;

// libav's errors, kept for a failure's message instead of going to the terminal as they come.
std::mutex wordsMutex;
std::deque<std::string> words;

void KeepWords(void* context, int level, const char* format, va_list args) {
    if (level > AV_LOG_ERROR)
        return;
    char line[1024];
    int prefix = 1;
    av_log_format_line(context, level, format, args, line, sizeof line, &prefix);
    std::lock_guard<std::mutex> lock(wordsMutex);
    words.emplace_back(line);
    if (words.size() > 10)
        words.pop_front();
}

void KeepLibavWords() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_callback(KeepWords); });
}

std::string TakeWords() {
    std::lock_guard<std::mutex> lock(wordsMutex);
    std::string text;
    for (const std::string& line : words)
        text += line;
    words.clear();
    return text;
}

// ---- decoding

class Decoder final : public FrameDecoder {
public:
    ~Decoder() override { Stop(); }
    bool Start(const std::string& path, long long first, long long count,
               std::string* error) override;
    FramePtr Next() override;
    std::string error() override;
    const std::string& path() const override { return path_; }
    void Stop() override;

private:
    struct State;
    void Run(std::shared_ptr<State> state, long long first, long long count);

    std::string path_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<FramePtr> ready_;
    bool finished_ = false, stopping_ = false;
    std::string error_;
};

struct Decoder::State {
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    int stream = -1;
    ~State() {
        avcodec_free_context(&codec);
        avformat_close_input(&format);
    }
};

bool Decoder::Start(const std::string& path, long long first, long long count, std::string* error) {
    Stop();
    KeepLibavWords();
    path_ = path;
    finished_ = stopping_ = false;
    error_.clear();
    auto state = std::make_shared<State>();
    // Only DV in AVI, which is all the module reads: no other demuxer or decoder is given a file
    // in this process.
    int status =
        avformat_open_input(&state->format, path.c_str(), av_find_input_format("avi"), nullptr);
    for (unsigned i = 0; status >= 0 && i < state->format->nb_streams; ++i)
        if (state->format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
            state->stream = static_cast<int>(i);
            break;
        }
    const AVCodec* decoder = nullptr;
    std::string why; // (in the user's terms: the path may be a remuxed copy's)
    if (status >= 0 && state->stream < 0)
        why = "it holds no video";
    else if (status >= 0 &&
             state->format->streams[state->stream]->codecpar->codec_id != AV_CODEC_ID_DVVIDEO)
        why = "its video is not DV";
    if (status >= 0 && why.empty()) {
        const AVCodecParameters* par = state->format->streams[state->stream]->codecpar;
        decoder = avcodec_find_decoder(par->codec_id);
        state->codec = decoder ? avcodec_alloc_context3(decoder) : nullptr;
        status = !state->codec ? AVERROR_DECODER_NOT_FOUND
                               : avcodec_parameters_to_context(state->codec, par);
    }
    if (status >= 0 && state->codec) {
        state->codec->pkt_timebase = state->format->streams[state->stream]->time_base;
        AVDictionary* options = nullptr;
        av_dict_set(&options, "threads", "auto", 0);
        status = avcodec_open2(state->codec, decoder, &options);
        av_dict_free(&options);
    }
    if (status < 0 || !why.empty()) {
        *error = status < 0 ? Words(status) : why;
        return false;
    }
    thread_ = std::thread(&Decoder::Run, this, state, first, count);
    return true;
}

void Decoder::Run(std::shared_ptr<State> state, long long first, long long count) {
    std::string failure;
    Graph graph;
    AVPacket* packet = av_packet_alloc();
    AVFrame* decoded = av_frame_alloc();
    long long index = 0;
    const long long end = count < 0 ? -1 : first + count;
    bool more = packet && decoded, input = true;
    if (!more)
        failure = "out of memory";
    // Hands one filtered frame on; false when no more are wanted.
    size_t ahead = 4;
    auto deliver = [&](FramePtr frame) {
        const long long n = index++;
        if (n < first)
            return true;
        ahead =
            std::max<size_t>(4, kAheadBytes / (size_t(frame->width) * frame->height * 3 / 2 + 1));
        if (av_frame_make_writable(frame.get()) < 0) {
            failure = "out of memory";
            return false;
        }
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return stopping_ || ready_.size() < ahead; });
        if (stopping_)
            return false;
        ready_.push_back(std::move(frame));
        changed_.notify_all();
        return end < 0 || index < end;
    };
    // Everything the filter has ready; false when no more are wanted or it failed.
    auto drainFilter = [&] {
        for (;;) {
            FramePtr out(av_frame_alloc());
            const int status = out ? av_buffersink_get_frame(graph.sink, out.get()) : -1;
            if (status == AVERROR(EAGAIN) || status == AVERROR_EOF)
                return status == AVERROR(EAGAIN);
            if (status < 0) {
                failure = "the picture's conversion failed: " + Words(status);
                return false;
            }
            if (!deliver(std::move(out)))
                return false;
        }
    };
    // Everything the decoder has ready, through the filter.
    auto drainDecoder = [&] {
        for (;;) {
            int status = avcodec_receive_frame(state->codec, decoded);
            // (A damaged frame the decoder could not take is left out, as ffmpeg leaves it.)
            if (status == AVERROR(EAGAIN) || (status < 0 && status != AVERROR_EOF))
                return true;
            if (status == AVERROR_EOF)
                return false;
            if (!graph.graph) {
                status =
                    graph.Make(kDvTo420, decoded->width, decoded->height, decoded->format,
                               state->codec->pkt_timebase, decoded->sample_aspect_ratio, {0, 0});
                if (status < 0) {
                    failure = "the picture's conversion failed: " + Words(status);
                    return false;
                }
            }
            status = av_buffersrc_add_frame(graph.source, decoded);
            av_frame_unref(decoded);
            if (status < 0 || !drainFilter()) {
                if (status < 0)
                    failure = "the picture's conversion failed: " + Words(status);
                return false;
            }
        }
    };
    while (more) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_)
                break;
        }
        if (input) {
            const int status = av_read_frame(state->format, packet);
            if (status < 0) {
                // The end; or a file that cannot be read on, which fails the input.
                if (status != AVERROR_EOF)
                    failure = Words(status);
                input = false;
                avcodec_send_packet(state->codec, nullptr);
            } else if (packet->stream_index == state->stream) {
                // A damaged frame the decoder cannot take is left out, as ffmpeg leaves it; a
                // decoder whose frames wait to be taken takes the packet after them.
                while (more && avcodec_send_packet(state->codec, packet) == AVERROR(EAGAIN))
                    more = drainDecoder();
            }
            av_packet_unref(packet);
            if (!failure.empty() || !more)
                break;
        }
        more = drainDecoder();
        if (!more && failure.empty() && graph.graph && !input) {
            // The decoder is done: what the filter holds.
            if (av_buffersrc_add_frame(graph.source, nullptr) >= 0)
                drainFilter();
        }
    }
    av_frame_free(&decoded);
    av_packet_free(&packet);
    std::lock_guard<std::mutex> lock(mutex_);
    finished_ = true;
    if (!stopping_)
        error_ = failure;
    changed_.notify_all();
}

FramePtr Decoder::Next() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return !ready_.empty() || finished_ || !thread_.joinable(); });
    if (ready_.empty())
        return nullptr;
    FramePtr frame = std::move(ready_.front());
    ready_.pop_front();
    changed_.notify_all();
    return frame;
}

std::string Decoder::error() {
    std::lock_guard<std::mutex> lock(mutex_);
    return error_;
}

void Decoder::Stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        changed_.notify_all();
    }
    if (thread_.joinable())
        thread_.join();
    ready_.clear();
}

// ---- encoding

class Encoder final : public FrameEncoder {
public:
    Encoder();
    ~Encoder() override;
    bool Open(int fd, int width, int height, int rateNum, int rateDen, const std::string& filter,
              const std::vector<std::string>& settings, std::string* error) override;
    bool Put(const AVFrame* frame, std::string* error) override;
    bool Finish(std::string* error) override;

private:
    bool Drain(bool ending, std::string* error);
    bool Write(bool ending, std::string* error);

    struct Contexts;
    std::unique_ptr<Contexts> c_;
    long long next_ = 0;
};

struct Encoder::Contexts {
    std::string name; // the encoder's
    AVDictionary* options = nullptr;
    Graph graph;
    AVCodecContext* codec = nullptr;
    AVFormatContext* out = nullptr;
    AVStream* stream = nullptr;
    AVFrame* filtered = nullptr;
    AVPacket* packet = nullptr;
    int fd = -1;
    ~Contexts() {
        av_dict_free(&options);
        avcodec_free_context(&codec);
        if (out) {
            if (out->pb)
                av_freep(&out->pb->buffer);
            avio_context_free(&out->pb);
            avformat_free_context(out);
        }
        av_frame_free(&filtered);
        av_packet_free(&packet);
    }
};

Encoder::Encoder() = default;
Encoder::~Encoder() = default;

int WriteToFd(void* opaque, uint8_t* data, int size) {
    const int fd = *static_cast<int*>(opaque);
    int done = 0;
    while (done < size) {
        const ssize_t n = write(fd, data + done, static_cast<size_t>(size - done));
        if (n > 0)
            done += static_cast<int>(n);
        else if (n < 0 && (errno != EINTR || (pendingSignal && pendingSignal())))
            return errno == EINTR ? AVERROR_EXIT : AVERROR(errno);
    }
    return done;
}

bool Encoder::Open(int fd, int width, int height, int rateNum, int rateDen,
                   const std::string& filter, const std::vector<std::string>& settings,
                   std::string* error) {
    KeepLibavWords();
    c_ = std::make_unique<Contexts>();
    c_->fd = fd;
    std::string graph = filter;
    for (size_t i = 0; i + 1 < settings.size(); i += 2) {
        const std::string key = settings[i].substr(1), value = settings[i + 1];
        if (key == "c:v")
            c_->name = value;
        else if (key == "pix_fmt")
            graph += ",format=" + value;
        else
            av_dict_set(&c_->options, key.c_str(), value.c_str(), 0);
    }
    av_dict_set(&c_->options, "threads", "auto", 0);
    const AVRational rate{rateNum, rateDen};
    int status =
        c_->graph.Make(graph, width, height, AV_PIX_FMT_YUV420P, av_inv_q(rate), {0, 1}, rate);
    c_->filtered = av_frame_alloc();
    c_->packet = av_packet_alloc();
    if (status >= 0 && (!c_->filtered || !c_->packet))
        status = AVERROR(ENOMEM);
    if (status >= 0)
        status = avformat_alloc_output_context2(&c_->out, nullptr, "nut", nullptr);
    if (status >= 0) {
        const int size = 1 << 16;
        auto* buffer = static_cast<unsigned char*>(av_malloc(size));
        c_->out->pb =
            buffer ? avio_alloc_context(buffer, size, 1, &c_->fd, nullptr, WriteToFd, nullptr)
                   : nullptr;
        if (!c_->out->pb) {
            av_free(buffer);
            status = AVERROR(ENOMEM);
        }
    }
    if (status < 0) {
        *error = "cannot set up the encoding: " + Words(status);
        return false;
    }
    return true;
}

bool Encoder::Put(const AVFrame* frame, std::string* error) {
    FramePtr copy(av_frame_clone(frame));
    if (!copy) {
        *error = "out of memory";
        return false;
    }
    copy->pts = next_++;
    copy->pkt_dts = AV_NOPTS_VALUE;
    const int status = av_buffersrc_add_frame(c_->graph.source, copy.get());
    if (status < 0) {
        *error = "the encoding failed: " + Words(status);
        return false;
    }
    return Drain(false, error);
}

bool Encoder::Finish(std::string* error) {
    const int status = av_buffersrc_add_frame(c_->graph.source, nullptr);
    if (status < 0) {
        *error = "the encoding failed: " + Words(status);
        return false;
    }
    if (!Drain(true, error))
        return false;
    if (!c_->codec) {
        *error = "no frame to encode";
        return false;
    }
    if (avcodec_send_frame(c_->codec, nullptr) < 0) {
        *error = "the encoding failed at its end";
        return false;
    }
    if (!Write(true, error))
        return false;
    const int written = av_write_trailer(c_->out);
    avio_flush(c_->out->pb);
    if (written < 0 || c_->out->pb->error < 0) {
        *error = "the encoded stream could not be written: " +
                 Words(written < 0 ? written : c_->out->pb->error);
        return false;
    }
    return true;
}

// Filtered frames into the encoder; the encoder opened at the first, which tells the field order
// (as ffmpeg opens its encoders).
bool Encoder::Drain(bool ending, std::string* error) {
    for (;;) {
        int status = av_buffersink_get_frame(c_->graph.sink, c_->filtered);
        if (status == AVERROR(EAGAIN) || status == AVERROR_EOF)
            return true;
        if (status >= 0 && !c_->codec) {
            const AVCodec* encoder = avcodec_find_encoder_by_name(c_->name.c_str());
            c_->codec = encoder ? avcodec_alloc_context3(encoder) : nullptr;
            if (!c_->codec) {
                *error = "the encoder " + c_->name + " is not available";
                return false;
            }
            AVCodecContext& e = *c_->codec;
            AVFilterContext* sink = c_->graph.sink;
            e.width = av_buffersink_get_w(sink);
            e.height = av_buffersink_get_h(sink);
            e.pix_fmt = static_cast<AVPixelFormat>(av_buffersink_get_format(sink));
            e.sample_aspect_ratio = av_buffersink_get_sample_aspect_ratio(sink);
            e.framerate = av_buffersink_get_frame_rate(sink);
            e.time_base = av_inv_q(e.framerate);
            // (As ffmpeg marks what it encodes: TB or BT for all but MJPEG.)
            e.field_order = !c_->filtered->interlaced_frame ? AV_FIELD_PROGRESSIVE
                            : c_->filtered->top_field_first ? AV_FIELD_TB
                                                            : AV_FIELD_BT;
            e.flags |= AV_CODEC_FLAG_GLOBAL_HEADER; // NUT carries the headers once
            status = avcodec_open2(&e, encoder, &c_->options);
            if (status >= 0 && av_dict_count(c_->options) > 0) {
                *error = std::string("the encoder does not know the option ") +
                         av_dict_get(c_->options, "", nullptr, AV_DICT_IGNORE_SUFFIX)->key;
                return false;
            }
            c_->stream = status >= 0 ? avformat_new_stream(c_->out, nullptr) : nullptr;
            if (status >= 0 && !c_->stream)
                status = AVERROR(ENOMEM);
            if (status >= 0) {
                status = avcodec_parameters_from_context(c_->stream->codecpar, &e);
                c_->stream->time_base = e.time_base;
                c_->stream->sample_aspect_ratio = e.sample_aspect_ratio;
                c_->stream->avg_frame_rate = e.framerate;
                // As ffmpeg tags what it encodes.
                av_dict_set(&c_->stream->metadata, "encoder",
                            (std::string(LIBAVCODEC_IDENT) + " " + encoder->name).c_str(), 0);
            }
            if (status >= 0)
                status = avformat_write_header(c_->out, nullptr);
        }
        if (status >= 0) {
            // (A deinterlacer counts in fields.)
            c_->filtered->pts =
                av_rescale_q(c_->filtered->pts, av_buffersink_get_time_base(c_->graph.sink),
                             c_->codec->time_base);
            c_->filtered->pict_type = AV_PICTURE_TYPE_NONE;
            status = avcodec_send_frame(c_->codec, c_->filtered);
        }
        av_frame_unref(c_->filtered);
        if (status < 0) {
            *error = "the encoding failed: " + Words(status);
            return false;
        }
        if (!Write(ending, error))
            return false;
    }
}

// The packets the encoder has ready, into the stream.
bool Encoder::Write(bool ending, std::string* error) {
    for (;;) {
        int status = avcodec_receive_packet(c_->codec, c_->packet);
        if (status == AVERROR(EAGAIN) || (ending && status == AVERROR_EOF))
            return true;
        if (status < 0) {
            *error = "the encoding failed: " + Words(status);
            return false;
        }
        c_->packet->stream_index = 0;
        av_packet_rescale_ts(c_->packet, c_->codec->time_base, c_->stream->time_base);
        status = av_write_frame(c_->out, c_->packet);
        av_packet_unref(c_->packet);
        if (status < 0 || c_->out->pb->error < 0) {
            *error = "the encoded stream could not be written: " +
                     Words(status < 0 ? status : c_->out->pb->error);
            return false;
        }
    }
}

} // namespace

} // namespace camtag::front

extern "C" __attribute__((visibility("default"))) const camtag::front::CodecLibrary*
camtag_codec(int interface, size_t tableSize, int (*pendingSignal)()) {
    using namespace camtag::front;
    if (interface != kCodecInterface || tableSize != sizeof(CodecLibrary))
        return nullptr;
    static const CodecLibrary library{
        [] { return static_cast<FrameDecoder*>(new Decoder); },
        [] { return static_cast<FrameEncoder*>(new Encoder); },
        [](AVFrame* frame) { av_frame_free(&frame); },
        PlanesOf,
        TakeWords,
    };
    camtag::front::pendingSignal = pendingSignal;
    return &library;
}

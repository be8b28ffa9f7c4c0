#include "platform/video_writer.h"

#include "platform/audio_mux.h"
#include "platform/output_io.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/hwcontext.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace korvane {

struct VideoWriter::State {
  AVFormatContext *output = nullptr;
  AVCodecContext *encoder = nullptr;
  AVStream *stream = nullptr;
  SwsContext *scaler = nullptr;
  AVFrame *picture = av_frame_alloc();
  AVFrame *drawn = av_frame_alloc(); // over the bytes of the frame handed in
  AVPacket *packet = av_packet_alloc();
  // VAAPI's pool of pictures in the graphics memory, and the one the
  // converted picture was last uploaded into; null for other encoders.
  AVBufferRef *hwframes = nullptr;
  AVFrame *uploaded = av_frame_alloc();
  std::unique_ptr<AudioMux> sound;
  VideoSettings settings;
  std::int64_t frames = 0;
  bool headerWritten = false;
  double converting = 0, encoding = 0; // seconds on the encoder's thread

  // Between the drawing thread and the encoder's.
  std::thread worker;
  std::mutex lock;
  std::condition_variable changed;
  std::deque<std::string> queue;
  bool closing = false, failed = false;
  std::string error;

  ~State() {
    if (output && !(output->oformat->flags & AVFMT_NOFILE))
      avio_closep(&output->pb);
    avformat_free_context(output);
    sws_freeContext(scaler);
    avcodec_free_context(&encoder);
    av_packet_free(&packet);
    av_frame_free(&picture);
    av_frame_free(&uploaded);
    av_buffer_unref(&hwframes);
    drawn->data[0] = nullptr;
    av_frame_free(&drawn);
  }
};

namespace {

// How many frames the drawing may run ahead of the encoder.
constexpr std::size_t queueDepth = 4;

// H.264 through x264 where the library has it, any H.264 or MPEG-4
// otherwise; FFV1 for lossless.
const AVCodec *videoCodec(bool lossless) {
  if (lossless)
    return avcodec_find_encoder(AV_CODEC_ID_FFV1);
  if (const AVCodec *x264 = avcodec_find_encoder_by_name("libx264"))
    return x264;
  if (const AVCodec *h264 = avcodec_find_encoder(AV_CODEC_ID_H264))
    return h264;
  return avcodec_find_encoder(AV_CODEC_ID_MPEG4);
}

// From the frames as drawn to the encoder's pictures, on slices in
// parallel: the same colour matrix and filter at the same size, an area
// filter down from a supersampled frame.
SwsContext *makeScaler(const VideoSettings &v, AVPixelFormat format) {
  const int w = v.drawnwidth > 0 ? v.drawnwidth : v.width;
  const int h = v.drawnheight > 0 ? v.drawnheight : v.height;
  const int flags = w != v.width || h != v.height ? SWS_AREA
                    : v.lossless                  ? SWS_POINT
                                                  : SWS_BILINEAR;
  SwsContext *scaler = sws_alloc_context();
  if (!scaler)
    return nullptr;
  av_opt_set_int(scaler, "srcw", w, 0);
  av_opt_set_int(scaler, "srch", h, 0);
  av_opt_set_int(scaler, "src_format", AV_PIX_FMT_BGRA, 0);
  av_opt_set_int(scaler, "dstw", v.width, 0);
  av_opt_set_int(scaler, "dsth", v.height, 0);
  av_opt_set_int(scaler, "dst_format", format, 0);
  av_opt_set_int(scaler, "sws_flags", flags, 0);
  av_opt_set_int(scaler, "threads", v.threads, 0);
  if (sws_init_context(scaler, nullptr, nullptr) < 0) {
    sws_freeContext(scaler);
    return nullptr;
  }
  return scaler;
}

// The encoder's context for `codec`, opened; null with `error` otherwise.
AVCodecContext *startEncoder(const AVCodec *codec, VideoWriter::State &s,
                             std::string &error) {
  const VideoSettings &v = s.settings;
  AVCodecContext *e = avcodec_alloc_context3(codec);
  e->width = v.width;
  e->height = v.height;
  e->time_base = {1, v.fps};
  e->framerate = {v.fps, 1};
  e->pix_fmt = v.lossless ? AV_PIX_FMT_0RGB32 : AV_PIX_FMT_YUV420P;
  if (s.hwframes) {
    e->pix_fmt = AV_PIX_FMT_VAAPI;
    e->hw_frames_ctx = av_buffer_ref(s.hwframes);
    e->global_quality = v.crf; // its constant quantiser
  }
  e->thread_count = v.threads;
  if (!v.lossless) {
    // Studio-range BT.601, as the scaler makes it from RGB.
    e->colorspace = AVCOL_SPC_SMPTE170M;
    e->color_range = AVCOL_RANGE_MPEG;
    if (std::string(codec->name) == "libx264")
      av_opt_set(e->priv_data, "preset", v.preset.c_str(), 0);
    // x264's constant quality, and NVENC's; each ignores the other's.
    av_opt_set(e->priv_data, "crf", std::to_string(v.crf).c_str(), 0);
    av_opt_set(e->priv_data, "cq", std::to_string(v.crf).c_str(), 0);
  }
  if (s.output->oformat->flags & AVFMT_GLOBALHEADER)
    e->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  const int code = avcodec_open2(e, codec, nullptr);
  if (code < 0) {
    error = std::string("the ") + codec->name + " encoder does not start (" +
            ffmpegError(code) + ")";
    avcodec_free_context(&e);
  }
  return e;
}

// VAAPI's encoder, which takes pictures in the graphics memory: NV12
// pictures uploaded into a pool made for it. Null with `why` where there
// is no such encoder or device.
AVCodecContext *vaapiEncoder(VideoWriter::State &s, std::string &why) {
  const AVCodec *codec = avcodec_find_encoder_by_name("h264_vaapi");
  if (!codec) {
    why = "this FFmpeg has no VAAPI encoder (h264_vaapi)";
    return nullptr;
  }
  AVBufferRef *device = nullptr;
  int code = av_hwdevice_ctx_create(&device, AV_HWDEVICE_TYPE_VAAPI, nullptr,
                                    nullptr, 0);
  if (code < 0) {
    why = "no VAAPI device (" + ffmpegError(code) + ")";
    return nullptr;
  }
  s.hwframes = av_hwframe_ctx_alloc(device);
  av_buffer_unref(&device); // the pool holds the device
  if (s.hwframes) {
    auto *pool = reinterpret_cast<AVHWFramesContext *>(s.hwframes->data);
    pool->format = AV_PIX_FMT_VAAPI;
    pool->sw_format = AV_PIX_FMT_NV12;
    pool->width = s.settings.width;
    pool->height = s.settings.height;
    pool->initial_pool_size = 16;
    code = av_hwframe_ctx_init(s.hwframes);
  }
  AVCodecContext *e = nullptr;
  if (!s.hwframes || code < 0)
    why = "VAAPI has no pictures of this size (" + ffmpegError(code) + ")";
  else
    e = startEncoder(codec, s, why);
  if (!e)
    av_buffer_unref(&s.hwframes);
  return e;
}

// The hardware encoder where FFmpeg has one that starts, NVENC before
// VAAPI; null, with why not in `problem`, otherwise.
AVCodecContext *hardwareEncoder(VideoWriter::State &s, std::string &problem) {
  std::string nvencWhy = "this FFmpeg has no h264_nvenc", vaapiWhy;
  if (const AVCodec *nvenc = avcodec_find_encoder_by_name("h264_nvenc"))
    if (AVCodecContext *e = startEncoder(nvenc, s, nvencWhy))
      return e;
  if (AVCodecContext *e = vaapiEncoder(s, vaapiWhy))
    return e;
  problem = "no working hardware encoder: " + nvencWhy + "; " + vaapiWhy;
  return nullptr;
}

bool openEncoder(VideoWriter::State &s, std::string &error,
                 std::string &hardwareProblem) {
  const VideoSettings &v = s.settings;
  const AVCodec *codec = videoCodec(v.lossless);
  if (!codec || avformat_query_codec(s.output->oformat, codec->id,
                                     FF_COMPLIANCE_NORMAL) != 1) {
    error = std::string("a .") + (v.lossless ? "mkv" : "mp4") +
            " file is needed: this container takes no " +
            (codec ? codec->name : "video encoder");
    return false;
  }
  if (!v.lossless && (v.width % 2 || v.height % 2)) {
    error = "the picture's width and height must be even (" +
            std::to_string(v.width) + "x" + std::to_string(v.height) +
            "); --size gives another";
    return false;
  }
  AVCodecContext *e = nullptr;
  if (v.hardware && !v.lossless)
    e = hardwareEncoder(s, hardwareProblem);
  if (!e && !(e = startEncoder(codec, s, error)))
    return false;
  s.encoder = e;
  s.stream = avformat_new_stream(s.output, nullptr);
  if (!s.stream || avcodec_parameters_from_context(s.stream->codecpar, e) < 0) {
    error = "the video stream cannot be made";
    return false;
  }
  s.stream->time_base = e->time_base;
  s.stream->avg_frame_rate = e->framerate;
  // VAAPI's pictures are converted here, then uploaded.
  const AVPixelFormat format = s.hwframes ? AV_PIX_FMT_NV12 : e->pix_fmt;
  s.picture->format = format;
  s.picture->width = v.width;
  s.picture->height = v.height;
  s.scaler = makeScaler(v, format);
  if (av_frame_get_buffer(s.picture, 0) < 0 || !s.scaler) {
    error = "out of memory for the picture";
    return false;
  }
  return true;
}

bool openFile(VideoWriter::State &s, std::string &error) {
  if (!(s.output->oformat->flags & AVFMT_NOFILE) &&
      !(s.output->pb = openPlainOutput(s.settings.path, error))) {
    error = "cannot be written (" + error + ")";
    return false;
  }
  int code = 0;
  AVDictionary *options = nullptr;
  // The index at the front, so that the video plays while it downloads.
  av_dict_set(&options, "movflags", "+faststart", 0);
  if (!s.settings.note.empty())
    av_dict_set(&s.output->metadata, "comment", s.settings.note.c_str(), 0);
  if (code >= 0)
    code = avformat_write_header(s.output, &options);
  av_dict_free(&options);
  if (code < 0) {
    error = "cannot be written (" + ffmpegError(code) + ")";
    return false;
  }
  s.headerWritten = true;
  return true;
}

bool writePacket(VideoWriter::State &s, AVPacket *packet) {
  return av_interleaved_write_frame(s.output, packet) >= 0;
}

bool drainVideo(VideoWriter::State &s) {
  while (avcodec_receive_packet(s.encoder, s.packet) == 0) {
    s.packet->stream_index = s.stream->index;
    av_packet_rescale_ts(s.packet, s.encoder->time_base, s.stream->time_base);
    if (!writePacket(s, s.packet))
      return false;
  }
  return true;
}

// The encoder's thread ends once it has encoded what is queued.
void stopWorker(VideoWriter::State &s) {
  if (!s.worker.joinable())
    return;
  {
    std::lock_guard<std::mutex> hold(s.lock);
    s.closing = true;
  }
  s.changed.notify_all();
  s.worker.join();
}

} // namespace

std::string shrinkPicture(const std::string &rgb, int fromWidth, int fromHeight,
                          int width, int height) {
  SwsContext *scaler =
      sws_getContext(fromWidth, fromHeight, AV_PIX_FMT_RGB24, width, height,
                     AV_PIX_FMT_RGB24, SWS_AREA, nullptr, nullptr, nullptr);
  std::string out(std::size_t(width) * height * 3, '\0');
  if (!scaler)
    return {};
  const std::uint8_t *from[1] = {
      reinterpret_cast<const std::uint8_t *>(rgb.data())};
  const int fromStride[1] = {fromWidth * 3};
  std::uint8_t *to[1] = {reinterpret_cast<std::uint8_t *>(out.data())};
  const int toStride[1] = {width * 3};
  sws_scale(scaler, from, fromStride, 0, fromHeight, to, toStride);
  sws_freeContext(scaler);
  return out;
}

std::unique_ptr<VideoWriter> VideoWriter::open(const VideoSettings &settings,
                                               std::string &error) {
  // What fails is said in our own words; the library's notes on the
  // music's stream (skipped samples and the like) would only mix in.
  av_log_set_level(AV_LOG_QUIET);
  std::unique_ptr<VideoWriter> writer(new VideoWriter);
  writer->state = std::make_unique<State>();
  State &s = *writer->state;
  s.settings = settings;
  if (settings.width <= 0 || settings.height <= 0 || settings.fps <= 0) {
    error = "no picture size or frame rate";
    return nullptr;
  }
  if (avformat_alloc_output_context2(&s.output, nullptr, nullptr,
                                     settings.path.c_str()) < 0) {
    error = "no video format has the ending of " + settings.path;
    return nullptr;
  }
  if (!openEncoder(s, error, writer->hardwareProblem))
    return nullptr;
  if (!settings.music.empty())
    s.sound = AudioMux::open(settings.music, s.output, settings.lossless,
                             settings.length, writer->soundProblem,
                             settings.musicbytes);
  if (!openFile(s, error))
    return nullptr;
  writer->state->worker = std::thread([w = writer.get()] { w->work(); });
  return writer;
}

VideoWriter::~VideoWriter() {
  if (state)
    stopWorker(*state);
}

bool VideoWriter::add(std::string bgra) {
  State &s = *state;
  std::unique_lock<std::mutex> hold(s.lock);
  s.changed.wait(hold,
                 [&s] { return s.failed || s.queue.size() < queueDepth; });
  if (s.failed)
    return false;
  s.queue.push_back(std::move(bgra));
  hold.unlock();
  s.changed.notify_all();
  return true;
}

void VideoWriter::work() {
  State &s = *state;
  for (;;) {
    std::string rgb;
    {
      std::unique_lock<std::mutex> hold(s.lock);
      s.changed.wait(hold, [&s] { return s.closing || !s.queue.empty(); });
      if (s.queue.empty())
        return;
      rgb = std::move(s.queue.front());
      s.queue.pop_front();
    }
    s.changed.notify_all();
    if (!encode(rgb)) {
      std::lock_guard<std::mutex> hold(s.lock);
      s.failed = true;
      s.queue.clear();
      s.changed.notify_all();
      return;
    }
  }
}

bool VideoWriter::encode(const std::string &bgra) {
  State &s = *state;
  const VideoSettings &v = s.settings;
  const int w = v.drawnwidth > 0 ? v.drawnwidth : v.width;
  const int h = v.drawnheight > 0 ? v.drawnheight : v.height;
  if (bgra.size() != std::size_t(w) * h * 4) {
    s.error = "a frame of another size";
    return false;
  }
  // GL's rows start at the bottom: the scaler reads them upwards.
  AVFrame *drawn = s.drawn;
  drawn->format = AV_PIX_FMT_BGRA;
  drawn->width = w;
  drawn->height = h;
  drawn->data[0] =
      reinterpret_cast<std::uint8_t *>(const_cast<char *>(bgra.data())) +
      std::size_t(h - 1) * w * 4;
  drawn->linesize[0] = -w * 4;
  using Clock = std::chrono::steady_clock;
  const auto began = Clock::now();
  int code = av_frame_make_writable(s.picture);
  if (code >= 0)
    code = sws_scale_frame(s.scaler, s.picture, drawn);
  AVFrame *sent = s.picture;
  if (code >= 0 && s.hwframes) {
    av_frame_unref(s.uploaded); // the encoder holds its own reference
    code = av_hwframe_get_buffer(s.hwframes, s.uploaded, 0);
    if (code >= 0)
      code = av_hwframe_transfer_data(s.uploaded, s.picture, 0);
    sent = s.uploaded;
  }
  const auto converted = Clock::now();
  if (code >= 0) {
    sent->pts = s.frames++;
    code = avcodec_send_frame(s.encoder, sent);
  }
  const bool drained = code >= 0 && drainVideo(s);
  const auto encoded = Clock::now();
  s.converting += std::chrono::duration<double>(converted - began).count();
  s.encoding += std::chrono::duration<double>(encoded - converted).count();
  if (!drained) {
    s.error = "the picture cannot be encoded (" + ffmpegError(code) + ")";
    return false;
  }
  // The sound as far as the picture has come, so that the two interleave.
  const AudioMux::Writer write = [&s](AVPacket *p) {
    return writePacket(s, p);
  };
  return !s.sound ||
         s.sound->encodeUntil(double(s.frames) / v.fps, write, s.error);
}

double VideoWriter::conversionSeconds() const { return state->converting; }
double VideoWriter::encodingSeconds() const { return state->encoding; }

bool VideoWriter::finish(std::string &error) {
  State &s = *state;
  stopWorker(s);
  const AudioMux::Writer write = [&s](AVPacket *p) {
    return writePacket(s, p);
  };
  bool ok = !s.failed;
  if (ok) {
    avcodec_send_frame(s.encoder, nullptr);
    ok = drainVideo(s);
    if (!ok)
      s.error = "the last pictures cannot be written";
  }
  if (ok && s.sound)
    ok = s.sound->finish(write, s.error);
  if (s.headerWritten && av_write_trailer(s.output) < 0 && ok) {
    s.error = "the file's end cannot be written";
    ok = false;
  }
  if (!ok)
    error = s.error;
  return ok;
}

} // namespace korvane

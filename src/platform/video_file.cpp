#include "platform/video_file.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include "platform/memory_input.h"

#include <cstring>
#include <memory>

namespace korvane {
namespace {

constexpr std::size_t scalerSlack = 64;

class FfmpegVideo final : public FrameSource {
public:
  ~FfmpegVideo() override {
    sws_freeContext(scaler);
    av_frame_free(&decoded);
    av_packet_free(&packet);
    avcodec_free_context(&codec);
    avformat_close_input(&format);
  }

  // `bytes`: the file read from an archive; null to open `name`.
  bool open(const std::string &name, std::string &step,
            std::unique_ptr<MemoryInput> bytes = nullptr) {
    step = "AVIFileOpen";
    memory = std::move(bytes);
    if (memory && !(format = memory->formatContext()))
      return false;
    // AVI files only: left to guess, the library would open any of the
    // hundreds of formats it knows from a file's first bytes, each a
    // decoder more for a damaged file to reach.
    if (avformat_open_input(&format, memory ? nullptr : name.c_str(),
                            av_find_input_format("avi"), nullptr) != 0)
      return false;
    if (avformat_find_stream_info(format, nullptr) < 0)
      return false;
    step = "AVIFileGetStream";
    index = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (index < 0)
      return false;
    AVStream *stream = format->streams[index];
    step = "AVIStreamReadFormat";
    // A damaged header may claim any size; the frame buffer is sized from
    // it, so sizes beyond any texture are refused here.
    if (!stream->codecpar || stream->codecpar->width <= 0 ||
        stream->codecpar->height <= 0 || stream->codecpar->width > 16384 ||
        stream->codecpar->height > 16384 ||
        std::int64_t(stream->codecpar->width) * stream->codecpar->height >
            (std::int64_t(1) << 26))
      return false;
    step = "AVIStreamInfo";
    // The stream's clock ticks once a frame: its rate over its scale.
    if (stream->time_base.num <= 0 || stream->time_base.den <= 0)
      return false;
    rate = static_cast<std::uint32_t>(stream->time_base.den);
    scale = static_cast<std::uint32_t>(stream->time_base.num);
    length = static_cast<std::int32_t>(stream->nb_frames);
    start = stream->start_time != AV_NOPTS_VALUE && stream->start_time > 0
                ? static_cast<std::int32_t>(stream->start_time)
                : 0;
    step = "AVIStreamGetFrameOpen";
    const AVCodec *decoder = avcodec_find_decoder(stream->codecpar->codec_id);
    codec = decoder ? avcodec_alloc_context3(decoder) : nullptr;
    if (!codec || avcodec_parameters_to_context(codec, stream->codecpar) < 0 ||
        avcodec_open2(codec, decoder, nullptr) < 0)
      return false;
    decoded = av_frame_alloc();
    packet = av_packet_alloc();
    if (!decoded || !packet)
      return false;
    width = stream->codecpar->width;
    height = stream->codecpar->height;
    // The scaler writes whole vector registers, up to a few bytes past the
    // end of a row; the last row written ends the picture, so it has room.
    picture.assign(std::size_t(width) * height * 3 + scalerSlack, 0);
    delivered = {width, height, std::size_t(width) * 3, picture.data()};
    return true;
  }

  const VideoFrame *frame(std::int32_t n) override {
    if (n < start)
      n = start;
    // Forward from the last frame decoded, or from the key frame before n.
    if (n <= last || n > last + 32) {
      if (av_seek_frame(format, index, n, AVSEEK_FLAG_BACKWARD) < 0)
        return nullptr;
      avcodec_flush_buffers(codec);
      last = -1000000;
    }
    while (last < n) {
      if (!nextFrame())
        return nullptr;
    }
    return last == n ? &delivered : nullptr;
  }

private:
  // Decodes the next frame into `picture`; false at the end or on error.
  bool nextFrame() {
    for (;;) {
      const int got = avcodec_receive_frame(codec, decoded);
      if (got == 0) {
        const std::int64_t pts = decoded->best_effort_timestamp;
        last =
            pts == AV_NOPTS_VALUE ? last + 1 : static_cast<std::int32_t>(pts);
        convert();
        av_frame_unref(decoded);
        return true;
      }
      if (got != AVERROR(EAGAIN))
        return false;
      // Feed the decoder the stream's next packet (or the end).
      for (;;) {
        const int read = av_read_frame(format, packet);
        if (read < 0) {
          avcodec_send_packet(codec, nullptr);
          break;
        }
        if (packet->stream_index == index) {
          avcodec_send_packet(codec, packet);
          av_packet_unref(packet);
          break;
        }
        av_packet_unref(packet);
      }
    }
  }

  void convert() {
    scaler = sws_getCachedContext(scaler, decoded->width, decoded->height,
                                  static_cast<AVPixelFormat>(decoded->format),
                                  width, height, AV_PIX_FMT_BGR24, SWS_POINT,
                                  nullptr, nullptr, nullptr);
    if (!scaler)
      return;
    // Bottom row first: start at the last row and step backwards.
    std::uint8_t *bottom = picture.data() + std::size_t(height - 1) * width * 3;
    std::uint8_t *planes[4] = {bottom, nullptr, nullptr, nullptr};
    int strides[4] = {-width * 3, 0, 0, 0};
    sws_scale(scaler, decoded->data, decoded->linesize, 0, decoded->height,
              planes, strides);
  }

  AVFormatContext *format = nullptr;
  AVCodecContext *codec = nullptr;
  AVFrame *decoded = nullptr;
  AVPacket *packet = nullptr;
  SwsContext *scaler = nullptr;
  int index = -1;
  std::unique_ptr<MemoryInput> memory; // outlives `format`
  int width = 0, height = 0;
  std::int32_t last = -1000000;
  std::vector<std::uint8_t> picture;
  VideoFrame delivered;
};

} // namespace

std::unique_ptr<FrameSource> openVideoFile(const std::string &name,
                                           std::string &step) {
  av_log_set_level(AV_LOG_QUIET);
  auto video = std::make_unique<FfmpegVideo>();
  if (!video->open(name, step))
    return nullptr;
  return video;
}

std::unique_ptr<FrameSource> openVideoBytes(std::string bytes,
                                            std::string &step) {
  av_log_set_level(AV_LOG_QUIET);
  auto video = std::make_unique<FfmpegVideo>();
  if (!video->open("", step, std::make_unique<MemoryInput>(std::move(bytes))))
    return nullptr;
  return video;
}

} // namespace korvane

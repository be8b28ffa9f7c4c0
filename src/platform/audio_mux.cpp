#include "platform/audio_mux.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include "platform/memory_input.h"

#include <algorithm>
#include <memory>

namespace korvane {

struct AudioMux::State {
  std::unique_ptr<MemoryInput> memory; // the music read from an archive
  AVFormatContext *input = nullptr;
  AVCodecContext *decoder = nullptr;
  AVCodecContext *encoder = nullptr;
  SwrContext *resampler = nullptr;
  AVAudioFifo *fifo = nullptr;
  AVPacket *packet = av_packet_alloc();
  AVPacket *encoded = av_packet_alloc();
  AVFrame *decoded = av_frame_alloc();
  AVStream *stream = nullptr; // in the output
  int audio = -1;             // the music's stream in the input
  int framesize = 1024;
  std::int64_t written = 0; // samples handed to the encoder
  std::int64_t limit = 0;   // samples up to the cut
  bool ended = false;       // the music is decoded to its end

  ~State() {
    av_audio_fifo_free(fifo);
    swr_free(&resampler);
    avcodec_free_context(&encoder);
    avcodec_free_context(&decoder);
    avformat_close_input(&input);
    av_frame_free(&decoded);
    av_packet_free(&encoded);
    av_packet_free(&packet);
  }
};

std::string ffmpegError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

namespace {

// The decoder for the music's best audio stream, opened; -1 for none.
int openDecoder(const std::string &music, MemoryInput *memory,
                AVFormatContext *&input, AVCodecContext *&decoder,
                std::string &error) {
  if (memory && !(input = memory->formatContext())) {
    error = music + " cannot be read (no memory)";
    return -1;
  }
  int code = avformat_open_input(&input, memory ? nullptr : music.c_str(),
                                 nullptr, nullptr);
  if (code == 0)
    code = avformat_find_stream_info(input, nullptr);
  if (code < 0) {
    error = music + " cannot be read (" + ffmpegError(code) + ")";
    return -1;
  }
  const AVCodec *codec = nullptr;
  const int audio =
      av_find_best_stream(input, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
  if (audio < 0 || !codec) {
    error = music + " holds no sound that can be decoded";
    return -1;
  }
  decoder = avcodec_alloc_context3(codec);
  code =
      avcodec_parameters_to_context(decoder, input->streams[audio]->codecpar);
  if (code >= 0)
    code = avcodec_open2(decoder, codec, nullptr);
  if (code < 0) {
    error = music + " cannot be decoded (" + ffmpegError(code) + ")";
    return -1;
  }
  if (decoder->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
    av_channel_layout_default(&decoder->ch_layout,
                              decoder->ch_layout.nb_channels);
  return audio;
}

// A rate the encoder takes: the music's own, or the nearest it lists.
int encoderRate(const AVCodec *codec, int wanted) {
  if (!codec->supported_samplerates)
    return wanted;
  int best = codec->supported_samplerates[0];
  for (const int *rate = codec->supported_samplerates; *rate; ++rate)
    if (std::abs(*rate - wanted) < std::abs(best - wanted))
      best = *rate;
  return best;
}

} // namespace

std::unique_ptr<AudioMux>
AudioMux::open(const std::string &music, AVFormatContext *output, bool lossless,
               std::uint32_t cutMs, std::string &error, std::string bytes) {
  std::unique_ptr<AudioMux> track(new AudioMux);
  track->state = std::make_unique<State>();
  State &s = *track->state;
  if (!bytes.empty())
    s.memory = std::make_unique<MemoryInput>(std::move(bytes));
  s.audio = openDecoder(music, s.memory.get(), s.input, s.decoder, error);
  if (s.audio < 0)
    return nullptr;
  const AVCodecID id = lossless ? AV_CODEC_ID_FLAC : AV_CODEC_ID_AAC;
  const AVCodec *codec = avcodec_find_encoder(id);
  if (!codec ||
      avformat_query_codec(output->oformat, id, FF_COMPLIANCE_NORMAL) != 1) {
    error = std::string("the video's container takes no ") +
            (lossless ? "FLAC" : "AAC") + " sound";
    return nullptr;
  }
  s.encoder = avcodec_alloc_context3(codec);
  s.encoder->sample_rate = encoderRate(codec, s.decoder->sample_rate);
  av_channel_layout_default(&s.encoder->ch_layout, 2);
  s.encoder->sample_fmt =
      codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
  s.encoder->bit_rate = lossless ? 0 : 192000;
  s.encoder->time_base = {1, s.encoder->sample_rate};
  if (output->oformat->flags & AVFMT_GLOBALHEADER)
    s.encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  // At 192 kbit/s FFmpeg's "fast" AAC coder sounds no worse than its
  // default one and needs a third of the processor time; the default one
  // took a seventh of a whole capture's.
  if (!lossless)
    av_opt_set(s.encoder->priv_data, "aac_coder", "fast", 0);
  int code = avcodec_open2(s.encoder, codec, nullptr);
  if (code >= 0)
    code = swr_alloc_set_opts2(&s.resampler, &s.encoder->ch_layout,
                               s.encoder->sample_fmt, s.encoder->sample_rate,
                               &s.decoder->ch_layout, s.decoder->sample_fmt,
                               s.decoder->sample_rate, 0, nullptr);
  if (code >= 0)
    code = swr_init(s.resampler);
  s.stream = code >= 0 ? avformat_new_stream(output, nullptr) : nullptr;
  if (s.stream)
    code = avcodec_parameters_from_context(s.stream->codecpar, s.encoder);
  if (code < 0 || !s.stream) {
    error = "the sound cannot be encoded (" + ffmpegError(code) + ")";
    return nullptr;
  }
  s.stream->time_base = s.encoder->time_base;
  if (s.encoder->frame_size > 0)
    s.framesize = s.encoder->frame_size;
  s.fifo = av_audio_fifo_alloc(s.encoder->sample_fmt, 2, s.framesize * 4);
  s.limit = std::int64_t(cutMs) * s.encoder->sample_rate / 1000;
  return track;
}

AudioMux::~AudioMux() = default;

bool AudioMux::decodeMore(bool &ended, std::string &error) {
  State &s = *state;
  int code = av_read_frame(s.input, s.packet);
  const bool atEnd = code == AVERROR_EOF;
  if (code < 0 && !atEnd) {
    error = "the music cannot be read on (" + ffmpegError(code) + ")";
    return false;
  }
  if (!atEnd && s.packet->stream_index != s.audio) {
    av_packet_unref(s.packet);
    return true;
  }
  // A damaged packet is skipped, as a player would.
  avcodec_send_packet(s.decoder, atEnd ? nullptr : s.packet);
  av_packet_unref(s.packet);
  while ((code = avcodec_receive_frame(s.decoder, s.decoded)) == 0) {
    const int room = swr_get_out_samples(s.resampler, s.decoded->nb_samples);
    if (room > 0 &&
        av_audio_fifo_realloc(s.fifo, av_audio_fifo_size(s.fifo) + room) < 0) {
      error = "out of memory for the sound";
      return false;
    }
    AVFrame *scratch = av_frame_alloc();
    scratch->nb_samples = std::max(room, 1);
    scratch->format = s.encoder->sample_fmt;
    av_channel_layout_copy(&scratch->ch_layout, &s.encoder->ch_layout);
    const int got = av_frame_get_buffer(scratch, 0) == 0
                        ? swr_convert(s.resampler, scratch->data, room,
                                      const_cast<const std::uint8_t **>(
                                          s.decoded->extended_data),
                                      s.decoded->nb_samples)
                        : -1;
    if (got > 0)
      av_audio_fifo_write(s.fifo, reinterpret_cast<void **>(scratch->data),
                          got);
    av_frame_free(&scratch);
    av_frame_unref(s.decoded);
  }
  ended = atEnd;
  return true;
}

bool AudioMux::encodeFrame(bool last, const Writer &write, std::string &error) {
  State &s = *state;
  const std::int64_t left = s.limit - s.written;
  const int samples = static_cast<int>(std::min<std::int64_t>(
      {std::int64_t(s.framesize), left, av_audio_fifo_size(s.fifo)}));
  if (samples <= 0 || (!last && samples < s.framesize))
    return true;
  AVFrame *frame = av_frame_alloc();
  frame->nb_samples = samples;
  frame->format = s.encoder->sample_fmt;
  frame->sample_rate = s.encoder->sample_rate;
  av_channel_layout_copy(&frame->ch_layout, &s.encoder->ch_layout);
  int code = av_frame_get_buffer(frame, 0);
  if (code == 0) {
    av_audio_fifo_read(s.fifo, reinterpret_cast<void **>(frame->data), samples);
    frame->pts = s.written;
    s.written += samples;
    code = avcodec_send_frame(s.encoder, frame);
  }
  av_frame_free(&frame);
  if (code < 0) {
    error = "the sound cannot be encoded (" + ffmpegError(code) + ")";
    return false;
  }
  return drain(write, error);
}

bool AudioMux::drain(const Writer &write, std::string &error) {
  State &s = *state;
  while (avcodec_receive_packet(s.encoder, s.encoded) == 0) {
    s.encoded->stream_index = s.stream->index;
    av_packet_rescale_ts(s.encoded, s.encoder->time_base, s.stream->time_base);
    if (!write(s.encoded)) {
      error = "the sound cannot be written";
      return false;
    }
  }
  return true;
}

bool AudioMux::encodeUntil(double seconds, const Writer &write,
                           std::string &error) {
  State &s = *state;
  const std::int64_t target = std::min(
      s.limit, static_cast<std::int64_t>(seconds * s.encoder->sample_rate));
  while (s.written + s.framesize <= target) {
    while (!s.ended && av_audio_fifo_size(s.fifo) < s.framesize)
      if (!decodeMore(s.ended, error))
        return false;
    if (av_audio_fifo_size(s.fifo) < s.framesize)
      return true; // the music is shorter than the show
    if (!encodeFrame(false, write, error))
      return false;
  }
  return true;
}

bool AudioMux::finish(const Writer &write, std::string &error) {
  State &s = *state;
  if (!encodeUntil(static_cast<double>(s.limit) / s.encoder->sample_rate, write,
                   error))
    return false;
  // The last frame may be short: the sound ends where the show does.
  while (!s.ended && av_audio_fifo_size(s.fifo) < s.limit - s.written)
    if (!decodeMore(s.ended, error))
      return false;
  if (!encodeFrame(true, write, error))
    return false;
  avcodec_send_frame(s.encoder, nullptr);
  return drain(write, error);
}

} // namespace korvane

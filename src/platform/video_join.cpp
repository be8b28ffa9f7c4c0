#include "platform/video_join.h"

#include "platform/output_io.h"
#include "platform/sound_track.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <memory>

namespace korvane {
namespace {

struct Inputs {
  AVFormatContext *output = nullptr;
  AVFormatContext *input = nullptr;
  AVPacket *packet = av_packet_alloc();
  ~Inputs() {
    avformat_close_input(&input);
    if (output && !(output->oformat->flags & AVFMT_NOFILE))
      avio_closep(&output->pb);
    avformat_free_context(output);
    av_packet_free(&packet);
  }
};

// The part's one video stream, or -1.
int openPart(const std::string &part, AVFormatContext *&input) {
  avformat_close_input(&input);
  if (avformat_open_input(&input, part.c_str(), nullptr, nullptr) < 0 ||
      avformat_find_stream_info(input, nullptr) < 0)
    return -1;
  return av_find_best_stream(input, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
}

// The part's packets after those before it: `frames` moves on by the
// part's frames.
bool copyPart(Inputs &io, int from, AVStream *to, std::int64_t &frames, int fps,
              SoundTrack *sound, std::string &error) {
  const AVRational tick = {1, fps};
  const AVRational base = io.input->streams[from]->time_base;
  const std::int64_t offset = av_rescale_q(frames, tick, to->time_base);
  std::int64_t last = -1;
  const SoundTrack::Writer write = [&io](AVPacket *p) {
    return av_interleaved_write_frame(io.output, p) >= 0;
  };
  while (av_read_frame(io.input, io.packet) >= 0) {
    if (io.packet->stream_index != from) {
      av_packet_unref(io.packet);
      continue;
    }
    av_packet_rescale_ts(io.packet, base, to->time_base);
    if (io.packet->pts != AV_NOPTS_VALUE) {
      last = std::max(last, av_rescale_q(io.packet->pts, to->time_base, tick));
      io.packet->pts += offset;
    }
    if (io.packet->dts != AV_NOPTS_VALUE)
      io.packet->dts += offset;
    io.packet->stream_index = to->index;
    io.packet->pos = -1;
    if (av_interleaved_write_frame(io.output, io.packet) < 0) {
      error = "the joined video cannot be written";
      return false;
    }
    if (sound &&
        !sound->encodeUntil(double(frames + last + 1) / fps, write, error))
      return false;
  }
  frames += last + 1;
  return true;
}

} // namespace

bool joinVideos(const std::vector<std::string> &parts,
                const VideoSettings &settings, std::string &error,
                std::string &soundProblem) {
  av_log_set_level(AV_LOG_QUIET);
  Inputs io;
  if (parts.empty() || settings.fps <= 0) {
    error = "nothing to join";
    return false;
  }
  int from = openPart(parts[0], io.input);
  if (from < 0) {
    error = parts[0] + " holds no video";
    return false;
  }
  if (avformat_alloc_output_context2(&io.output, nullptr, nullptr,
                                     settings.path.c_str()) < 0) {
    error = "no video format has the ending of " + settings.path;
    return false;
  }
  AVStream *video = avformat_new_stream(io.output, nullptr);
  if (!video || avcodec_parameters_copy(
                    video->codecpar, io.input->streams[from]->codecpar) < 0) {
    error = "the parts' video cannot be copied";
    return false;
  }
  video->codecpar->codec_tag = 0;
  video->time_base = {1, settings.fps};
  video->avg_frame_rate = {settings.fps, 1};
  std::unique_ptr<SoundTrack> sound;
  if (!settings.music.empty())
    sound =
        SoundTrack::open(settings.music, io.output, settings.lossless,
                         settings.length, soundProblem, settings.musicbytes);
  AVDictionary *options = nullptr;
  av_dict_set(&options, "movflags", "+faststart", 0);
  int code = 0;
  std::string why;
  if (!(io.output->oformat->flags & AVFMT_NOFILE) &&
      !(io.output->pb = openPlainOutput(settings.path, why)))
    code = -1;
  if (code >= 0)
    code = avformat_write_header(io.output, &options);
  av_dict_free(&options);
  if (code < 0) {
    error = settings.path + " cannot be written" +
            (why.empty() ? "" : " (" + why + ")");
    return false;
  }
  std::int64_t frames = 0;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i > 0 && (from = openPart(parts[i], io.input)) < 0) {
      error = parts[i] + " holds no video";
      return false;
    }
    if (!copyPart(io, from, video, frames, settings.fps, sound.get(), error))
      return false;
  }
  const SoundTrack::Writer write = [&io](AVPacket *p) {
    return av_interleaved_write_frame(io.output, p) >= 0;
  };
  if (sound && !sound->finish(write, error))
    return false;
  if (av_write_trailer(io.output) < 0) {
    error = "the joined video's end cannot be written";
    return false;
  }
  return true;
}

} // namespace korvane

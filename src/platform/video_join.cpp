#include "platform/video_join.h"

#include "platform/audio_mux.h"
#include "platform/output_io.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
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

// What a join checks of a part before it writes anything.
struct PartFacts {
  std::string path;
  SegmentSpan span;
  AVCodecID codec = AV_CODEC_ID_NONE;
  int width = 0, height = 0, format = -1;
  std::int64_t frames = 0; // the video's packets
  bool timed = false;      // each frame of the span once, by its timestamp
};

std::string frameRange(std::int64_t first, std::int64_t end) {
  return "frames " + std::to_string(first) + " to " + std::to_string(end - 1);
}

std::string named(const PartFacts &part) {
  const SegmentSpan &s = part.span;
  return part.path + " (segment " + std::to_string(s.k) + "/" +
         std::to_string(s.n) + ", " + frameRange(s.first, s.end) + ")";
}

// The part's span as it says, and whether its frames' timestamps are
// those of the span, each once.
bool examine(PartFacts &part, std::string &error) {
  AVFormatContext *input = nullptr;
  const int from = openPart(part.path, input);
  const std::unique_ptr<AVFormatContext *, void (*)(AVFormatContext **)> hold(
      &input, avformat_close_input);
  if (from < 0) {
    error = part.path + " holds no video";
    return false;
  }
  const AVDictionaryEntry *note =
      av_dict_get(input->metadata, "comment", nullptr, 0);
  if (!note || !readSegmentNote(note->value, part.span)) {
    error = part.path + " is not a segment written by korvane-render "
                        "--segment: it does not say which frames of the "
                        "show it holds";
    return false;
  }
  const AVStream *stream = input->streams[from];
  part.codec = stream->codecpar->codec_id;
  part.width = stream->codecpar->width;
  part.height = stream->codecpar->height;
  part.format = stream->codecpar->format;
  std::vector<std::int64_t> times;
  AVPacket *packet = av_packet_alloc();
  while (packet && av_read_frame(input, packet) >= 0) {
    if (packet->stream_index == from)
      times.push_back(packet->pts == AV_NOPTS_VALUE
                          ? -1
                          : av_rescale_q(packet->pts, stream->time_base,
                                         {1, part.span.fps}));
    av_packet_unref(packet);
  }
  av_packet_free(&packet);
  std::sort(times.begin(), times.end());
  part.frames = static_cast<std::int64_t>(times.size());
  part.timed = part.frames == part.span.end - part.span.first;
  for (std::size_t i = 0; part.timed && i < times.size(); ++i)
    part.timed = times[i] == static_cast<std::int64_t>(i);
  return true;
}

// What keeps the parts from making the show's `total` frames at `fps`,
// one after another: empty when they fit.
std::string misfit(const std::vector<PartFacts> &parts, int fps,
                   std::int64_t total) {
  const PartFacts &lead = parts[0];
  std::int64_t next = 0;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const PartFacts &p = parts[i];
    const SegmentSpan &s = p.span;
    if (s.fps != fps)
      return p.path + " has " + std::to_string(s.fps) +
             " frames a second, the join " + std::to_string(fps) +
             " (--fps gives another)";
    if (s.total != total)
      return p.path + " is a segment of a show of " + std::to_string(s.total) +
             " frames; this show has " + std::to_string(total);
    if (p.codec != lead.codec)
      return p.path + " is " + avcodec_get_name(p.codec) + ", " + lead.path +
             " " + avcodec_get_name(lead.codec);
    if (p.width != lead.width || p.height != lead.height)
      return p.path + " is " + std::to_string(p.width) + "x" +
             std::to_string(p.height) + ", " + lead.path + " " +
             std::to_string(lead.width) + "x" + std::to_string(lead.height);
    if (p.format != lead.format) {
      const char *a = av_get_pix_fmt_name(AVPixelFormat(p.format));
      const char *b = av_get_pix_fmt_name(AVPixelFormat(lead.format));
      return p.path + " has the pixels " + (a ? a : "?") + ", " + lead.path +
             " " + (b ? b : "?");
    }
    if (!p.timed)
      return named(p) + " holds " + std::to_string(p.frames) +
             " frames, not each of its span once: it is cut short or "
             "altered";
    for (std::size_t j = 0; j < i && s.end > s.first; ++j)
      if (parts[j].span.first == s.first && parts[j].span.end == s.end)
        return named(p) + " is given twice: " + parts[j].path +
               " holds the same frames";
    if (s.first > next)
      return frameRange(next, s.first) + " are missing " +
             (i ? "between " + parts[i - 1].path + " and " : "before ") +
             p.path;
    if (s.first < next)
      return named(p) + " overlaps " + named(parts[i - 1]);
    next = s.end;
  }
  if (next < total)
    return frameRange(next, total) + " of the show's " + std::to_string(total) +
           " are missing after " + parts.back().path;
  return "";
}

// The part's packets after those before it: `frames` moves on by the
// part's frames.
bool copyPart(Inputs &io, int from, AVStream *to, std::int64_t &frames, int fps,
              AudioMux *sound, std::string &error) {
  const AVRational tick = {1, fps};
  const AVRational base = io.input->streams[from]->time_base;
  const std::int64_t offset = av_rescale_q(frames, tick, to->time_base);
  std::int64_t last = -1;
  const AudioMux::Writer write = [&io](AVPacket *p) {
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

// The parts, checked already, into the file; `opened` once the file is
// there.
bool writeJoined(const std::vector<std::string> &parts,
                 const VideoSettings &settings, std::string &error,
                 std::string &soundProblem, bool &opened) {
  Inputs io;
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
  std::unique_ptr<AudioMux> sound;
  if (!settings.music.empty())
    sound = AudioMux::open(settings.music, io.output, settings.lossless,
                           settings.length, soundProblem, settings.musicbytes);
  AVDictionary *options = nullptr;
  av_dict_set(&options, "movflags", "+faststart", 0);
  int code = 0;
  std::string why;
  if (!(io.output->oformat->flags & AVFMT_NOFILE) &&
      !(io.output->pb = openPlainOutput(settings.path, why)))
    code = -1;
  opened = code >= 0;
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
  const AudioMux::Writer write = [&io](AVPacket *p) {
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

} // namespace

std::int64_t framesOf(std::uint32_t length, int fps) {
  return (std::int64_t(length) * fps + 999) / 1000;
}

std::string segmentNote(const SegmentSpan &s) {
  char text[160];
  std::snprintf(text, sizeof text,
                "korvane-render segment %d/%d: frames [%" PRId64 ", %" PRId64
                ") of %" PRId64 " at %d a second",
                s.k, s.n, s.first, s.end, s.total, s.fps);
  return text;
}

bool readSegmentNote(const std::string &text, SegmentSpan &s) {
  char end = 0;
  return std::sscanf(text.c_str(),
                     "korvane-render segment %d/%d: frames [%" SCNd64
                     ", %" SCNd64 ") of %" SCNd64 " at %d a second%c",
                     &s.k, &s.n, &s.first, &s.end, &s.total, &s.fps,
                     &end) == 6 &&
         1 <= s.k && s.k <= s.n && s.fps >= 1 && s.fps <= 1000 &&
         0 <= s.first && s.first <= s.end && s.end <= s.total;
}

bool joinVideos(const std::vector<std::string> &parts,
                const VideoSettings &settings, std::string &error,
                std::string &soundProblem) {
  av_log_set_level(AV_LOG_QUIET);
  if (parts.empty() || settings.fps <= 0) {
    error = "nothing to join";
    return false;
  }
  // Nothing is written until every part is known to fit: a join that
  // fails leaves no broken video behind.
  std::vector<PartFacts> facts(parts.size());
  for (std::size_t i = 0; i < parts.size(); ++i) {
    std::error_code failure;
    if (std::filesystem::equivalent(parts[i], settings.path, failure)) {
      error = parts[i] + " is a part and the joined video at once";
      return false;
    }
    facts[i].path = parts[i];
    if (!examine(facts[i], error))
      return false;
  }
  error = misfit(facts, settings.fps, framesOf(settings.length, settings.fps));
  if (!error.empty())
    return false;
  bool opened = false;
  if (writeJoined(parts, settings, error, soundProblem, opened))
    return true;
  if (opened)
    std::remove(settings.path.c_str());
  return false;
}

} // namespace korvane

// korvane-render --video: one frame per 1/N s of show time, frame k the
// picture --at k*1000/N draws (exactly when lossless), the music cut to the
// show's length, and clear refusals.

#include "platform/video_writer.h"
#include "render_support.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>

namespace fs = std::filesystem;
using namespace korvane::test;

namespace {

// What a media file holds: its pictures as RGB rows, and its sound.
struct Decoded {
  std::vector<std::string> frames;
  std::string videoCodec, audioCodec;
  double soundSeconds = 0; // decoded samples over the rate
};

void takePicture(AVCodecContext *codec, AVFrame *frame, Decoded &out) {
  SwsContext *scaler = sws_getContext(
      frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
      frame->width, frame->height, AV_PIX_FMT_RGB24, SWS_POINT, nullptr,
      nullptr, nullptr);
  // The encoder's colour matrix, so that the way back matches the way in.
  const int *matrix = sws_getCoefficients(SWS_CS_ITU601);
  sws_setColorspaceDetails(scaler, matrix,
                           codec->color_range == AVCOL_RANGE_JPEG, matrix, 1, 0,
                           1 << 16, 1 << 16);
  std::string rgb(std::size_t(frame->width) * frame->height * 3, '\0');
  std::uint8_t *rows[1] = {reinterpret_cast<std::uint8_t *>(rgb.data())};
  const int stride[1] = {frame->width * 3};
  sws_scale(scaler, frame->data, frame->linesize, 0, frame->height, rows,
            stride);
  sws_freeContext(scaler);
  out.frames.push_back(std::move(rgb));
}

// Every stream decoded to its end.
Decoded decode(const fs::path &file) {
  Decoded out;
  AVFormatContext *format = nullptr;
  if (avformat_open_input(&format, file.c_str(), nullptr, nullptr) != 0 ||
      avformat_find_stream_info(format, nullptr) < 0) {
    ADD_FAILURE() << "cannot open " << file;
    return out;
  }
  std::vector<AVCodecContext *> codecs(format->nb_streams, nullptr);
  for (unsigned i = 0; i < format->nb_streams; ++i) {
    const AVCodecParameters *p = format->streams[i]->codecpar;
    const AVCodec *codec = avcodec_find_decoder(p->codec_id);
    codecs[i] = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(codecs[i], p);
    avcodec_open2(codecs[i], codec, nullptr);
    (p->codec_type == AVMEDIA_TYPE_VIDEO ? out.videoCodec : out.audioCodec) =
        codec->name;
  }
  AVPacket *packet = av_packet_alloc();
  AVFrame *frame = av_frame_alloc();
  auto drain = [&](AVCodecContext *codec) {
    while (avcodec_receive_frame(codec, frame) == 0) {
      if (codec->codec_type == AVMEDIA_TYPE_VIDEO)
        takePicture(codec, frame, out);
      else
        out.soundSeconds += double(frame->nb_samples) / frame->sample_rate;
      av_frame_unref(frame);
    }
  };
  while (av_read_frame(format, packet) == 0) {
    AVCodecContext *codec = codecs[packet->stream_index];
    avcodec_send_packet(codec, packet);
    av_packet_unref(packet);
    drain(codec);
  }
  for (AVCodecContext *codec : codecs) {
    avcodec_send_packet(codec, nullptr);
    drain(codec);
    avcodec_free_context(&codec);
  }
  av_frame_free(&frame);
  av_packet_free(&packet);
  avformat_close_input(&format);
  return out;
}

double meanDifference(const std::string &a, const std::string &b) {
  if (a.size() != b.size() || a.empty())
    return 1e9;
  double sum = 0;
  for (std::size_t i = 0; i < a.size(); ++i)
    sum += std::abs(int(static_cast<unsigned char>(a[i])) -
                    int(static_cast<unsigned char>(b[i])));
  return sum / double(a.size());
}

// A 600 ms show with motion in every frame (a keyed picture, a blob, the
// show time written), its music enabled.
struct VideoShow {
  TempFolder temp;
  fs::path folder = temp.path / "show";

  VideoShow() {
    const fs::path source = fs::path(KORVANE_SOURCE_DIR) / "show";
    fs::create_directories(folder / "Data");
    fs::copy_file(source / "mirl .mp3", folder / "mirl .mp3");
    fs::copy_file(source / "Data" / "checker.png",
                  folder / "Data" / "checker.png");
    std::ofstream(folder / "Data" / "mirl .script")
        << "<demo> resolution 160 120 music ENABLE showtime ENABLE\n"
           "<part> length 300 backgroundcolor 0 0 90\n"
           "<layer> type PICTURE filename checker.png position 0 0 4 size 2 2 "
           "<timeline> 0 position -1 0 4 300 position 1 0 4 </timeline> "
           "</layer> </part>\n"
           "<part> length 300 backgroundcolor 40 0 0\n"
           "<layer> type BLOB position 0 0 3 scale 1 1 1 blobsnum 2 <blobs> "
           "mul 0.3 0.2 0.1 type SPHERE mul 0.2 0.3 0.2 type CUBE </blobs> "
           "</layer> </part>\n";
  }
  // The tool's exit status; what it said to standard error in `said`.
  int render(const std::string &arguments, std::string *said = nullptr) {
    const fs::path err = temp.path / "stderr.txt";
    const std::string command = std::string("'") + KORVANE_RENDER + "' '" +
                                folder.string() + "' " + arguments +
                                " >/dev/null 2>'" + err.string() + "'";
    const int status = std::system(command.c_str());
    if (said) {
      std::ifstream in(err);
      said->assign(std::istreambuf_iterator<char>(in), {});
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::vector<std::string> stills(int fps, int count) {
    std::string times;
    for (int k = 0; k < count; ++k)
      times += (k ? "," : "") + std::to_string(k * 1000 / fps);
    EXPECT_EQ(
        render("--out '" + (temp.path / "at").string() + "' --at " + times), 0);
    std::vector<std::string> out;
    for (int k = 0; k < count; ++k) {
      const Decoded still = decode(
          temp.path / "at" / ("at_" + std::to_string(k * 1000 / fps) + ".png"));
      out.push_back(still.frames.empty() ? "" : still.frames[0]);
    }
    return out;
  }
};

} // namespace

TEST(RenderVideo, LosslessFramesAreTheStillsAndTheMusicEndsWithTheShow) {
  VideoShow show;
  const fs::path video = show.temp.path / "out.mkv";
  ASSERT_EQ(show.render("--video '" + video.string() + "' --lossless --fps 25"),
            0);
  const Decoded got = decode(video);
  EXPECT_EQ(got.videoCodec, "ffv1");
  EXPECT_EQ(got.audioCodec, "flac");
  // 600 ms at 25 a second: frames at 0, 40, ..., 560.
  ASSERT_EQ(got.frames.size(), 15u);
  const std::vector<std::string> stills = show.stills(25, 15);
  for (std::size_t k = 0; k < stills.size(); ++k)
    EXPECT_TRUE(got.frames[k] == stills[k]) << "frame " << k;
  // Frames differ from one another: the motion is really there.
  EXPECT_NE(got.frames[3], got.frames[4]);
  EXPECT_NEAR(got.soundSeconds, 0.6, 0.001);
}

// Segments drawn apart and joined are the one run's frames, the music
// muxed once over the whole.
TEST(RenderVideo, JoinedSegmentsAreTheWholeRunsFrames) {
  VideoShow show;
  const fs::path whole = show.temp.path / "whole.mkv";
  ASSERT_EQ(show.render("--video '" + whole.string() + "' --lossless --fps 25"),
            0);
  std::string parts;
  for (int k = 1; k <= 3; ++k) {
    const fs::path part =
        show.temp.path / ("part" + std::to_string(k) + ".mkv");
    ASSERT_EQ(show.render("--video '" + part.string() +
                          "' --lossless --fps 25 --segment " +
                          std::to_string(k) + "/3"),
              0);
    EXPECT_EQ(decode(part).audioCodec, "");
    parts += (k > 1 ? "," : "") + part.string();
  }
  const fs::path joined = show.temp.path / "joined.mkv";
  ASSERT_EQ(show.render("--video '" + joined.string() +
                        "' --lossless --fps 25 --join '" + parts + "'"),
            0);
  const Decoded a = decode(whole), b = decode(joined);
  ASSERT_EQ(b.frames.size(), 15u);
  EXPECT_TRUE(a.frames == b.frames);
  EXPECT_EQ(b.audioCodec, "flac");
  EXPECT_NEAR(b.soundSeconds, 0.6, 0.001);
  EXPECT_EQ(show.render("--video x.mp4 --segment 4/3"), 2);

  // Parts that do not make the show's frames once, alike, are refused,
  // naming the part and what does not fit, and nothing is written.
  const fs::path &t = show.temp.path;
  ASSERT_EQ(show.render("--video '" + (t / "small2.mkv").string() +
                        "' --lossless --fps 25 --size 80x60 --segment 2/3"),
            0);
  ASSERT_EQ(show.render("--video '" + (t / "h264_2.mp4").string() +
                        "' --fps 25 --segment 2/3"),
            0);
  const std::string p1 = (t / "part1.mkv").string(),
                    p2 = (t / "part2.mkv").string(),
                    p3 = (t / "part3.mkv").string();
  const struct {
    std::string parts, more, said;
  } misfits[] = {
      {p1 + "," + t.string() + "/small2.mkv," + p3, "",
       "small2.mkv is 80x60, " + p1 + " 160x120"},
      {p1 + "," + t.string() + "/h264_2.mp4," + p3, "",
       "h264_2.mp4 is h264, " + p1 + " ffv1"},
      {p1 + "," + p2 + "," + p2 + "," + p3, "",
       p2 + " (segment 2/3, frames 5 to 9) is given twice: " + p2},
      {p1 + "," + p3, "", "frames 5 to 9 are missing between " + p1},
      {p1 + "," + p2, "", "frames 10 to 14 of the show's 15 are missing"},
      {p2 + "," + p3, "", "frames 0 to 4 are missing before " + p2},
      {whole.string(), "", "is not a segment written by korvane-render"},
      {p1 + "," + p2 + "," + p3, " --fps 30",
       p1 + " has 25 frames a second, the join 30"},
  };
  for (const auto &m : misfits) {
    std::string said;
    const fs::path out = t / "refused.mkv";
    EXPECT_EQ(show.render("--video '" + out.string() + "' --lossless" +
                              (m.more.empty() ? " --fps 25" : m.more) +
                              " --join '" + m.parts + "'",
                          &said),
              1)
        << m.parts;
    EXPECT_NE(said.find(m.said), std::string::npos) << said;
    EXPECT_FALSE(fs::exists(out)) << m.parts;
  }
  // Nor is a part written over by the join.
  EXPECT_EQ(show.render("--video '" + p1 + "' --lossless --fps 25 --join '" +
                        parts + "'"),
            1);
  EXPECT_EQ(decode(p1).frames.size(), 5u);
}

// Supersampled: the video's frames and the stills are the pictures drawn at
// twice the size, filtered down with the area filter.
TEST(RenderVideo, SupersampledPicturesAreTheLargerOnesFilteredDown) {
  VideoShow show;
  const fs::path video = show.temp.path / "smooth.mkv";
  ASSERT_EQ(show.render("--video '" + video.string() +
                        "' --lossless --fps 25 --supersample 2"),
            0);
  const Decoded got = decode(video);
  ASSERT_EQ(got.frames.size(), 15u);
  const fs::path big = show.temp.path / "big", small = show.temp.path / "small";
  ASSERT_EQ(
      show.render("--out '" + big.string() + "' --at 120,400 --size 320x240"),
      0);
  ASSERT_EQ(show.render("--out '" + small.string() +
                        "' --at 120,400 --supersample 2"),
            0);
  auto largest = [](const std::string &a, const std::string &b) {
    int most = a.size() == b.size() ? 0 : 999;
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i)
      most = std::max(most, std::abs(int(static_cast<unsigned char>(a[i])) -
                                     int(static_cast<unsigned char>(b[i]))));
    return most;
  };
  for (const auto &[ms, frame] : {std::pair{120, 3}, std::pair{400, 10}}) {
    const std::string name = "at_" + std::to_string(ms) + ".png";
    const std::string filtered = korvane::shrinkPicture(
        decode(big / name).frames.at(0), 320, 240, 160, 120);
    EXPECT_EQ(largest(decode(small / name).frames.at(0), filtered), 0) << ms;
    EXPECT_LE(largest(got.frames[frame], filtered), 1) << ms;
  }
}

TEST(RenderVideo, H264FramesAreTheStillsUpToTheEncodersLoss) {
  VideoShow show;
  const fs::path video = show.temp.path / "out.mp4";
  ASSERT_EQ(show.render("--video '" + video.string() + "' --fps 20 --crf 8"),
            0);
  const Decoded got = decode(video);
  EXPECT_EQ(got.videoCodec, "h264");
  EXPECT_EQ(got.audioCodec, "aac");
  ASSERT_EQ(got.frames.size(), 12u);
  const std::vector<std::string> stills = show.stills(20, 12);
  for (std::size_t k = 0; k < stills.size(); ++k) {
    EXPECT_LT(meanDifference(got.frames[k], stills[k]), 3.0) << "frame " << k;
    // Each frame is nearer its own still than the next one's.
    if (k + 1 < stills.size() && stills[k] != stills[k + 1]) {
      EXPECT_LT(meanDifference(got.frames[k], stills[k]),
                meanDifference(got.frames[k], stills[k + 1]))
          << "frame " << k;
    }
  }
  // AAC's frames are 1024 samples: the sound ends within one of them.
  EXPECT_NEAR(got.soundSeconds, 0.6, 1024.0 / 44100 + 0.001);
}

TEST(RenderVideo, RefusalsSayWhy) {
  VideoShow show;
  const std::string out = "'" + (show.temp.path / "v.mp4").string() + "'";
  std::string said;
  EXPECT_EQ(show.render("--video " + out + " --lossless", &said), 1);
  EXPECT_NE(said.find("a .mkv file is needed"), std::string::npos) << said;
  EXPECT_EQ(show.render("--video " + out + " --size 81x61", &said), 1);
  EXPECT_NE(said.find("must be even (81x61)"), std::string::npos) << said;
  EXPECT_EQ(show.render("--video /nonexistent/folder/v.mp4", &said), 1);
  EXPECT_NE(said.find("cannot write the video /nonexistent/folder/v.mp4"),
            std::string::npos)
      << said;
  EXPECT_FALSE(fs::exists(show.temp.path / "v.mp4"));
  EXPECT_EQ(show.render("--video " + out + " --out x"), 2);
  EXPECT_EQ(show.render("--video " + out + " --crf 52"), 2);
  EXPECT_EQ(show.render("--out x --lossless"), 2);
  for (const char *wrong :
       {" --preset quick", " --supersample 5", " --threads -1",
        " --segment 0/2", " --join a.mp4 --segment 1/2"})
    EXPECT_EQ(show.render("--video " + out + wrong), 2) << wrong;

  // Music disabled, or no music file: a silent video, no complaint.
  fs::remove(show.folder / "mirl .mp3");
  EXPECT_EQ(show.render("--video " + out + " --fps 10", &said), 0);
  EXPECT_EQ(said.find("Music"), std::string::npos) << said;
  const Decoded silent = decode(show.temp.path / "v.mp4");
  EXPECT_EQ(silent.audioCodec, "");
  EXPECT_EQ(silent.frames.size(), 6u);
  // A hardware encoder asked for: used where one works; where none does,
  // said, and x264 encodes.
  EXPECT_EQ(show.render("--video " + out + " --fps 10 --hwenc", &said), 0);
  EXPECT_EQ(decode(show.temp.path / "v.mp4").videoCodec, "h264");
  if (said.find("no-hardware-encoder") != std::string::npos) {
    EXPECT_NE(said.find("; x264 encodes the video"), std::string::npos);
    // Both were tried, and each says why it did not start.
    EXPECT_NE(said.find("h264_nvenc"), std::string::npos);
    EXPECT_NE(said.find("VAAPI"), std::string::npos);
  }
}

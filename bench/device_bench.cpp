// The device facade against direct GL for the same scene, and the frame
// rate of an empty part, on the headless software renderer.
// KORVANE_RENDERER=gles runs them on the GLES backend (direct GL is then
// left out).

#include "base/clocks.h"
#include "device/device_setup.h"
#include "device/gl/gl_backend.h"
#include "device/gles/gles_backend.h"
#include "layers/blob/blob_layer.h"
#include "layers/layer_kinds.h"
#include "layers/mesh/mesh_layer.h"
#include "platform/window.h"
#include "playback/compose.h"
#include "script/parser.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

namespace {

using namespace korvane;

constexpr int draws = 300;
constexpr int width = 640, height = 480;

struct Vertex {
  float x, y, z;
  std::uint32_t color;
};

bool gles() {
  const char *name = std::getenv("KORVANE_RENDERER");
  return name && std::strcmp(name, "gles") == 0;
}

std::unique_ptr<Window> &window() {
  static std::unique_ptr<Window> shared = [] {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
    std::string error;
    auto made =
        Window::create("bench", width, height, false, true, error, gles());
    if (!made)
      std::fprintf(stderr, "no GL: %s\n", error.c_str());
    return made;
  }();
  return shared;
}

// The backend benchmarked; glFinish goes to whichever context is current.
std::unique_ptr<DeviceBackend> backend(std::function<void()> swap) {
  if (gles())
    return std::make_unique<GlesBackend>(width, height, std::move(swap),
                                         standardLogger());
  return std::make_unique<GlBackend>(width, height, std::move(swap),
                                     standardLogger());
}

// A device on the shared window whose present shows the frame and waits
// for the drawing to finish, so that frames are timed whole.
void presentingDevice(GraphicsDevice &graphics, Arcball &arcball) {
  Window *shown = window().get();
  const Logger quiet;
  setupDevice(graphics, backend([shown] {
                shown->swap();
                glFinish();
              }),
              arcball, width, height, quiet);
}

// Small quads spread over the screen, alternately blended, two colours.
std::vector<Vertex> sceneVertices() {
  std::vector<Vertex> out;
  for (int i = 0; i < draws; ++i) {
    const float x = -2.0f + 4.0f * static_cast<float>(i % 20) / 20.0f;
    const float y = -1.5f + 3.0f * static_cast<float>(i / 20) / 15.0f;
    const std::uint32_t c = i % 2 ? 0x80FF8000u : 0xFF2040FFu;
    const float s = 0.08f;
    out.push_back({x, y + s, 0, c});
    out.push_back({x + s, y + s, 0, c});
    out.push_back({x, y, 0, c});
    out.push_back({x + s, y, 0, c});
  }
  return out;
}

void facade(benchmark::State &state) {
  if (!window()) {
    state.SkipWithError("no GL");
    return;
  }
  GraphicsDevice graphics;
  Arcball arcball;
  const Logger quiet;
  setupDevice(graphics, backend([] { glFinish(); }), arcball, width, height,
              quiet);
  Device &device = *graphics.device;
  const std::vector<Vertex> vertices = sceneVertices();
  auto buffer = device.createVertexBuffer(
      static_cast<std::uint32_t>(vertices.size() * sizeof(Vertex)), 0, 0x42,
      D3DPOOL_DEFAULT);
  std::memcpy(buffer->lock(0), vertices.data(),
              vertices.size() * sizeof(Vertex));
  for (auto _ : state) {
    device.clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f, 0);
    setDefaultTransforms(device);
    device.setTransform(D3DTS_VIEW, matrixTranslation(0, 0, 5));
    device.setStreamSource(buffer.get(), sizeof(Vertex));
    device.setVertexShader(0x42);
    for (int i = 0; i < draws; ++i) {
      // What a renderer does per layer: its states, whether changed or not.
      device.setRenderState(D3DRS_LIGHTING, 0);
      device.setRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
      device.setRenderState(D3DRS_ALPHABLENDENABLE, i % 2);
      device.setRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
      device.setRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
      device.setTexture(0, nullptr);
      device.drawPrimitive(D3DPT_TRIANGLESTRIP, std::uint32_t(i) * 4, 2);
    }
    device.present();
  }
  teardownDevice(graphics);
}

void directGl(benchmark::State &state) {
  if (!window() || gles()) {
    state.SkipWithError(gles() ? "fixed-function GL only" : "no GL");
    return;
  }
  const std::vector<Vertex> vertices = sceneVertices();
  std::vector<float> colors(vertices.size() * 4);
  const Matrix projection = showProjection();
  for (auto _ : state) {
    glClearColor(0, 0, 0, 1);
    glClearDepth(1.0);
    glDepthMask(GL_TRUE);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    Matrix fix = matrixIdentity();
    fix.m[2][2] = 2.0f;
    fix.m[3][2] = -1.0f;
    const Matrix gl = matrixMultiply(projection, fix);
    glLoadMatrixf(&gl.m[0][0]);
    glMatrixMode(GL_MODELVIEW);
    const Matrix view = matrixTranslation(0, 0, 5);
    glLoadMatrixf(&view.m[0][0]);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glDisable(GL_LIGHTING);
    glDisable(GL_CULL_FACE);
    glDisable(GL_TEXTURE_2D);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    for (int i = 0; i < draws; ++i) {
      (i % 2 ? glEnable : glDisable)(GL_BLEND);
      const Vertex *quad = &vertices[std::size_t(i) * 4];
      for (int v = 0; v < 4; ++v) {
        const std::uint32_t c = quad[v].color;
        float *out = &colors[(std::size_t(i) * 4 + v) * 4];
        out[0] = float((c >> 16) & 0xFF) / 255.0f;
        out[1] = float((c >> 8) & 0xFF) / 255.0f;
        out[2] = float(c & 0xFF) / 255.0f;
        out[3] = float(c >> 24) / 255.0f;
      }
      glVertexPointer(3, GL_FLOAT, sizeof(Vertex), quad);
      glColorPointer(4, GL_FLOAT, 0, &colors[std::size_t(i) * 16]);
      glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    }
    glFinish();
  }
}

// A show read from a script onto a presenting device, with its layers
// loaded and the frame composition ready to draw it on a virtual clock.
struct ScriptedShow {
  GraphicsDevice graphics;
  Arcball arcball;
  VirtualClock clock;
  const Logger quiet; // what the layers report is not what is measured
  LayerKinds kinds;
  std::unique_ptr<LoadedShow> show = std::make_unique<LoadedShow>();
  FrameTimer timer{clock};
  std::unique_ptr<FrameTools> tools;

  explicit ScriptedShow(const std::string &script) {
    presentingDevice(graphics, arcball);
    registerLayerKinds(kinds, *graphics.device, KORVANE_SHOW_DIR "/Data");
    ParseOptions options;
    options.load = [this](const Layer &layer, LayerPlace place,
                          const Logger &logger) {
      show->layers[place.part][place.layer] = kinds.load(layer, logger);
    };
    parseScriptText(show->show, script, true, quiet, options);
    tools = std::make_unique<FrameTools>(
        FrameTools{*graphics.device, graphics.font.get(), timer});
  }
  ~ScriptedShow() {
    show.reset();
    teardownDevice(graphics);
  }
  void render(std::uint32_t ms) {
    clock.set(ms);
    renderFrame(*show, *tools, {.showTime = ms});
  }
  LoadedLayer *layer(int index) { return show->layer(0, index); }
};

// Frames of an empty part through the whole frame composition.
void emptyPart(benchmark::State &state) {
  if (!window()) {
    state.SkipWithError("no GL");
    return;
  }
  ScriptedShow run("<demo> <part> length 1000000000 </part>");
  std::uint32_t ms = 0;
  for (auto _ : state)
    run.render(ms++);
  state.counters["fps"] = benchmark::Counter(double(state.iterations()),
                                             benchmark::Counter::kIsRate);
}

// Three blob layers of four spheres each, and the polygoniser alone.
void blobFrame(benchmark::State &state) {
  if (!window()) {
    state.SkipWithError("no GL");
    return;
  }
  const bool drawing = state.range(0) != 0;
  std::string script = "<demo> <part> length 100000000";
  for (int l = 0; l < 3; ++l) {
    script += " <layer> type BLOB scale 1 1 1 position " +
              std::to_string(l - 1) + " 0 4 blobsnum 4 <blobs>";
    for (int b = 0; b < 4; ++b)
      script += " mul 0." + std::to_string(2 + b) + " 0." +
                std::to_string(4 - b) + " 0.2 type SPHERE";
    script += " </blobs> </layer>";
  }
  script += " </part>";
  ScriptedShow run(script);
  std::vector<BlobVertex> out(blobVertexCapacity);
  std::uint32_t ms = 0;
  for (auto _ : state) {
    ms += 16;
    if (drawing) {
      run.render(ms);
    } else {
      run.clock.set(ms);
      for (int l = 0; l < 3; ++l)
        static_cast<BlobLayer *>(run.layer(l))
            ->field->polygonise(out.data(), run.clock);
    }
  }
}

// The bundled show's knot: 3200 faces, one textured material. Its texture
// is named from the show's Data folder, which the mesh benchmarks enter.
const char *testModel = "knot.x";

struct InShowData {
  InShowData() : before(std::filesystem::current_path()) {
    std::filesystem::current_path(KORVANE_SHOW_DIR "/Data");
  }
  ~InShowData() { std::filesystem::current_path(before); }
  std::filesystem::path before;
};

// Loading a mesh layer from the file, optimisation included.
void meshLoad(benchmark::State &state) {
  InShowData data;
  Device device(nullptr);
  const Logger quiet;
  for (auto _ : state) {
    Layer layer;
    layer.type = LAYER_XFILE;
    std::snprintf(layer.filename, sizeof layer.filename, "%s", testModel);
    if (loadMeshLayer(layer, {device, quiet})->materialnumber == 0) {
      state.SkipWithError("no test model");
      return;
    }
  }
}

// Frames of one mesh layer at 640x480.
void meshFrame(benchmark::State &state) {
  if (!window()) {
    state.SkipWithError("no GL");
    return;
  }
  InShowData data;
  ScriptedShow run(std::string("<demo> <part> length 100000000 <layer> type "
                               "XFILE filename ") +
                   testModel +
                   " position 0 0 20 scale 1 1 1 rotation 0 1 0 </layer> "
                   "</part>");
  auto *mesh = static_cast<MeshLayer *>(run.layer(0));
  if (!mesh || mesh->materialnumber == 0) {
    state.SkipWithError("no test model");
    return;
  }
  std::uint32_t ms = 0;
  for (auto _ : state)
    run.render(ms += 16);
  state.counters["faces"] = mesh->mesh.faceCount();
}

BENCHMARK(meshLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(meshFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(blobFrame)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);
BENCHMARK(facade)->Unit(benchmark::kMicrosecond);
BENCHMARK(directGl)->Unit(benchmark::kMicrosecond);
BENCHMARK(emptyPart)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();

#include "layers/layer_kinds.h"

#include "layers/blob/blob_layer.h"
#include "layers/mesh/mesh_layer.h"
#include "layers/picture/picture_layer.h"
#include "script/parser.h"

namespace korvane {

void registerLayerKinds(LayerKinds &kinds, Device &device, TickSource &ticks,
                        const std::string &folder,
                        std::shared_ptr<const ShowFiles> files) {
  // The script names its files inside `folder`.
  files = filesIn(files ? files : sharedDiskFiles(), folder);
  // The tables look at no result.
  LayerKind &mesh = kinds.byType[LAYER_XFILE];
  mesh.load = [&device, files](Layer &layer, const Logger &logger) {
    loadMeshLayer(layer, {device, logger, *files});
  };
  mesh.draw = [&device](Layer &layer, std::uint32_t t, int pass) {
    // A shadow block without its switch on draws nothing.
    if (pass == 0 || layer.shadows[pass - 1].shadowenabled)
      renderMeshLayer(layer, t, pass, device);
  };
  mesh.shadowPasses = [](const Layer &layer) {
    return static_cast<int>(shadowsOf(layer).size());
  };

  // KTR files are only written to the log, never drawn.
  kinds.byType[LAYER_KTRFILE].load = [&device, files](Layer &layer,
                                                      const Logger &logger) {
    dumpKtrFile(layer, {device, logger, *files});
  };

  for (int type : {LAYER_PICTURE, LAYER_AVIPICTURE}) {
    LayerKind &picture = kinds.byType[type];
    picture.load = [&device, files](Layer &layer, const Logger &logger) {
      loadPictureLayer(layer, {device, logger, *files});
    };
    picture.draw = [&device](Layer &layer, std::uint32_t t, int) {
      renderPictureLayer(layer, t, device);
    };
  }

  LayerKind &blob = kinds.byType[LAYER_BLOB];
  blob.load = [&device, files](Layer &layer, const Logger &logger) {
    loadBlobLayer(layer, {device, logger, *files});
  };
  blob.draw = [&device, &ticks](Layer &layer, std::uint32_t t, int) {
    renderBlobLayer(layer, t, device, ticks);
  };
}

bool settingsPass(Show &show, const std::string &script, const Logger &logger,
                  bool quiet, const ShowFiles *files) {
  ParseOptions settings;
  settings.quiet = quiet;
  settings.files = files;
  return parseSettings(show, script.c_str(), logger, settings);
}

bool fullPass(Show &show, const std::string &script, const LayerKinds &kinds,
              const Logger &logger, const std::string &name,
              const ShowFiles *files) {
  ParseOptions full;
  full.files = files;
  full.load = [&kinds](Layer &layer, const Logger &log) {
    kinds.load(layer, log);
  };
  full.name = name;
  return parseScript(show, script.c_str(), true, logger, full);
}

} // namespace korvane

#include "layers/layer_kinds.h"

#include "layers/blob/blob_layer.h"
#include "layers/mesh/mesh_layer.h"
#include "layers/picture/picture_layer.h"
#include "script/parser.h"

namespace korvane {

void registerLayerKinds(LayerKinds &kinds, Device &device,
                        const std::string &folder,
                        std::shared_ptr<const ShowFiles> files) {
  // The script names its files inside `folder`.
  files = filesIn(files ? files : sharedDiskFiles(), folder);
  kinds.byType[LAYER_XFILE].load = [&device, files](const Layer &layer,
                                                    const Logger &logger) {
    return loadMeshLayer(layer, {device, logger, *files});
  };
  // KTR files are only written to the log, never drawn.
  kinds.byType[LAYER_KTRFILE].load = [&device, files](const Layer &layer,
                                                      const Logger &logger) {
    dumpKtrFile(layer, {device, logger, *files});
    return std::unique_ptr<LoadedLayer>();
  };
  for (int type : {LAYER_PICTURE, LAYER_AVIPICTURE})
    kinds.byType[type].load = [&device, files](const Layer &layer,
                                               const Logger &logger) {
      return loadPictureLayer(layer, {device, logger, *files});
    };
  kinds.byType[LAYER_BLOB].load = [&device, files](const Layer &layer,
                                                   const Logger &logger) {
    return loadBlobLayer(layer, {device, logger, *files});
  };
}

bool settingsPass(Show &show, const std::string &script, const Logger &logger,
                  bool quiet, const ShowFiles *files) {
  ParseOptions settings;
  settings.quiet = quiet;
  settings.files = files;
  return parseSettings(show, script.c_str(), logger, settings);
}

bool fullPass(LoadedShow &loaded, const std::string &script,
              const LayerKinds &kinds, const Logger &logger,
              const std::string &name, const ShowFiles *files) {
  ParseOptions full;
  full.files = files;
  full.load = [&kinds, &loaded](const Layer &layer, LayerPlace place,
                                const Logger &log) {
    loaded.layers[place.part][place.layer] = kinds.load(layer, log);
  };
  full.name = name;
  return parseScript(loaded.show, script.c_str(), true, logger, full);
}

} // namespace korvane

#include "device/screen_backend.h"

#include <cstdlib>
#include <cstring>

namespace korvane {

bool stateCheckWanted() {
  if (const char *value = std::getenv("KORVANE_GL_CHECK"))
    return std::strcmp(value, "0") != 0 && *value != '\0';
#ifdef NDEBUG
  return false;
#else
  return true;
#endif
}

std::function<void(const std::string &)> stateCheckFailed(Logger logger,
                                                          Problem problem) {
  return [logger = std::move(logger), problem](const std::string &difference) {
    logger.report(problem, "", 0, {difference});
    std::abort();
  };
}

bool softwareRenderer(const std::string &name) {
  return name.find("llvmpipe") != std::string::npos ||
         name.find("softpipe") != std::string::npos ||
         name.find("Software") != std::string::npos;
}

} // namespace korvane

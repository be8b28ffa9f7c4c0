#include "device/device_state.h"

#include <type_traits>

namespace korvane {
namespace {

// Element `n` of a field: the field itself when it is no array, else the
// n-th of its cells counted row by row (const or not, as the field).
template <typename T> T &element(T &field, std::size_t) { return field; }
template <typename T, std::size_t N>
std::remove_all_extents_t<T> &element(T (&field)[N], std::size_t n) {
  constexpr std::size_t cells =
      sizeof(T) / sizeof(std::remove_all_extents_t<T>);
  return element(field[n / cells], n % cells);
}

} // namespace

std::uint32_t StateSelection::groups() const {
  std::uint32_t out = 0;
  std::size_t first = 0;
#define KORVANE_STATE_GROUPS(type, name, extents, group, ...)                  \
  for (std::size_t n = 0; n < sizeof(DeviceState::name) / sizeof(type); ++n)   \
    if (held[first + n])                                                       \
      out |= (group);                                                          \
  first += sizeof(DeviceState::name) / sizeof(type);
  KORVANE_STATE_FIELDS(KORVANE_STATE_GROUPS)
#undef KORVANE_STATE_GROUPS
  return out;
}

void StateSelection::copy(const DeviceState &from, DeviceState &to) const {
  std::size_t first = 0;
#define KORVANE_STATE_COPY(type, name, extents, group, ...)                    \
  for (std::size_t n = 0; n < sizeof(DeviceState::name) / sizeof(type); ++n)   \
    if (held[first + n])                                                       \
      element(to.name, n) = element(from.name, n);                             \
  first += sizeof(DeviceState::name) / sizeof(type);
  KORVANE_STATE_FIELDS(KORVANE_STATE_COPY)
#undef KORVANE_STATE_COPY
}

std::uint32_t renderStateGroup(std::uint32_t state) {
  switch (state) {
  case D3DRS_ALPHABLENDENABLE:
  case D3DRS_SRCBLEND:
  case D3DRS_DESTBLEND:
    return GROUP_BLEND;
  case D3DRS_ZENABLE:
  case D3DRS_ZFUNC:
  case D3DRS_ZWRITEENABLE:
    return GROUP_DEPTH;
  case D3DRS_ALPHATESTENABLE:
  case D3DRS_ALPHAREF:
  case D3DRS_ALPHAFUNC:
    return GROUP_ALPHATEST;
  case D3DRS_CULLMODE:
  case D3DRS_DITHERENABLE:
  case D3DRS_FILLMODE:
    return GROUP_RASTER;
  case D3DRS_LIGHTING:
  case D3DRS_AMBIENT:
  case D3DRS_NORMALIZENORMALS:
    return GROUP_LIGHTING;
  default:
    return 0;
  }
}

} // namespace korvane

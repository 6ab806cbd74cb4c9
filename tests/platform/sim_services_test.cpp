// Registry, windows, message boxes, shell links and the smaller services of the simulation.
#include <gtest/gtest.h>

#include "platform/sim/sim_windows.h"

namespace platform {
namespace {}  // namespace
}  // namespace platform

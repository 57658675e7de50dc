#include "sim/board_setup.h"

namespace korvex::sim {

std::string_view Stage2IdentificationText(int model) {
  switch (model) {
    case 0: return "Boot7120";
    case 1: return "Boot7130";
    // Qx7105B runs the Qx7135 stage 2: the burn only accepts code 4 or 5 for these two
    // models, and "Boot7135" is code 5 in both tables (see README.md).
    case 2:
    case 3: return "Boot7135";
    default: return {};
  }
}

}  // namespace korvex::sim

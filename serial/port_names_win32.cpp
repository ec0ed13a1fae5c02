#include "serial/port_names.h"

namespace tavel {

std::string DevicePathForPortName(const std::string& name) { return name; }

}  // namespace tavel

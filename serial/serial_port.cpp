#include "serial/serial_port.h"

namespace tavel {

std::string DescribeFailure(OpenFailure failure) {
  switch (failure) {
    case OpenFailure::None:
      return "opened";
    case OpenFailure::NoSuchDevice:
      return "no such port";
    case OpenFailure::Busy:
      return "the port is in use";
    case OpenFailure::PermissionDenied:
      return "access to the port is denied";
    case OpenFailure::NotASerialPort:
      return "not a serial port";
    case OpenFailure::Other:
      break;
  }
  return "the port could not be opened";
}

}  // namespace tavel
